// Writes a synthetic D88 file holding Disk A and then Disk B, for trying the
// tool without a real disk image. Every sector starts with the disk's tag
// letter, its track index and its sector number.
#include <cstdio>
#include <cstring>

#include "testsupport/d88_fixture.h"

int main(int argc, char* argv[])
{
    const char* program = argc > 0 ? argv[0] : "make_sample";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("Usage: %s OUTPUT.d88\nWrites a sample D88 file holding Disk A and then Disk B.\n", program);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        // A name starting with "-" is an option mistyped more often than a file.
        std::fprintf(stderr, "Usage: %s OUTPUT.d88\n", program);
        return 1;
    }
    const Bytes image =
        concatenate({standardDisk('A', 0xC3, "SAMPLE DISK A").build(), standardDisk('B', 0x08, "SAMPLE DISK B").build()});
    if (!writeBytes(argv[1], image)) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
