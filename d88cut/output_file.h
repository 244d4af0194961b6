// Output files written into one directory, each through a temporary file of
// its own: created exclusively and never through a link, held locked while it
// lives, and renamed over its name only once completely written.
#ifndef D88CUT_D88CUT_OUTPUT_FILE_H
#define D88CUT_D88CUT_OUTPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

enum class OutputOutcome {
    Written,
    IsInput,  // the name refers to the input file: nothing was written
    Failed,   // nothing was replaced; the reason says why
};

// "written", "is-input", "failed".
const char* outputOutcomeName(OutputOutcome outcome);

struct OutputResult {
    OutputOutcome outcome;
    std::string reason;  // the system's reason when Failed, otherwise empty
};

// Gives the 64 bits that tell one temporary file from another.
using TemporaryTokenSource = std::function<uint64_t()>;

class OutputDirectory {
public:
    // Temporary names come from random bits mixed with the process id.
    explicit OutputDirectory(std::filesystem::path directory = ".");
    // Temporary names come from tokens, so that a test can predict them.
    OutputDirectory(std::filesystem::path directory, TemporaryTokenSource tokens);

    const std::filesystem::path& path() const { return directory; }

    // Whether a file can be created in the directory: creates a temporary
    // file there and removes it again.
    OutputResult checkWritable();

    // Removes, in one scan of the directory, the temporaries of these output
    // names (and of checkWritable) whose run has ended: regular files of this
    // user that no process holds locked, never inputPath. Returns how many
    // went. Where locks are not available (Windows), it removes nothing.
    int removeDeadTemporaries(const std::vector<std::string>& names, const std::filesystem::path& inputPath) const;

    // Writes length bytes to name in the directory through a temporary file,
    // renamed over name once complete; never when name refers to inputPath.
    OutputResult write(const std::string& name, const uint8_t* bytes, size_t length,
                       const std::filesystem::path& inputPath);

    // ".NAME.d88cut-XXXXXXXXXXXXXXXX.tmp", the token in 16 hex digits; for
    // an empty name (checkWritable's) ".d88cut-XXXXXXXXXXXXXXXX.tmp".
    static std::string temporaryName(const std::string& name, uint64_t token);

private:
    uint64_t nextToken();

    std::filesystem::path directory;
    TemporaryTokenSource tokens;
    std::random_device randomBits;
    uint64_t processSalt;  // the process id, mixed in once
};

#endif
