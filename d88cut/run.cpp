// The d88cut command: the image file opened, every image recognised in file
// order, and each recognised disk's catalogue cut.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/text_format.h"
#include "d88/input_file.h"
#include "d88cut/cut.h"

namespace {

const char kUsageMessage[] = "Usage: %s [d88file]\n";
const char kCutSummary[] =
    "Cuts the files of Disk A and Disk B out of a D88 floppy-disk image into the\n"
    "working directory, or into DIR. d88info FILE shows what will come out, and why.\n"
    "\n"
    "  -d DIR, --directory=DIR  write the files into DIR, which must exist\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "  --         end the options: a file named -x is given as -- -x or ./-x\n";

int showHelpOrVersion(CommandAction action, const char* program)
{
    if (action == CommandAction::ShowHelp) {
        std::printf(kUsageMessage, program);
        std::fputs(kCutSummary, stdout);
    } else {
        std::fputs(cutVersionText(), stdout);
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("d88cut: cannot write to standard output\n", stderr);
        return 1;
    }
    return 0;
}

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

int runD88Cut(int argc, char* argv[], const MessageForms& forms)
{
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut";
    const CutOptions options = parseCutCommandLine(argc, argv);
    if (options.action == CommandAction::ShowHelp || options.action == CommandAction::ShowVersion) {
        return showHelpOrVersion(options.action, program);
    }
    if (options.action != CommandAction::Run) {
        std::fprintf(stderr, kUsageMessage, program);
        return 1;
    }
    const char* path = options.path;
    const char* directory = options.directory;
    InputFile input;
    int openError = 0;
    const OpenFailure failure = input.open(path, openError);
    if (failure != OpenFailure::None) {
        writeJapanese(stderr, forms.err, JapaneseMessage::OpenError);
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
    bool anyRecognised = false;
    for (int32_t i = 0; i < reader.imageCount() && !reader.readFailed(); ++i) {
        const ImageHeader& image = reader.image(i);
        const Recognition recognition = recogniseImage(reader, image);
        if (recognition.kind == nullptr) {
            continue;
        }
        anyRecognised = true;
        writeJapanese(stdout, forms.out, recognition.kind->recognisedMessage);
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
    } else if (!anyRecognised) {
        // Without this, a file of the wrong disks looks exactly like a success.
        const std::string file = echoed(path);
        std::fprintf(stderr, "d88cut: %s: no Disk A or Disk B found (d88info %s shows why)\n", file.c_str(),
                     file.c_str());
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("d88cut: cannot write to standard output\n", stderr);
        status = 1;
    }
    return status;
}
