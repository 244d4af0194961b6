#include <csignal>
#include <cstdio>
#include <cstring>

#include "extract/catalogue.h"
#include "extract/text_format.h"

namespace {

constexpr char kDirectoryOption[] = "--directory=";

// Every name either disk writes: a run cleans up after them all in one scan.
std::vector<std::string> allCatalogueNames()
{
    std::vector<std::string> names;
    for (const DiskKind kind : {DiskKind::DiskA, DiskKind::DiskB}) {
        for (const CatalogueFile& file : catalogueFor(kind)) {
            names.push_back(file.name);
        }
    }
    return names;
}

}  // namespace

int runD88Cut(int argc, char* argv[])
{
    const char* image = nullptr;
    const char* directory = ".";
    bool wrongCommandLine = false;
    for (int i = 1; i < argc && !wrongCommandLine; ++i) {
        if (std::strcmp(argv[i], "-d") == 0 && i + 1 < argc) {
            directory = argv[++i];
        } else if (std::strncmp(argv[i], kDirectoryOption, sizeof kDirectoryOption - 1) == 0) {
            directory = argv[i] + sizeof kDirectoryOption - 1;
        } else if (image == nullptr && std::strcmp(argv[i], "-d") != 0) {
            image = argv[i];
        } else {
            wrongCommandLine = true;
        }
    }
    if (wrongCommandLine || image == nullptr) {
        std::fprintf(stderr, kUsageMessage, argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut");
        return 1;
    }
    if (!d88Reader.open(image)) {
        std::fputs(kOpenErrorMessage, stderr);
        return 1;
    }
#ifdef SIGXFSZ
    // A file-size limit must fail the write, which is reported, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const std::filesystem::path inputPath(image);
    OutputDirectory output{std::filesystem::path(directory)};
    const OutputResult writable = output.checkWritable();
    if (writable.outcome != OutputOutcome::Written) {
        std::fprintf(stderr, "d88cut: cannot write into %s: %s\n", quotedAscii(directory, "\\x%02X").c_str(),
                     writable.reason.c_str());
        return 1;
    }
    output.removeDeadTemporaries(allCatalogueNames(), inputPath);
    int status = 0;
    const int32_t images = d88Reader.imageCount();
    for (int32_t i = 0; i < images; ++i) {
        d88Reader.selectImage(i);
        d88Reader.setSectorRange(kFirstSector, kLastSector);
        const SignatureReading signature = readSignature(d88Reader, transferBuffer);
        if (signature.kind == DiskKind::DiskB) {
            std::fputs(kDiskBRecognisedMessage, stdout);
        } else if (signature.kind == DiskKind::DiskA) {
            std::fputs(kDiskARecognisedMessage, stdout);
        }
        if (!extractCatalogue(signature.kind, output, inputPath)) {
            status = 1;
        }
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("d88cut: cannot write to standard output\n", stderr);
        status = 1;
    }
    return status;
}
