#include <cstdio>

#include "extract/command_line.h"
#include "extract/disk_report.h"

namespace {

const char kInfoUsage[] = "Usage: d88info [--json] FILE\n";
const char kInfoSummary[] =
    "Shows, without writing anything, what d88cut will find in a D88 file: each\n"
    "image, why a disk is or is not recognised, and why a file would come out\n"
    "short or not at all.\n"
    "\n"
    "  --json     print the same facts as one JSON document\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "  --         end the options: a file named -x is given as -- -x or ./-x\n";

bool writeAll(const std::string& text)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::fputs("d88info: cannot write to standard output\n", stderr);
        return false;
    }
    return true;
}

}  // namespace

int runD88Info(int argc, char* argv[])
{
    const InfoOptions options = parseInfoCommandLine(argc, argv);
    if (options.action == CommandAction::ShowHelp) {
        return writeAll(std::string(kInfoUsage) + kInfoSummary) ? 0 : 1;
    }
    if (options.action == CommandAction::ShowVersion) {
        return writeAll(infoVersionText()) ? 0 : 1;
    }
    if (options.action != CommandAction::Run) {
        std::fputs(kInfoUsage, stderr);
        return 1;
    }
    const char* path = options.path;
    const bool json = options.json;
    if (!d88Reader.open(path)) {
        std::fprintf(stderr, "d88info: cannot open or read %s\n", path);
        return 1;
    }
    const FileReport report = buildFileReport(d88Reader, path);
    d88Reader.close();
    const std::string text = json ? reportJson(report) : reportText(report);
    return writeAll(text) ? 0 : 1;
}
