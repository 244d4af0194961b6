// What the tests expect of the catalogues, written out from the published
// tables rather than taken from the tool, so that a wrong row in the tool
// shows as a failure.
#ifndef D88CUT_TESTS_EXPECTED_CATALOGUE_H
#define D88CUT_TESTS_EXPECTED_CATALOGUE_H

#include <string>

inline const std::string kRecognised = " \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n";

struct ExpectedFile {
    const char* name;
    int track;
    int sector;
    int length;
};

inline const ExpectedFile kDiskAFiles[] = {
    {"MUSDRV", 1, 2, 3840},      {"PCMDRV", 18, 1, 4096},     {"MUS100", 56, 1, 512},
    {"MUS101", 56, 3, 512},      {"MUS102", 56, 5, 512},      {"MUS103", 56, 7, 256},
    {"MUS104", 56, 8, 512},      {"MUS105", 56, 10, 256},     {"MUS106", 56, 11, 1280},
    {"MUS107", 56, 16, 256},     {"MUS108", 57, 1, 512},      {"MUS109", 57, 3, 512},
    {"ADPCM100", 62, 1, 5376},   {"ADPCM101", 63, 5, 6912},   {"ADPCM102", 64, 16, 9728},
    {"ADPCM103", 67, 6, 6912},   {"ADPCM104", 69, 1, 7424},   {"ADPCM105", 70, 14, 9728},
    {"ADPCM106", 74, 1, 19712},
};
inline const ExpectedFile kDiskBFiles[] = {
    {"MUS200", 61, 7, 512},
    {"ADPCM200", 2, 1, 14592},
};

#endif
