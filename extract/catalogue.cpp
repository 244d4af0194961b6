#include "extract/catalogue.h"

#include <cstdio>
#include <cstring>

const char kCuttingMessage[] = "cutting ... %s\n";

const CatalogueEntry kDiskAMusic[] = {
    {56, 1, 512}, {56, 3, 512},  {56, 5, 512},  {56, 7, 256}, {56, 8, 512}, {56, 10, 256},
    {56, 11, 1280}, {56, 16, 256}, {57, 1, 512}, {57, 3, 512}, {0, 0, 0},
};
const CatalogueEntry kDiskAAdpcm[] = {
    {62, 1, 0x1500}, {63, 5, 0x1B00}, {64, 16, 0x2600}, {67, 6, 0x1B00},
    {69, 1, 0x1D00}, {70, 14, 0x2600}, {74, 1, 0x4D00}, {0, 0, 0},
};
const CatalogueEntry kDiskBMusic[] = {
    {61, 7, 512},
    {0, 0, 0},
};
const CatalogueEntry kDiskBAdpcm[] = {
    {2, 1, 0x3900},
    {0, 0, 0},
};
const char kDiskAMusicFormat[] = "MUS1%02d";
const char kDiskAAdpcmFormat[] = "ADPCM1%02d";
const char kDiskBMusicFormat[] = "MUS2%02d";
const char kDiskBAdpcmFormat[] = "ADPCM2%02d";

namespace {

constexpr CatalogueEntry kMusicDriver = {1, 2, 3840};
constexpr CatalogueEntry kPcmDriver = {18, 1, 4096};

CatalogueFile fileAt(const std::string& name, const CatalogueEntry& entry)
{
    return CatalogueFile{name, entry.track, entry.track >> 1, entry.track & 1, entry.sector, kCatalogueSizeCode,
                         entry.length};
}

void appendTable(std::vector<CatalogueFile>& files, const char* format, const CatalogueEntry* table)
{
    for (int row = 0; table[row].sector != 0; ++row) {
        char name[kOutputNameSize];
        std::snprintf(name, sizeof name, format, row);
        files.push_back(fileAt(name, table[row]));
    }
}

}  // namespace

std::vector<CatalogueFile> catalogueFor(DiskKind kind)
{
    std::vector<CatalogueFile> files;
    if (kind == DiskKind::DiskA) {
        files.push_back(fileAt("MUSDRV", kMusicDriver));
        files.push_back(fileAt("PCMDRV", kPcmDriver));
        appendTable(files, kDiskAMusicFormat, kDiskAMusic);
        appendTable(files, kDiskAAdpcmFormat, kDiskAAdpcm);
    } else if (kind == DiskKind::DiskB) {
        appendTable(files, kDiskBMusicFormat, kDiskBMusic);
        appendTable(files, kDiskBAdpcmFormat, kDiskBAdpcm);
    }
    return files;
}

CutOutcome cutFile(const char* name, int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, int32_t offset,
                   int32_t length, OutputDirectory& output, const std::filesystem::path& inputPath)
{
    if (offset < 0 || length < 0 || int64_t{offset} + length > kTransferBufferSize) {
        std::fprintf(stderr, "d88cut: %s: run of %d bytes at offset %d does not fit the transfer buffer\n", name,
                     length, offset);
        return CutOutcome::Failed;
    }
    const int32_t wanted = offset + length;
    const int32_t total = d88Reader.readSectors(track, c, h, r, n, transferBuffer, wanted);
    if (total == 0) {
        std::fprintf(stderr, "d88cut: warning: %s: its first sector cannot be read; not written\n", name);
        return CutOutcome::NothingRead;
    }
    std::printf(kCuttingMessage, name);
    if (total < wanted) {
        // Never let bytes of an earlier file stand in for sectors that are missing here.
        std::memset(transferBuffer + total, 0, static_cast<size_t>(wanted - total));
        std::fprintf(stderr, "d88cut: warning: %s: read %d of %d bytes; the rest is zero\n", name, total, wanted);
    }
    const OutputResult result = output.write(name, transferBuffer + offset, static_cast<size_t>(length), inputPath);
    if (result.outcome == OutputOutcome::IsInput) {
        std::fprintf(stderr, "d88cut: %s is the disk image being read; not overwritten\n", name);
    } else if (result.outcome == OutputOutcome::Failed) {
        std::fprintf(stderr, "d88cut: cannot write %s: %s\n", name, result.reason.c_str());
    }
    return result.outcome == OutputOutcome::Written ? CutOutcome::Written : CutOutcome::Failed;
}

bool extractCatalogue(DiskKind kind, OutputDirectory& output, const std::filesystem::path& inputPath)
{
    bool allWritten = true;
    for (const CatalogueFile& file : catalogueFor(kind)) {
        if (cutFile(file.name.c_str(), file.track, file.c, file.h, file.r, file.n, 0, file.length, output, inputPath) ==
            CutOutcome::Failed) {
            allWritten = false;
        }
    }
    return allWritten;
}
