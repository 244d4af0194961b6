#include <csignal>
#include <cstdio>

#include "extract/catalogue.h"

int runD88Cut(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, kUsageMessage, argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut");
        return 1;
    }
    if (!d88Reader.open(argv[1])) {
        std::fputs(kOpenErrorMessage, stderr);
        return 1;
    }
#ifdef SIGXFSZ
    // A file-size limit must fail the write, which is reported, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const std::filesystem::path inputPath(argv[1]);
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
        if (!extractCatalogue(signature.kind, inputPath)) {
            status = 1;
        }
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("d88cut: cannot write to standard output\n", stderr);
        status = 1;
    }
    return status;
}
