// Opening and reading the image file, POSIX and Windows side by side. Only a
// regular file is read: anything else is refused at open, before a read could
// block on it.
#include "d88/input_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

OpenFailure failureForError(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return OpenFailure::NoSuchFile;
    case EISDIR:
        return OpenFailure::IsDirectory;
    case EACCES:
    case EPERM:
        return OpenFailure::PermissionDenied;
    default:
        return OpenFailure::Other;
    }
}

}  // namespace

std::string openFailureReason(OpenFailure failure, int systemError)
{
    switch (failure) {
    case OpenFailure::None:
        return "";
    case OpenFailure::NoSuchFile:
        return "no such file";
    case OpenFailure::IsDirectory:
        return "is a directory";
    case OpenFailure::NotRegularFile:
        return "not a regular file";
    case OpenFailure::PermissionDenied:
        return "permission denied";
    case OpenFailure::Other:
        break;
    }
    return std::strerror(systemError);
}

InputFile::~InputFile()
{
    close();
}

InputFile::InputFile(InputFile&& other) noexcept : descriptor(other.descriptor), fileSize(other.fileSize)
{
    other.descriptor = -1;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept
{
    if (this != &other) {
        close();
        descriptor = other.descriptor;
        fileSize = other.fileSize;
        other.descriptor = -1;
    }
    return *this;
}

bool InputFile::isOpen() const
{
    return descriptor >= 0;
}

#ifdef _WIN32

OpenFailure InputFile::open(const char* path, int& systemError)
{
    close();
    systemError = 0;
    if (path == nullptr || *path == '\0') {
        systemError = ENOENT;
        return OpenFailure::NoSuchFile;
    }
    // Windows cannot open a directory as a file and says only "access
    // denied", so its type is asked first.
    struct _stati64 status;
    if (_stati64(path, &status) != 0) {
        systemError = errno;
        return failureForError(errno);
    }
    if ((status.st_mode & _S_IFMT) == _S_IFDIR) {
        systemError = EISDIR;
        return OpenFailure::IsDirectory;
    }
    const int opened = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (opened < 0) {
        systemError = errno;
        return failureForError(errno);
    }
    if (_fstati64(opened, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        _close(opened);
        systemError = 0;
        return OpenFailure::NotRegularFile;
    }
    descriptor = opened;
    fileSize = static_cast<uint64_t>(status.st_size);
    return OpenFailure::None;
}

int64_t InputFile::readAt(uint64_t offset, uint8_t* out, size_t length, int& systemError)
{
    if (_lseeki64(descriptor, static_cast<__int64>(offset), SEEK_SET) < 0) {
        systemError = errno;
        return -1;
    }
    size_t total = 0;
    while (total < length) {
        const size_t chunk = length - total < 0x40000000u ? length - total : 0x40000000u;
        const int got = _read(descriptor, out + total, static_cast<unsigned>(chunk));
        if (got < 0) {
            systemError = errno;
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(total);
}

void InputFile::close()
{
    if (descriptor >= 0) {
        _close(descriptor);
        descriptor = -1;
    }
}

#else

OpenFailure InputFile::open(const char* path, int& systemError)
{
    close();
    systemError = 0;
    if (path == nullptr || *path == '\0') {
        systemError = ENOENT;
        return OpenFailure::NoSuchFile;
    }
    // O_NONBLOCK keeps the open itself from waiting on a FIFO without a
    // writer; the type check below refuses such a file before any read.
    const int opened = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0) {
        systemError = errno;
        return failureForError(errno);
    }
    struct stat status;
    if (fstat(opened, &status) != 0) {
        systemError = errno;
        ::close(opened);
        return failureForError(systemError);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(opened);
        systemError = S_ISDIR(status.st_mode) ? EISDIR : 0;
        return S_ISDIR(status.st_mode) ? OpenFailure::IsDirectory : OpenFailure::NotRegularFile;
    }
    descriptor = opened;
    fileSize = static_cast<uint64_t>(status.st_size);
    return OpenFailure::None;
}

int64_t InputFile::readAt(uint64_t offset, uint8_t* out, size_t length, int& systemError)
{
    size_t total = 0;
    while (total < length) {
        const ssize_t got = pread(descriptor, out + total, length - total, static_cast<off_t>(offset + total));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            systemError = errno;
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(total);
}

void InputFile::close()
{
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
}

#endif
