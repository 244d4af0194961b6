// Writing an output file so that an existing file of that name survives any
// failure: the bytes go to a temporary file beside it, which is renamed over
// the name only once completely written. Prints nothing.
#ifndef D88CUT_D88CUT_OUTPUT_FILE_H
#define D88CUT_D88CUT_OUTPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Whether name and inputPath are the same file (through any link).
bool isSameFile(const std::filesystem::path& name, const std::filesystem::path& inputPath);

// Removes the temporaries a killed run left for name. Never a directory,
// never another name's, and never the image being read.
void removeStaleTemporaries(const std::string& name, const std::filesystem::path& inputPath);

// Writes the bytes as name through a temporary file. False with the reason
// when the file could not be written; name is then as it was.
bool writeReplacing(const std::string& name, const uint8_t* bytes, size_t length, std::string& reason);

#endif
