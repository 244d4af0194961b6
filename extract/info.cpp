#include <cstdio>
#include <cstring>

#include "extract/disk_report.h"

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
    if (!d88Reader.open(path)) {
        std::fprintf(stderr, "d88info: cannot open or read %s\n", path);
        return 1;
    }
    const FileReport report = buildFileReport(d88Reader, path);
    d88Reader.close();
    const std::string text = json ? reportJson(report) : svg ? reportSvg(report) : reportText(report);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::fputs("d88info: cannot write to standard output\n", stderr);
        return 1;
    }
    return 0;
}
