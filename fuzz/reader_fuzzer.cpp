// Arbitrary bytes as a D88 file, read every way the reader allows. A broken
// promise aborts, so libFuzzer keeps the input; running this program on that
// input alone prints which promise broke.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "testsupport/reader_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string fault = walkBytes(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "reader_fuzzer: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
