// The d88info command: the file opened, the report built and printed.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "cli/text_format.h"
#include "d88/input_file.h"
#include "d88info/disk_report.h"

namespace {

const char kInfoUsage[] = "Usage: d88info [--json | --svg] FILE\n";
const char kInfoSummary[] =
    "Shows, without writing anything, what d88cut will find in a D88 file: each\n"
    "image, why a disk is or is not recognised, and why a file would come out\n"
    "short or not at all.\n"
    "\n"
    "  --json     print the same facts as one JSON document\n"
    "  --svg      draw them as a map: one SVG document\n"
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
    const FileReport report = buildFileReport(reader, path, source.size());
    if (report.readFailed) {
        std::fprintf(stderr, "d88info: %s: read error: %s\n", echoed(path).c_str(), std::strerror(report.readError));
        return 1;
    }
    const std::string text =
        options.json ? reportJson(report) : options.svg ? reportSvg(report) : reportText(report);
    return writeAll(text) ? 0 : 1;
}
