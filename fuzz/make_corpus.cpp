// Writes the seed inputs of both fuzz targets into a directory: whole disks,
// several images end to end, and the damaged shapes the tests use, so that
// fuzzing starts from every path the tests already reach.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/d88_fixture.h"

namespace {

constexpr uint8_t kDiskA = 0xC3;
constexpr uint8_t kDiskB = 0x08;

SectorRecord sectorAt(int track, int r, Bytes data, uint8_t n = 1)
{
    SectorRecord sector;
    sector.c = static_cast<uint8_t>(track / 2);
    sector.h = static_cast<uint8_t>(track % 2);
    sector.r = static_cast<uint8_t>(r);
    sector.n = n;
    sector.data = std::move(data);
    return sector;
}

// Only the signature sector and the first sector of each catalogue run, so
// that every file is cut short: small enough for mutations to matter.
D88ImageBuilder firstSectorsOnly(uint8_t signature, const std::vector<std::pair<int, int>>& starts)
{
    D88ImageBuilder disk;
    Bytes signatureSector = sectorPattern('S', 2, 1);
    signatureSector[0] = signature;
    disk.addSector(2, sectorAt(2, 1, signatureSector));
    for (const auto& [track, r] : starts) {
        if (track != 2 || r != 1) {
            disk.addSector(track, sectorAt(track, r, sectorPattern('F', track, r)));
        }
    }
    return disk;
}

D88ImageBuilder signatureOnly(uint8_t firstByte)
{
    return firstSectorsOnly(firstByte, {});
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s DIRECTORY\n", argc > 0 ? argv[0] : "make_fuzz_corpus");
        return 1;
    }
    std::vector<std::pair<std::string, Bytes>> seeds;
    const auto add = [&seeds](const std::string& name, const Bytes& bytes) { seeds.emplace_back(name, bytes); };

    const Bytes diskA = standardDisk('A', kDiskA, "DISK A").build();
    const Bytes diskB = standardDisk('B', kDiskB, "DISK B").build();
    add("disk-a", diskA);
    add("disk-b", diskB);
    add("a-other-b", concatenate({diskA, standardDisk('O', 0x01, "OTHER").build(), diskB}));

    D88ImageBuilder noSignature = standardDisk('X', kDiskA, "NO SIGNATURE");
    noSignature.removeSector(2, 1);
    add("a-unsigned-a", concatenate({diskA, noSignature.build(), standardDisk('2', kDiskA, "AGAIN").build()}));

    D88ImageBuilder withoutTrack = standardDisk('A', kDiskA, "NO TRACK 74");
    add("a-without-track-74", withoutTrack.removeTrack(74).build());
    D88ImageBuilder withoutSector = standardDisk('A', kDiskA, "NO 63/5");
    add("a-without-sector-63-5", withoutSector.removeSector(63, 5).build());
    D88ImageBuilder shortSector = standardDisk('A', kDiskA, "SHORT 56/13");
    add("a-short-sector-56-13", shortSector.setSectorData(56, 13, Bytes(10, 0x99)).build());
    Bytes truncatedB = diskB;
    truncatedB.resize(688 + 4 * 16 * (16 + 256) + 100);
    add("b-truncated-in-track-4", truncatedB);

    const Bytes sparseA = firstSectorsOnly(kDiskA, {{1, 2}, {18, 1}, {56, 1}, {56, 3}, {56, 5}, {56, 7}, {56, 8},
                                                    {56, 10}, {56, 11}, {56, 16}, {57, 1}, {57, 3}, {62, 1},
                                                    {63, 5}, {64, 16}, {67, 6}, {69, 1}, {70, 14}, {74, 1}})
                              .build();
    const Bytes sparseB = firstSectorsOnly(kDiskB, {{61, 7}, {2, 1}}).build();
    add("a-first-sectors", sparseA);
    add("b-first-sectors", sparseB);
    add("a-b-first-sectors", concatenate({sparseA, sparseB}));
    add("signature-c3", signatureOnly(kDiskA).build());
    add("signature-08", signatureOnly(kDiskB).build());
    add("signature-00", signatureOnly(0x00).build());

    add("empty", {});
    add("short-header", Bytes(687, 0));
    add("image-and-partial-header", concatenate({sparseB, Bytes(687, 0xEE)}));
    add("disk-size-zero", D88ImageBuilder().overrideDiskSize(0).build());
    const Bytes bare = D88ImageBuilder().build();
    add("disk-size-steps-back", concatenate({bare, D88ImageBuilder().overrideDiskSize(-688).build()}));
    add("disk-size-past-31-bits", concatenate({bare, D88ImageBuilder().overrideDiskSize(INT32_MAX).build()}));

    D88ImageBuilder offsets = signatureOnly(kDiskB);
    offsets.addStandardTrack(6, 'T', 1, 1).addStandardTrack(8, 'T', 1, 1).addStandardTrack(10, 'T', 1, 1);
    offsets.overrideTrackOffset(6, 0x7FFFFFF0).overrideTrackOffset(8, static_cast<int32_t>(0x80000000u));
    add("track-offsets-out-of-range", offsets.overrideTrackOffset(10, -1).build());

    D88ImageBuilder counts;
    SectorRecord countZero = sectorAt(2, 1, Bytes(256, kDiskA));
    countZero.recordCount = 0;
    SectorRecord countOne = sectorAt(0, 1, Bytes(256, 1));
    countOne.recordCount = 1;
    counts.addSector(2, countZero).addSector(2, sectorAt(2, 2, Bytes(256, 2)));
    counts.addSector(0, countOne).addSector(0, sectorAt(0, 2, Bytes(256, 2)));
    add("record-counts-0-and-1", counts.build());

    D88ImageBuilder sizes = signatureOnly(kDiskA);
    SectorRecord lying = sectorAt(1, 2, Bytes(256, 3));
    lying.dataSizeField = 0xFFFF;
    sizes.addSector(1, lying);
    sizes.addSector(3, sectorAt(3, 1, Bytes(100, 4))).addSector(3, sectorAt(3, 2, Bytes(256, 5), 24));
    sizes.addSector(3, sectorAt(3, 3, Bytes(256, 6), 0xFF)).addSector(3, sectorAt(3, 4, Bytes(128, 7), 0));
    add("data-sizes-and-size-codes", sizes.build());

    D88ImageBuilder cutShort = signatureOnly(kDiskB);
    cutShort.addStandardTrack(4, 'C', 1, 2);
    Bytes cutInData = cutShort.build();
    cutInData.resize(cutInData.size() - 56);
    add("cut-inside-sector-data", cutInData);
    Bytes cutInHeader = cutShort.build();
    cutInHeader.resize(cutInHeader.size() - 256 - 8);
    add("cut-inside-sector-header", cutInHeader);

    int failures = 0;
    for (const auto& [name, bytes] : seeds) {
        const std::string path = std::string(argv[1]) + "/" + name + ".d88";
        if (!writeBytes(path, bytes)) {
            std::fprintf(stderr, "make_fuzz_corpus: cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
