// The d88info command: the file opened, the report built and printed.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/text_format.h"
#include "d88/input_file.h"
#include "d88info/disk_report.h"

namespace {

const char kInfoUsage[] = "Usage: d88info [--json | --svg] FILE\n";

}  // namespace

int runD88Info(int argc, char* argv[])
{
    bool json = false;
    bool svg = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0 && !json && !svg) {
            json = true;
        } else if (std::strcmp(argv[i], "--svg") == 0 && !json && !svg) {
            svg = true;
        } else if (argv[i][0] == '-' || path != nullptr) {
            // A file whose name starts with "-" is given as ./-name.
            std::fputs(kInfoUsage, stderr);
            return 1;
        } else {
            path = argv[i];
        }
    }
    if (path == nullptr) {
        std::fputs(kInfoUsage, stderr);
        return 1;
    }
    InputFile input;
    int openError = 0;
    if (input.open(path, openError) != OpenFailure::None) {
        std::fprintf(stderr, "d88info: cannot open or read %s\n", echoed(path).c_str());
        return 1;
    }
#ifdef SIGXFSZ
    // A file-size limit on standard output must fail the write, which is
    // reported, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    ByteSource source(std::move(input));
    D88Reader reader(source);
    const FileReport report = buildFileReport(reader, path);
    if (report.readFailed) {
        std::fprintf(stderr, "d88info: %s: read error: %s\n", echoed(path).c_str(), std::strerror(report.readError));
        return 1;
    }
    const std::string text = json ? reportJson(report) : svg ? reportSvg(report) : reportText(report);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::fputs("d88info: cannot write to standard output\n", stderr);
        return 1;
    }
    return 0;
}
