// Arbitrary bytes as a D88 file, read every way the reader allows. A broken
// promise aborts, so libFuzzer keeps the input; running this program on that
// input alone prints which promise broke.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "d88/d88_reader.h"
#include "testsupport/reader_walk.h"

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "reader_fuzzer: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) {
        fail("cannot create a temporary file");
    }
    if (size > 0 && std::fwrite(data, 1, size, stream) != size) {
        std::fclose(stream);
        fail("cannot write the temporary file");
    }
    D88Reader reader;
    if (!reader.open(stream)) {
        fail("a readable file was refused");
    }
    const ReaderWalk first = walkReader(reader);
    if (!first.fault.empty()) {
        fail(first.fault.c_str());
    }
    if (walkReader(reader).digest != first.digest) {
        fail("a second walk over the same file read something else");
    }
    return 0;
}
