// The disks the tools know, as one table: each kind's name, the first byte
// of its signature sector, its recognition message and its catalogue of
// files. Recognition tries the kinds in table order; a new kind is one row
// here and its catalogue rows in disk_kinds.cpp.
#ifndef D88CUT_DISKS_DISK_KINDS_H
#define D88CUT_DISKS_DISK_KINDS_H

#include <cstdint>

#include "cli/console.h"
#include "d88/d88_reader.h"

// Where every kind keeps its signature: track 2, sector C 1 H 0 R 1 N 1.
constexpr SectorAddress kSignatureSector = {2, {1, 0, 1, 1}};
constexpr int32_t kSignatureLength = 256;
// The tracks of every catalogue run number their sectors 1 to 16.
constexpr SectorRange kCatalogueSectorRange = {1, 16};
// Every catalogue run is of 256-byte sectors, size code 1.
constexpr uint8_t kCatalogueSizeCode = 1;

// A file of a catalogue: its name, the first sector of its run and its
// length in bytes.
struct CatalogueFile {
    const char* name;
    SectorAddress start;
    int32_t length;
};

struct DiskKind {
    const char* name;               // "Disk A"
    uint8_t signature;              // first byte of the signature sector
    JapaneseMessage recognisedMessage;
    const CatalogueFile* files;     // in the order they are cut
    int32_t fileCount;
};

extern const DiskKind kDiskKinds[];
extern const int32_t kDiskKindCount;
// The longest file of any catalogue, for a buffer that holds any of them.
int32_t longestCatalogueFile();

// The kind whose signature is firstByte, tried in table order; null for none.
const DiskKind* diskKindForSignature(uint8_t firstByte);

struct Recognition {
    SectorLookup signatureRead;  // Found when the whole signature sector arrived
    uint8_t firstByte;           // meaningful when anything arrived
    const DiskKind* kind;        // null when the image is no known disk
};

// Reads the signature sector of image and tells which disk it is. Any byte
// of the sector that arrives is enough to tell.
Recognition recogniseImage(D88Reader& reader, const ImageHeader& image);

#endif
