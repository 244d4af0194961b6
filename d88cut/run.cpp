// The d88cut command: the image file opened, every image recognised in file
// order, and each recognised disk's catalogue cut.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/text_format.h"
#include "d88/input_file.h"
#include "d88cut/cut.h"

namespace {

const char kUsageMessage[] = "Usage: %s [d88file]\n";
// "ファイルをオープンできません." in Shift-JIS.
const char kOpenErrorMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93"
    "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";

constexpr char kDirectoryOption[] = "--directory=";

// Every name any disk writes: a run cleans up after them all in one scan.
std::vector<std::string> allCatalogueNames()
{
    std::vector<std::string> names;
    for (int32_t k = 0; k < kDiskKindCount; ++k) {
        for (int32_t f = 0; f < kDiskKinds[k].fileCount; ++f) {
            names.push_back(kDiskKinds[k].files[f].name);
        }
    }
    return names;
}

void reportReadError(const char* path, int systemError)
{
    std::fprintf(stderr, "d88cut: %s: read error: %s\n", echoed(path).c_str(), std::strerror(systemError));
}

}  // namespace

int runD88Cut(int argc, char* argv[])
{
    const char* path = nullptr;
    const char* directory = ".";
    bool wrongCommandLine = false;
    for (int i = 1; i < argc && !wrongCommandLine; ++i) {
        if (std::strcmp(argv[i], "-d") == 0 && i + 1 < argc) {
            directory = argv[++i];
        } else if (std::strncmp(argv[i], kDirectoryOption, sizeof kDirectoryOption - 1) == 0) {
            directory = argv[i] + sizeof kDirectoryOption - 1;
        } else if (path == nullptr && std::strcmp(argv[i], "-d") != 0) {
            path = argv[i];
        } else {
            wrongCommandLine = true;
        }
    }
    if (wrongCommandLine || path == nullptr) {
        std::fprintf(stderr, kUsageMessage, argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut");
        return 1;
    }
    InputFile input;
    int openError = 0;
    const OpenFailure failure = input.open(path, openError);
    if (failure != OpenFailure::None) {
        std::fputs(kOpenErrorMessage, stderr);
        std::fprintf(stderr, "d88cut: %s: %s\n", echoed(path).c_str(), openFailureReason(failure, openError).c_str());
        return 1;
    }
#ifdef SIGXFSZ
    // A file-size limit must fail the write, which is reported, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const std::filesystem::path inputPath(path);
    OutputDirectory output{std::filesystem::path(directory)};
    const OutputResult writable = output.checkWritable();
    if (writable.outcome != OutputOutcome::Written) {
        std::fprintf(stderr, "d88cut: cannot write into %s: %s\n", echoed(directory).c_str(), writable.reason.c_str());
        return 1;
    }
    output.removeDeadTemporaries(allCatalogueNames(), inputPath);
    ByteSource source(std::move(input));
    D88Reader reader(source);
    std::vector<uint8_t> buffer;
    buffer.reserve(static_cast<size_t>(longestCatalogueFile()));
    int status = 0;
    for (int32_t i = 0; i < reader.imageCount() && !reader.readFailed(); ++i) {
        const ImageHeader& image = reader.image(i);
        const Recognition recognition = recogniseImage(reader, image);
        if (recognition.kind == nullptr) {
            continue;
        }
        std::fputs(recognition.kind->recognisedMessage, stdout);
        for (int32_t f = 0; f < recognition.kind->fileCount; ++f) {
            const CutOutcome outcome = cutFile(reader, image, recognition.kind->files[f], buffer, output, inputPath);
            if (outcome == CutOutcome::ReadError) {
                break;
            }
            if (outcome == CutOutcome::Failed) {
                status = 1;
            }
        }
    }
    if (reader.readFailed()) {
        reportReadError(path, reader.readErrorNumber());
        status = 1;
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("d88cut: cannot write to standard output\n", stderr);
        status = 1;
    }
    return status;
}
