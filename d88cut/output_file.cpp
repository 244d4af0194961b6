// Temporary files named after their output, renamed into place once whole.
#include "d88cut/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

// A temporary file is named after its output: ".NAME.d88cut-N.tmp", N a
// decimal number.
constexpr char kTemporaryMarker[] = ".d88cut-";
constexpr char kTemporarySuffix[] = ".tmp";

std::string temporaryPrefixFor(const std::string& name)
{
    return "." + name + kTemporaryMarker;
}

// Compares code unit by code unit, so that it serves the native file names
// of every platform (narrow or wide) without converting them; the prefix and
// suffix are ASCII.
template <class NativeName>
bool isTemporaryOf(const NativeName& file, const std::string& prefix)
{
    const std::string suffix = kTemporarySuffix;
    if (file.size() <= prefix.size() + suffix.size()) {
        return false;
    }
    const auto unit = [](char c) { return static_cast<typename NativeName::value_type>(c); };
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (file[i] != unit(prefix[i])) {
            return false;
        }
    }
    const size_t digitsEnd = file.size() - suffix.size();
    for (size_t i = prefix.size(); i < digitsEnd; ++i) {
        if (file[i] < unit('0') || file[i] > unit('9')) {
            return false;
        }
    }
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (file[digitsEnd + i] != unit(suffix[i])) {
            return false;
        }
    }
    return true;
}

std::string temporaryNameFor(const std::string& name)
{
    const std::string prefix = temporaryPrefixFor(name);
    for (int attempt = 0;; ++attempt) {
        const std::string candidate = prefix + std::to_string(attempt) + kTemporarySuffix;
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error))) {
            return candidate;
        }
    }
}

}  // namespace

// Writes the bytes to a temporary file beside name and renames it over name
// only after a complete write and close, so an existing file survives any
// failure and a symbolic link at name is replaced, not written through.
bool writeReplacing(const std::string& name, const uint8_t* bytes, size_t length, std::string& reason)
{
    const std::string temporary = temporaryNameFor(name);
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    errno = 0;
    bool written = std::fwrite(bytes, 1, length, out) == length && std::fflush(out) == 0;
    int failure = errno;
    if (std::fclose(out) != 0 && written) {
        written = false;
        failure = errno;
    }
    std::error_code error;
    if (!written) {
        reason = failure != 0 ? std::strerror(failure) : "write failed";
        std::filesystem::remove(temporary, error);
        return false;
    }
    std::filesystem::rename(temporary, name, error);
    if (error) {
        reason = error.message();
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

bool isSameFile(const std::filesystem::path& name, const std::filesystem::path& inputPath)
{
    std::error_code error;
    return std::filesystem::equivalent(name, inputPath, error) && !error;
}

// A run killed between creating a temporary file and renaming it leaves that
// file behind, and nothing else would ever remove it. Only files and links
// named exactly like this output's temporaries go: never a directory, never
// another name's, and never the image being read, whatever it is called.
void removeStaleTemporaries(const std::string& name, const std::filesystem::path& inputPath)
{
    const std::string prefix = temporaryPrefixFor(name);
    std::error_code error;
    for (std::filesystem::directory_iterator entry(".", error), end; !error && entry != end;
         entry.increment(error)) {
        if (!isTemporaryOf(entry->path().filename().native(), prefix)) {
            continue;
        }
        std::error_code ignored;  // one that cannot go does not stop the output
        const std::filesystem::file_type type = entry->symlink_status(ignored).type();
        if ((type == std::filesystem::file_type::regular || type == std::filesystem::file_type::symlink) &&
            !isSameFile(entry->path(), inputPath)) {
            std::filesystem::remove(entry->path(), ignored);
        }
    }
}

