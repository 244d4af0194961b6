// Recognition of Disk A and Disk B and the catalogue of files cut out of
// them.
#ifndef D88CUT_EXTRACT_CATALOGUE_H
#define D88CUT_EXTRACT_CATALOGUE_H

#include <cstdint>

#include "d88/d88_reader.h"

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

// Console messages. The Japanese ones are Shift-JIS (code page 932) bytes,
// written unchanged.
extern const char kUsageMessage[];
extern const char kOpenErrorMessage[];
extern const char kDiskARecognisedMessage[];
extern const char kDiskBRecognisedMessage[];

// The whole command: one argument, the D88 file. Returns the exit status.
int runD88Cut(int argc, char* argv[]);

#endif
