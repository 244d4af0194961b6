#include <csignal>
#include <cstdio>
#include <cstring>

#include "extract/disk_report.h"
#include "extract/text_format.h"

namespace {

const char kInfoUsage[] = "Usage: d88info [--json] FILE\n";

}  // namespace

int runD88Info(int argc, char* argv[])
{
    bool json = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0 && !json) {
            json = true;
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
    if (!d88Reader.open(path)) {
        std::fprintf(stderr, "d88info: cannot open or read %s\n", quotedAscii(path, "\\x%02X").c_str());
        return 1;
    }
#ifdef SIGXFSZ
    // A file-size limit on standard output must fail the write, which is
    // reported, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const FileReport report = buildFileReport(d88Reader, path);
    d88Reader.close();
    const std::string text = json ? reportJson(report) : reportText(report);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::fputs("d88info: cannot write to standard output\n", stderr);
        return 1;
    }
    return 0;
}
