#include <cstdio>

#include "extract/catalogue.h"

int runD88Cut(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, kUsageMessage, argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut");
        return 1;
    }
    if (!d88Reader.open(argv[1])) {
        std::fprintf(stderr, "%s", kOpenErrorMessage);
        return 1;
    }
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
    }
    return 0;
}
