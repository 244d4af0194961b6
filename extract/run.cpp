#include <csignal>
#include <cstdio>

#include "extract/catalogue.h"
#include "extract/command_line.h"
#include "extract/text_format.h"

namespace {

const char kCutSummary[] =
    "Cuts the files of Disk A and Disk B out of a D88 floppy-disk image into the\n"
    "working directory. d88info FILE shows what will come out, and why.\n"
    "\n"
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
    if (!d88Reader.open(options.path)) {
        writeJapanese(stderr, forms.err, JapaneseMessage::OpenError);
        return 1;
    }
#ifdef SIGXFSZ
    // A file-size limit must fail the write, which is reported, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const std::filesystem::path inputPath(options.path);
    int status = 0;
    bool anyRecognised = false;
    const int32_t images = d88Reader.imageCount();
    for (int32_t i = 0; i < images; ++i) {
        d88Reader.selectImage(i);
        d88Reader.setSectorRange(kFirstSector, kLastSector);
        const SignatureReading signature = readSignature(d88Reader, transferBuffer);
        if (signature.kind == DiskKind::DiskB) {
            writeJapanese(stdout, forms.out, JapaneseMessage::DiskBRecognised);
        } else if (signature.kind == DiskKind::DiskA) {
            writeJapanese(stdout, forms.out, JapaneseMessage::DiskARecognised);
        }
        anyRecognised = anyRecognised || signature.kind != DiskKind::Neither;
        if (!extractCatalogue(signature.kind, inputPath)) {
            status = 1;
        }
    }
    if (!anyRecognised) {
        // Without this, a file of the wrong disks looks exactly like a success.
        const std::string file = quotedAscii(options.path, "\\x%02X");
        std::fprintf(stderr, "d88cut: %s: no Disk A or Disk B found (d88info %s shows why)\n", file.c_str(),
                     file.c_str());
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("d88cut: cannot write to standard output\n", stderr);
        status = 1;
    }
    return status;
}
