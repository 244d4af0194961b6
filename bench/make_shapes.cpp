// Writes the benchmark's input files into a directory: two ordinary ones and
// the hostile shapes that try to make the reader walk, read or keep too much.
// Every crafted disk that holds the catalogue's sectors holds them whole, so
// the tools have all of the catalogue to cut.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "d88/d88_format.h"
#include "testsupport/d88_fixture.h"

namespace {

constexpr int kImageCount = 64;
constexpr int kDiskTracks = 80;
// A record count no walk reaches, so every search runs to the chain's end.
constexpr uint16_t kEndlessCount = 65535;
constexpr int kLongChainFillers = 64000;
constexpr int kShortChainRecords = 300;
constexpr uint64_t kSparseFileSize = uint64_t{4} << 30;

void appendRecord(Bytes& out, uint8_t c, uint8_t h, uint8_t r, const Bytes& data)
{
    const size_t at = out.size();
    out.resize(at + kSectorHeaderSize, 0);
    out[at] = c;
    out[at + 1] = h;
    out[at + 2] = r;
    out[at + 3] = 1;
    out[at + 4] = static_cast<uint8_t>(kEndlessCount);
    out[at + 5] = static_cast<uint8_t>(kEndlessCount >> 8);
    out[at + 14] = static_cast<uint8_t>(data.size());
    out[at + 15] = static_cast<uint8_t>(data.size() >> 8);
    out.insert(out.end(), data.begin(), data.end());
}

// A record no lookup asks for, with no data.
void appendFiller(Bytes& out, int serial)
{
    appendRecord(out, 0xEE, 0xEE, static_cast<uint8_t>(serial), {});
}

// Every sector of a standard Disk A, as one run of records.
void appendDiskASectors(Bytes& out)
{
    for (int track = 0; track < kDiskTracks; ++track) {
        for (int r = 1; r <= 16; ++r) {
            Bytes data = sectorPattern('A', track, r);
            if (track == 2 && r == 1) {
                data[0] = 0xC3;
            }
            appendRecord(out, static_cast<uint8_t>(track / 2), static_cast<uint8_t>(track % 2), static_cast<uint8_t>(r),
                         data);
        }
    }
}

// An image header with no tracks of its own: the given slots point at
// trackOffsets (relative to the header), the disk size is diskSize.
Bytes header(const std::string& name, int32_t diskSize, const std::vector<int32_t>& trackOffsets)
{
    D88ImageBuilder builder;
    builder.setName(name).overrideDiskSize(diskSize);
    for (size_t track = 0; track < trackOffsets.size(); ++track) {
        builder.overrideTrackOffset(static_cast<int>(track), trackOffsets[track]);
    }
    return builder.build();
}

void putLE32(Bytes& bytes, size_t at, int32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    }
}

// One Disk A whose tracks all point into one chain of fillers, the catalogue
// sectors at its end. trackStart gives each track's first record as a filler
// index.
Bytes longChainDisk(int fillers, int trackSlots, int (*trackStart)(int track, int fillers))
{
    std::vector<int32_t> offsets(static_cast<size_t>(trackSlots));
    for (int track = 0; track < trackSlots; ++track) {
        offsets[static_cast<size_t>(track)] = kImageHeaderSize + trackStart(track, fillers) * kSectorHeaderSize;
    }
    Bytes disk = header("LONG CHAIN", 0, offsets);
    for (int i = 0; i < fillers; ++i) {
        appendFiller(disk, i);
    }
    appendDiskASectors(disk);
    putLE32(disk, 0x1C, static_cast<int32_t>(disk.size()));
    return disk;
}

int chainStart(int, int)
{
    return 0;
}

int scatteredStart(int track, int fillers)
{
    return track * (fillers / kTrackSlots);
}

// kImageCount images, each header's disk size leading to the next, laid
// along one chain of records: a record whose data is the next image's header
// carries the chain over it. Each image's tracks (trackSlots of them) point at
// the first record after its header; the chain holds fillers records in all
// and ends with the catalogue sectors, or with the signature sector alone.
Bytes overlappingImages(int fillers, int trackSlots, bool wholeCatalogue)
{
    const std::vector<int32_t> offsets(static_cast<size_t>(trackSlots), kImageHeaderSize);
    Bytes file;
    std::vector<size_t> imageAt;
    int serial = 0;
    for (int k = 0; k < kImageCount; ++k) {
        imageAt.push_back(file.size());
        const Bytes image = header("OVERLAP " + std::to_string(k), 0, offsets);
        file.insert(file.end(), image.begin(), image.end());
        const int segment = fillers / kImageCount + (k < fillers % kImageCount ? 1 : 0);
        for (int i = 0; i < segment; ++i) {
            appendFiller(file, serial++);
        }
        if (k + 1 < kImageCount) {
            // The bridge: its data is the next header, which starts right
            // after this record header.
            appendRecord(file, 0xEE, 0xEF, static_cast<uint8_t>(k), {});
            const size_t bridge = file.size() - kSectorHeaderSize;
            file[bridge + 14] = static_cast<uint8_t>(kImageHeaderSize);
            file[bridge + 15] = static_cast<uint8_t>(kImageHeaderSize >> 8);
        }
    }
    if (wholeCatalogue) {
        appendDiskASectors(file);
    } else {
        Bytes signature = sectorPattern('A', 2, 1);
        signature[0] = 0xC3;
        appendRecord(file, 1, 0, 1, signature);
    }
    for (size_t k = 0; k < imageAt.size(); ++k) {
        const size_t next = k + 1 < imageAt.size() ? imageAt[k + 1] : file.size();
        putLE32(file, imageAt[k] + 0x1C, static_cast<int32_t>(next - imageAt[k]));
    }
    return file;
}

// A 4 GiB file of holes whose one header claims a 2 GiB disk: its tracks
// point across those 2 GiB, into holes, except the signature track, which
// finds a real Disk A signature sector half-way.
bool writeSparse(const std::string& path)
{
    const int32_t spacing = INT32_MAX / kTrackSlots;
    const int32_t signatureAt = INT32_MAX / 2;
    std::vector<int32_t> offsets(kTrackSlots);
    for (int track = 0; track < kTrackSlots; ++track) {
        offsets[static_cast<size_t>(track)] = track == 2 ? signatureAt : kImageHeaderSize + track * spacing;
    }
    const Bytes image = header("SPARSE", INT32_MAX, offsets);
    Bytes signature;
    Bytes data = sectorPattern('A', 2, 1);
    data[0] = 0xC3;
    appendRecord(signature, 1, 0, 1, data);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        out.seekp(signatureAt);
        out.write(reinterpret_cast<const char*>(signature.data()), static_cast<std::streamsize>(signature.size()));
        if (!out) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::resize_file(path, kSparseFileSize, error);
    return !error;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s DIRECTORY\n", argc > 0 ? argv[0] : "make_shapes");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    std::vector<Bytes> diskA(kImageCount, standardDisk('A', 0xC3, "BENCH DISK A").build());
    const struct {
        const char* name;
        Bytes bytes;
    } files[] = {
        {"sample.d88",
         concatenate({standardDisk('A', 0xC3, "SAMPLE DISK A").build(), standardDisk('B', 0x08, "SAMPLE DISK B").build()})},
        {"disk-a-x64.d88", concatenate(diskA)},
        {"long-chain.d88", longChainDisk(kLongChainFillers, kDiskTracks, chainStart)},
        {"long-chain-x64.d88", overlappingImages(kLongChainFillers, kDiskTracks, true)},
        {"short-chain-x64.d88", overlappingImages(kShortChainRecords - kImageCount, kTrackSlots, false)},
        {"scattered-chain.d88", longChainDisk(kLongChainFillers, kTrackSlots, scatteredStart)},
    };
    for (const auto& file : files) {
        if (!writeBytes(dir + file.name, file.bytes)) {
            std::fprintf(stderr, "make_shapes: cannot write %s%s\n", dir.c_str(), file.name);
            return 1;
        }
    }
    if (!writeSparse(dir + "sparse-4g.d88")) {
        std::fprintf(stderr, "make_shapes: cannot write %ssparse-4g.d88\n", dir.c_str());
        return 1;
    }
    return 0;
}
