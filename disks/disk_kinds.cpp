// The table of disk kinds and their catalogues.
#include "disks/disk_kinds.h"

#include <algorithm>

namespace {

// A catalogue run of 256-byte sectors whose IDs carry their physical
// position: C is the track's cylinder, H its head.
constexpr CatalogueFile file(const char* name, int32_t track, uint8_t sector, int32_t length)
{
    return CatalogueFile{
        name,
        {track, {static_cast<uint8_t>(track >> 1), static_cast<uint8_t>(track & 1), sector, kCatalogueSizeCode}},
        length};
}

constexpr CatalogueFile kDiskAFiles[] = {
    file("MUSDRV", 1, 2, 3840),        file("PCMDRV", 18, 1, 4096),
    file("MUS100", 56, 1, 512),        file("MUS101", 56, 3, 512),
    file("MUS102", 56, 5, 512),        file("MUS103", 56, 7, 256),
    file("MUS104", 56, 8, 512),        file("MUS105", 56, 10, 256),
    file("MUS106", 56, 11, 1280),      file("MUS107", 56, 16, 256),
    file("MUS108", 57, 1, 512),        file("MUS109", 57, 3, 512),
    // ADPCM100 ends with the sector ADPCM101 starts at: both files hold it.
    file("ADPCM100", 62, 1, 0x1500),   file("ADPCM101", 63, 5, 0x1B00),
    file("ADPCM102", 64, 16, 0x2600),  file("ADPCM103", 67, 6, 0x1B00),
    file("ADPCM104", 69, 1, 0x1D00),   file("ADPCM105", 70, 14, 0x2600),
    file("ADPCM106", 74, 1, 0x4D00),
};

constexpr CatalogueFile kDiskBFiles[] = {
    file("MUS200", 61, 7, 512),
    // Starts at the signature sector.
    file("ADPCM200", 2, 1, 0x3900),
};

template <typename Table>
constexpr int32_t countOf(const Table& table)
{
    return static_cast<int32_t>(sizeof table / sizeof table[0]);
}

}  // namespace

// Disk B is tried first.
const DiskKind kDiskKinds[] = {
    {"Disk B", 0x08, JapaneseMessage::DiskBRecognised, kDiskBFiles,
     countOf(kDiskBFiles)},
    {"Disk A", 0xC3, JapaneseMessage::DiskARecognised, kDiskAFiles,
     countOf(kDiskAFiles)},
};
const int32_t kDiskKindCount = countOf(kDiskKinds);

int32_t longestCatalogueFile()
{
    int32_t longest = kSignatureLength;
    for (int32_t k = 0; k < kDiskKindCount; ++k) {
        for (int32_t f = 0; f < kDiskKinds[k].fileCount; ++f) {
            longest = std::max(longest, kDiskKinds[k].files[f].length);
        }
    }
    return longest;
}

const DiskKind* diskKindForSignature(uint8_t firstByte)
{
    for (int32_t k = 0; k < kDiskKindCount; ++k) {
        if (kDiskKinds[k].signature == firstByte) {
            return &kDiskKinds[k];
        }
    }
    return nullptr;
}

Recognition recogniseImage(D88Reader& reader, const ImageHeader& image)
{
    uint8_t sector[kSignatureLength];
    Recognition recognition{reader.readSector(image, kSignatureSector, sector, kSignatureLength), 0, nullptr};
    if (recognition.signatureRead.delivered > 0) {
        recognition.firstByte = sector[0];
        recognition.kind = diskKindForSignature(sector[0]);
    }
    return recognition;
}
