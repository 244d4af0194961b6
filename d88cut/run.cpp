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

void reportReadError(const char* path, int systemError)
{
    std::fprintf(stderr, "d88cut: %s: read error: %s\n", echoed(path).c_str(), std::strerror(systemError));
}

}  // namespace

int runD88Cut(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, kUsageMessage, argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut");
        return 1;
    }
    const char* path = argv[1];
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
    ByteSource source(std::move(input));
    D88Reader reader(source);
    const std::filesystem::path inputPath(path);
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
            const CutOutcome outcome = cutFile(reader, image, recognition.kind->files[f], buffer, inputPath);
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
