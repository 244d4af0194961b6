// Exclusive temporary files, their locks and their cleanup, with the POSIX
// and Windows branches side by side. A run only ever removes or renames a
// temporary it created itself, or one whose run has provably ended.
#include "d88cut/output_file.h"

#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr char kTemporaryMarker[] = ".d88cut-";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr size_t kTokenDigits = 16;
// Names are random, so running out of them means something keeps taking
// them on purpose; give up rather than loop.
constexpr int kCreateAttempts = 64;

struct OutcomeName {
    OutputOutcome outcome;
    const char* name;
};
constexpr OutcomeName kOutcomeNames[] = {
    {OutputOutcome::Written, "written"},
    {OutputOutcome::IsInput, "is-input"},
    {OutputOutcome::Failed, "failed"},
};

OutputResult failed(const std::string& reason)
{
    return OutputResult{OutputOutcome::Failed, reason};
}

OutputResult failedWith(int error)
{
    return failed(std::strerror(error));
}

#ifndef _WIN32
bool isHexDigit(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f');
}

// The output name a file is a temporary of: true with name set when file is
// ".NAME.d88cut-XXXXXXXXXXXXXXXX.tmp" or the probe ".d88cut-XXXXXXXXXXXXXXXX.tmp".
bool temporaryOf(const std::string& file, std::string& name)
{
    const size_t marker = std::strlen(kTemporaryMarker);
    const size_t suffix = std::strlen(kTemporarySuffix);
    if (file.size() < marker + kTokenDigits + suffix ||
        file.compare(file.size() - suffix, suffix, kTemporarySuffix) != 0) {
        return false;
    }
    const size_t tokenStart = file.size() - suffix - kTokenDigits;
    for (size_t i = tokenStart; i < tokenStart + kTokenDigits; ++i) {
        if (!isHexDigit(file[i])) {
            return false;
        }
    }
    const size_t markerStart = tokenStart - marker;
    if (file.compare(markerStart, marker, kTemporaryMarker) != 0) {
        return false;
    }
    if (markerStart == 0) {
        name.clear();
        return true;
    }
    if (markerStart < 2 || file[0] != '.') {
        return false;
    }
    name = file.substr(1, markerStart - 1);
    return true;
}
#endif

int processId()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

bool isSameFile(const fs::path& name, const fs::path& inputPath)
{
    std::error_code error;
    return fs::equivalent(name, inputPath, error) && !error;
}

// A temporary file this run created, open for writing.
struct Temporary {
    fs::path path;
    int fd = -1;
    // The file's identity once locked, to tell it from whatever else may
    // take its name later (POSIX only).
    uint64_t device = 0;
    uint64_t inode = 0;
};

#ifdef _WIN32

// Windows: _O_EXCL fails on any existing name, a link included. No lock is
// taken, since nothing removes temporaries there (see removeDeadTemporaries).
int createExclusive(const fs::path& path, int& fd)
{
    const errno_t error = _wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                    _SH_DENYNO, _S_IREAD | _S_IWRITE);
    return error == 0 ? 0 : error;
}

bool lockAndKeep(Temporary&)
{
    return true;
}

int writeAll(int fd, const uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const unsigned chunk = length > 0x40000000u ? 0x40000000u : static_cast<unsigned>(length);
        const int written = _write(fd, bytes, chunk);
        if (written <= 0) {
            return written < 0 ? errno : EIO;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}

// Windows cannot rename a file it holds open without sharing it for
// deletion, so the temporary is closed, and the close checked, first.
int closeBeforeRename(Temporary& temporary)
{
    const int result = _close(temporary.fd);
    temporary.fd = -1;
    return result == 0 ? 0 : errno;
}

bool stillOurs(const Temporary&)
{
    return true;
}

void closeTemporary(Temporary& temporary)
{
    if (temporary.fd >= 0) {
        _close(temporary.fd);
        temporary.fd = -1;
    }
}

void removeTemporary(Temporary& temporary)
{
    closeTemporary(temporary);
    _wremove(temporary.path.c_str());
}

// Windows refuses to replace a file that another process has open at that
// moment (another run replacing or comparing the same name), so a refused
// rename is tried again for a while before it counts as failed.
void renameOver(const fs::path& from, const fs::path& to, std::error_code& error)
{
    constexpr int kRenameAttempts = 200;
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        fs::rename(from, to, error);
        if (error != std::errc::permission_denied) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

#else

int createExclusive(const fs::path& path, int& fd)
{
    // O_EXCL fails on any existing name, a dangling link included; O_NOFOLLOW
    // says so once more for systems that would follow one.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd >= 0 ? 0 : errno;
}

bool sameInode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the name still refers to the file this run holds open: a
// neighbour who may delete in the directory could have put something else there.
bool stillOurs(const Temporary& temporary)
{
    struct stat named {};
    return lstat(temporary.path.c_str(), &named) == 0 && static_cast<uint64_t>(named.st_dev) == temporary.device &&
           static_cast<uint64_t>(named.st_ino) == temporary.inode;
}

void closeTemporary(Temporary& temporary)
{
    if (temporary.fd >= 0) {
        close(temporary.fd);
        temporary.fd = -1;
    }
}

void removeTemporary(Temporary& temporary)
{
    if (stillOurs(temporary)) {
        unlink(temporary.path.c_str());
    }
    closeTemporary(temporary);
}

// The lock tells a cleanup that this temporary is alive. A cleanup may take
// the lock of a file just created and not yet locked; it then unlinks it, so
// the file is given up when its lock is taken or its last name is gone.
bool lockAndKeep(Temporary& temporary)
{
    struct stat held {};
    if (flock(temporary.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        if (fstat(temporary.fd, &held) == 0) {
            temporary.device = static_cast<uint64_t>(held.st_dev);
            temporary.inode = static_cast<uint64_t>(held.st_ino);
        }
        removeTemporary(temporary);
        return false;
    }
    // Any other failure means the filesystem has no such locks: a cleanup
    // cannot lock the file either, so it leaves it alone.
    if (fstat(temporary.fd, &held) != 0 || held.st_nlink == 0) {
        closeTemporary(temporary);
        return false;
    }
    temporary.device = static_cast<uint64_t>(held.st_dev);
    temporary.inode = static_cast<uint64_t>(held.st_ino);
    return true;
}

int writeAll(int fd, const uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? errno : EIO;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}

void renameOver(const fs::path& from, const fs::path& to, std::error_code& error)
{
    fs::rename(from, to, error);
}

// The descriptor stays open, and so locked, until the rename is done; closing
// a duplicate asks the filesystem for the errors a close would report
// (a network filesystem writes back then) without giving up the lock.
int closeBeforeRename(Temporary& temporary)
{
    const int duplicate = fcntl(temporary.fd, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0) {
        return errno;
    }
    return close(duplicate) == 0 ? 0 : errno;
}

#endif

}  // namespace

const char* outputOutcomeName(OutputOutcome outcome)
{
    for (const OutcomeName& entry : kOutcomeNames) {
        if (entry.outcome == outcome) {
            return entry.name;
        }
    }
    return "unknown";
}

OutputDirectory::OutputDirectory(fs::path directoryPath)
    : directory(std::move(directoryPath)), processSalt(static_cast<uint64_t>(processId()) * 0x9E3779B97F4A7C15u)
{
}

OutputDirectory::OutputDirectory(fs::path directoryPath, TemporaryTokenSource tokenSource)
    : directory(std::move(directoryPath)), tokens(std::move(tokenSource)), processSalt(0)
{
}

uint64_t OutputDirectory::nextToken()
{
    if (tokens) {
        return tokens();
    }
    // Random bits make a name hard to guess; the process id keeps two runs
    // apart even where the random source is weak.
    const uint64_t random = (uint64_t{randomBits()} << 32) ^ uint64_t{randomBits()};
    return random ^ processSalt;
}

std::string OutputDirectory::temporaryName(const std::string& name, uint64_t token)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(kTokenDigits, '0');
    for (size_t i = kTokenDigits; i-- > 0; token >>= 4) {
        hex[i] = kDigits[token & 0xF];
    }
    return (name.empty() ? "" : "." + name) + kTemporaryMarker + hex + kTemporarySuffix;
}

namespace {

// Creates a temporary of name in directory, locked, under the first free
// name the tokens give.
int createTemporary(const fs::path& directory, const std::string& name, const std::function<uint64_t()>& next,
                    Temporary& temporary)
{
    int error = EEXIST;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        temporary.path = directory / OutputDirectory::temporaryName(name, next());
        error = createExclusive(temporary.path, temporary.fd);
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            return error;
        }
        if (lockAndKeep(temporary)) {
            return 0;
        }
        error = EEXIST;
    }
    return error;
}

}  // namespace

OutputResult OutputDirectory::checkWritable()
{
    Temporary probe;
    const int error = createTemporary(directory, "", [this] { return nextToken(); }, probe);
    if (error != 0) {
        return failedWith(error);
    }
    removeTemporary(probe);
    return OutputResult{OutputOutcome::Written, ""};
}

OutputResult OutputDirectory::write(const std::string& name, const uint8_t* bytes, size_t length,
                                    const fs::path& inputPath)
{
    const fs::path target = directory / name;
    if (isSameFile(target, inputPath)) {
        return OutputResult{OutputOutcome::IsInput, ""};
    }
    Temporary temporary;
    const int createError = createTemporary(directory, name, [this] { return nextToken(); }, temporary);
    if (createError != 0) {
        return failedWith(createError);
    }
    int error = writeAll(temporary.fd, bytes, length);
    if (error == 0) {
        error = closeBeforeRename(temporary);
    }
    if (error != 0) {
        removeTemporary(temporary);
        return failedWith(error);
    }
    if (!stillOurs(temporary)) {
        closeTemporary(temporary);
        return failed("its temporary file was replaced by another");
    }
    std::error_code renameError;
    renameOver(temporary.path, target, renameError);
    if (renameError) {
        removeTemporary(temporary);
        return failed(renameError.message());
    }
    closeTemporary(temporary);
    return OutputResult{OutputOutcome::Written, ""};
}

int OutputDirectory::removeDeadTemporaries(const std::vector<std::string>& names, const fs::path& inputPath) const
{
#ifdef _WIN32
    // Without a lock that a live run holds, a live temporary cannot be told
    // from a dead one, so they are all left alone.
    (void)names;
    (void)inputPath;
    return 0;
#else
    const std::set<std::string> wanted(names.begin(), names.end());
    const uid_t user = geteuid();
    int removed = 0;
    std::error_code error;
    for (fs::directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error)) {
        std::string name;
        if (!temporaryOf(entry->path().filename().string(), name) || (!name.empty() && wanted.count(name) == 0)) {
            continue;
        }
        const std::string path = entry->path().string();
        struct stat seen {};
        if (lstat(path.c_str(), &seen) != 0 || !S_ISREG(seen.st_mode) || seen.st_uid != user ||
            isSameFile(entry->path(), inputPath)) {
            continue;
        }
        // O_NONBLOCK: should a FIFO take the name after the lstat, opening it
        // must not wait for a writer.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat held {};
        struct stat named {};
        // A live run holds its lock from creation to rename; one that has
        // created its file but not locked it yet finds it unlinked and makes
        // another.
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == user && sameInode(held, seen) &&
            flock(fd, LOCK_EX | LOCK_NB) == 0 && lstat(path.c_str(), &named) == 0 && sameInode(held, named) &&
            unlink(path.c_str()) == 0) {
            ++removed;
        }
        close(fd);
    }
    return removed;
#endif
}
