// Loaded with LD_PRELOAD by the read-error tests: a pread that reaches past
// byte D88CUT_FAIL_PREAD_FROM of a file fails with EIO, as a disk going bad
// partway through would. Unset, every call goes through.
#include <dlfcn.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool failThisCall(long long offset, size_t count)
{
    const char* from = std::getenv("D88CUT_FAIL_PREAD_FROM");
    return from != nullptr && offset + static_cast<long long>(count) > std::atoll(from);
}

template <typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t pread(int descriptor, void* buffer, size_t count, off_t offset)
{
    if (failThisCall(offset, count)) {
        errno = EIO;
        return -1;
    }
    using Pread = ssize_t (*)(int, void*, size_t, off_t);
    static const Pread real = next<Pread>("pread");
    return real(descriptor, buffer, count, offset);
}

extern "C" ssize_t pread64(int descriptor, void* buffer, size_t count, off64_t offset)
{
    if (failThisCall(offset, count)) {
        errno = EIO;
        return -1;
    }
    using Pread64 = ssize_t (*)(int, void*, size_t, off64_t);
    static const Pread64 real = next<Pread64>("pread64");
    return real(descriptor, buffer, count, offset);
}
