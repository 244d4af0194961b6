// Recognition of Disk A and Disk B and the catalogue of files cut out of
// them.
#ifndef D88CUT_EXTRACT_CATALOGUE_H
#define D88CUT_EXTRACT_CATALOGUE_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "d88/d88_reader.h"
#include "extract/console.h"

// The signature sector: its first byte tells the two disks apart.
constexpr int32_t kSignatureTrack = 2;
constexpr int32_t kSignatureCylinder = 1;
constexpr int32_t kSignatureHead = 0;
constexpr int32_t kSignatureSector = 1;
constexpr int32_t kSignatureSizeCode = 1;
constexpr int32_t kSignatureLength = 256;
constexpr uint8_t kDiskASignature = 0xC3;
constexpr uint8_t kDiskBSignature = 0x08;

// The geometry every catalogue run assumes.
constexpr int32_t kFirstSector = 1;
constexpr int32_t kLastSector = 16;
constexpr int32_t kCatalogueSizeCode = 1;

enum class DiskKind { Neither, DiskA, DiskB };

struct SignatureReading {
    int32_t bytesRead;  // 0 when the image has no signature sector
    uint8_t firstByte;  // meaningful only when bytesRead > 0
    DiskKind kind;
};

// Reads the signature sector of the reader's current image into buffer,
// which holds at least kSignatureLength bytes, and tells which disk it is.
SignatureReading readSignature(D88Reader& reader, uint8_t* buffer);

// One row of a catalogue table: where a file's run starts and how long the
// file is. A sector of 0 ends a table.
struct CatalogueEntry {
    int32_t track;
    int32_t sector;
    int32_t length;
};

extern const CatalogueEntry kDiskAMusic[];
extern const CatalogueEntry kDiskAAdpcm[];
extern const CatalogueEntry kDiskBMusic[];
extern const CatalogueEntry kDiskBAdpcm[];
extern const char kDiskAMusicFormat[];
extern const char kDiskAAdpcmFormat[];
extern const char kDiskBMusicFormat[];
extern const char kDiskBAdpcmFormat[];

constexpr int32_t kOutputNameSize = 260;

// A file of a disk's catalogue with its name formed and its run's first
// sector ID worked out.
struct CatalogueFile {
    std::string name;
    int32_t track;
    int32_t c;
    int32_t h;
    int32_t r;
    int32_t n;
    int32_t length;
};

// The files of a disk in the order they are cut; empty for DiskKind::Neither.
std::vector<CatalogueFile> catalogueFor(DiskKind kind);

enum class CutOutcome {
    Written,
    NothingRead,  // not one whole sector of the run could be read: no file
    Failed,       // the file could not be written, or would have replaced the input
};

// Reads offset + length bytes as a run of sectors from the global reader into
// transferBuffer and writes length of them, from offset on, to the file name
// in the working directory. A run that stops early is written with zeros in
// place of the bytes that could not be read. An existing file of that name is
// replaced only once the new one is completely written, and never when it is
// inputPath itself. Warnings and errors go to standard error.
CutOutcome cutFile(const char* name, int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, int32_t offset,
                   int32_t length, const std::filesystem::path& inputPath);

// Cuts every file of the disk's catalogue. False when any file could not be
// written.
bool extractCatalogue(DiskKind kind, const std::filesystem::path& inputPath);

// Console messages; the Japanese ones are in extract/console.h.
extern const char kUsageMessage[];
extern const char kCuttingMessage[];

// The whole command: one argument, the D88 file, or --help or --version.
// forms says how the Japanese messages go to each standard stream. Returns
// the exit status.
int runD88Cut(int argc, char* argv[], const MessageForms& forms = MessageForms{});

#endif
