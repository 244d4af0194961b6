#include "extract/catalogue.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

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

// A temporary file is named after its output: ".NAME.d88cut-N.tmp", N a
// decimal number.
constexpr char kTemporaryMarker[] = ".d88cut-";
constexpr char kTemporarySuffix[] = ".tmp";

std::string temporaryPrefixFor(const char* name)
{
    return "." + std::string(name) + kTemporaryMarker;
}

// Compares code unit by code unit, so that it serves the native file names
// of every platform (narrow or wide) without converting them; the prefix and
// suffix are ASCII.
template <class NativeName>
bool isTemporaryOf(const NativeName& file, const std::string& prefix)
{
    const std::string suffix = kTemporarySuffix;
    if (file.size() <= prefix.size() + suffix.size()) {
        return false;
    }
    const auto unit = [](char c) { return static_cast<typename NativeName::value_type>(c); };
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (file[i] != unit(prefix[i])) {
            return false;
        }
    }
    const size_t digitsEnd = file.size() - suffix.size();
    for (size_t i = prefix.size(); i < digitsEnd; ++i) {
        if (file[i] < unit('0') || file[i] > unit('9')) {
            return false;
        }
    }
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (file[digitsEnd + i] != unit(suffix[i])) {
            return false;
        }
    }
    return true;
}

std::string temporaryNameFor(const char* name)
{
    const std::string prefix = temporaryPrefixFor(name);
    for (int attempt = 0;; ++attempt) {
        const std::string candidate = prefix + std::to_string(attempt) + kTemporarySuffix;
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error))) {
            return candidate;
        }
    }
}

void reportWriteError(const char* name, const std::string& reason)
{
    std::fprintf(stderr, "d88cut: cannot write %s: %s\n", name, reason.c_str());
}

// Writes the bytes to a temporary file beside name and renames it over name
// only after a complete write and close, so an existing file survives any
// failure and a symbolic link at name is replaced, not written through.
bool writeReplacing(const char* name, const uint8_t* bytes, size_t length)
{
    const std::string temporary = temporaryNameFor(name);
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        reportWriteError(name, std::strerror(errno));
        return false;
    }
    errno = 0;
    bool written = std::fwrite(bytes, 1, length, out) == length && std::fflush(out) == 0;
    int failure = errno;
    if (std::fclose(out) != 0 && written) {
        written = false;
        failure = errno;
    }
    std::error_code error;
    if (!written) {
        reportWriteError(name, failure != 0 ? std::strerror(failure) : "write failed");
        std::filesystem::remove(temporary, error);
        return false;
    }
    std::filesystem::rename(temporary, name, error);
    if (error) {
        reportWriteError(name, error.message());
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

bool isSameFile(const std::filesystem::path& name, const std::filesystem::path& inputPath)
{
    std::error_code error;
    return std::filesystem::equivalent(name, inputPath, error) && !error;
}

// A run killed between creating a temporary file and renaming it leaves that
// file behind, and nothing else would ever remove it. Only files and links
// named exactly like this output's temporaries go: never a directory, never
// another name's, and never the image being read, whatever it is called.
void removeStaleTemporaries(const char* name, const std::filesystem::path& inputPath)
{
    const std::string prefix = temporaryPrefixFor(name);
    std::error_code error;
    for (std::filesystem::directory_iterator entry(".", error), end; !error && entry != end;
         entry.increment(error)) {
        if (!isTemporaryOf(entry->path().filename().native(), prefix)) {
            continue;
        }
        std::error_code ignored;  // one that cannot go does not stop the output
        const std::filesystem::file_type type = entry->symlink_status(ignored).type();
        if ((type == std::filesystem::file_type::regular || type == std::filesystem::file_type::symlink) &&
            !isSameFile(entry->path(), inputPath)) {
            std::filesystem::remove(entry->path(), ignored);
        }
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
                   int32_t length, const std::filesystem::path& inputPath)
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
    if (isSameFile(name, inputPath)) {
        std::fprintf(stderr, "d88cut: %s is the disk image being read; not overwritten\n", name);
        return CutOutcome::Failed;
    }
    removeStaleTemporaries(name, inputPath);
    return writeReplacing(name, transferBuffer + offset, static_cast<size_t>(length)) ? CutOutcome::Written
                                                                                       : CutOutcome::Failed;
}

bool extractCatalogue(DiskKind kind, const std::filesystem::path& inputPath)
{
    bool allWritten = true;
    for (const CatalogueFile& file : catalogueFor(kind)) {
        if (cutFile(file.name.c_str(), file.track, file.c, file.h, file.r, file.n, 0, file.length, inputPath) ==
            CutOutcome::Failed) {
            allWritten = false;
        }
    }
    return allWritten;
}
