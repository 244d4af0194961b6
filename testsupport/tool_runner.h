// Runs the built command-line tool in a scratch directory and captures what
// it prints.
#ifndef D88CUT_TESTSUPPORT_TOOL_RUNNER_H
#define D88CUT_TESTSUPPORT_TOOL_RUNNER_H

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

// A command's words and the null-ended array of pointers into them that exec
// takes. Not copyable: the pointers point into the words.
class ExecArguments {
public:
    ExecArguments(const std::string& tool, const std::vector<std::string>& args);
    ExecArguments(const ExecArguments&) = delete;
    ExecArguments& operator=(const ExecArguments&) = delete;
    char** argv() { return pointers.data(); }

private:
    std::vector<std::string> words;
    std::vector<char*> pointers;
};

// Runs tool with args in workDir. Extra shell text (for example a ulimit)
// may precede the command; emulator, when not empty, is a shell command that
// runs the tool for another platform and goes in front of it unquoted.
ToolResult runTool(const std::string& tool, const std::vector<std::string>& args,
                   const std::filesystem::path& workDir, const std::string& shellPrefix = "",
                   const std::string& emulator = "");

// Starts tool with args in workDir, its output discarded, and kills it with
// SIGKILL after delay. True when that kill is what ended it; false when it
// had finished before (or could not be started).
bool runToolKilledAfter(const std::string& tool, const std::vector<std::string>& args,
                        const std::filesystem::path& workDir, std::chrono::microseconds delay);

#endif
