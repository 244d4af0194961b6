// The benchmark's floor: the least work a cutter does on an image file. It
// reads each image with one large read and writes its catalogue by temporary
// file and rename, copying 256-byte pieces at the offsets a standard disk
// layout gives them, without finding a single sector.
//
// Images follow the header chain as the reader does (at most kMaxImages, each
// header whole). An image is read as its header claims, but never past the
// file's end and never more than kLargestImageRead bytes, so a header that
// claims gigabytes costs what a real disk would. An image's files are those
// of Disk B when the byte at the standard signature position says so, and of
// Disk A otherwise, so every image costs a full catalogue.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "d88/d88_format.h"
#include "disks/disk_kinds.h"

namespace {

// More than any real floppy image holds.
constexpr int64_t kLargestImageRead = int64_t{2} << 20;
constexpr int32_t kPieceSize = 256;
constexpr int32_t kSectorsPerTrack = 16;
constexpr int32_t kStandardRecordSize = kSectorHeaderSize + kPieceSize;

// Where the data of sector r of track lies in a disk laid out as
// standardDisk() lays it out: every track 16 records of 256 bytes.
int64_t standardDataOffset(int32_t track, int32_t r)
{
    return kImageHeaderSize + int64_t{track * kSectorsPerTrack + (r - 1)} * kStandardRecordSize + kSectorHeaderSize;
}

bool writeThroughTemporary(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string temporary = name + ".floor-tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), name.c_str()) == 0;
}

bool cutImage(const std::vector<uint8_t>& image, std::vector<uint8_t>& file)
{
    const int64_t signatureAt = standardDataOffset(kSignatureSector.track, kSignatureSector.id.r);
    const uint8_t signature = signatureAt < static_cast<int64_t>(image.size()) ? image[signatureAt] : 0;
    const DiskKind* kind = diskKindForSignature(signature);
    if (kind == nullptr || kind->signature != 0x08) {
        kind = diskKindForSignature(0xC3);
    }
    for (int32_t f = 0; f < kind->fileCount; ++f) {
        const CatalogueFile& entry = kind->files[f];
        file.assign(static_cast<size_t>(entry.length), 0);
        const int32_t firstSector = entry.start.track * kSectorsPerTrack + (entry.start.id.r - 1);
        for (int32_t done = 0, i = 0; done < entry.length; done += kPieceSize, ++i) {
            const int32_t sector = firstSector + i;
            const int64_t from = standardDataOffset(sector / kSectorsPerTrack, sector % kSectorsPerTrack + 1);
            const int64_t piece = std::min<int64_t>(kPieceSize, entry.length - done);
            for (int64_t b = 0; b < piece && from + b < static_cast<int64_t>(image.size()); ++b) {
                file[static_cast<size_t>(done + b)] = image[static_cast<size_t>(from + b)];
            }
        }
        if (!writeThroughTemporary(entry.name, file)) {
            std::fprintf(stderr, "floor: cannot write %s\n", entry.name);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s IMAGE.d88\n", argc > 0 ? argv[0] : "floor");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr || std::fseek(in, 0, SEEK_END) != 0) {
        std::fprintf(stderr, "floor: cannot open %s\n", argv[1]);
        return 1;
    }
    const int64_t fileSize = std::ftell(in);
    std::vector<uint8_t> image;
    std::vector<uint8_t> file;
    int64_t offset = 0;
    for (int32_t index = 0; index < kMaxImages && offset + kImageHeaderSize <= fileSize; ++index) {
        image.resize(kImageHeaderSize);
        if (std::fseek(in, static_cast<long>(offset), SEEK_SET) != 0 ||
            std::fread(image.data(), 1, image.size(), in) != image.size()) {
            break;
        }
        const int32_t diskSize = readLE32(image.data() + kHeaderDiskSizeOffset);
        const int64_t length =
            std::min({std::max<int64_t>(diskSize, kImageHeaderSize), fileSize - offset, kLargestImageRead});
        image.resize(static_cast<size_t>(length));
        const size_t rest = image.size() - kImageHeaderSize;
        if (std::fread(image.data() + kImageHeaderSize, 1, rest, in) != rest || !cutImage(image, file)) {
            std::fclose(in);
            return 1;
        }
        if (diskSize <= 0 || offset + diskSize > INT32_MAX) {
            break;
        }
        offset += diskSize;
    }
    std::fclose(in);
    return 0;
}
