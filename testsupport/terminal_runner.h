// Runs a tool with its standard output and error on a pseudo-terminal (or
// its standard output on a pipe) and captures the bytes, to see what a user
// at a terminal would see. POSIX only.
#ifndef D88CUT_TESTSUPPORT_TERMINAL_RUNNER_H
#define D88CUT_TESTSUPPORT_TERMINAL_RUNNER_H

#include <filesystem>
#include <string>
#include <vector>

struct TerminalResult {
    bool started = false;   // false when no pseudo-terminal or process could be made
    int status = -1;
    std::string terminal;   // every byte written to the terminal, in order
    std::string pipe;       // standard output when it went to a pipe
};

enum class StandardOutputTo { Terminal, Pipe };

// Runs tool with args in workDir, with LC_ALL=locale in its environment and
// its standard error on a pseudo-terminal in raw mode (so "\n" stays "\n").
TerminalResult runToolOnTerminal(const std::string& tool, const std::vector<std::string>& args,
                                 const std::filesystem::path& workDir, const std::string& locale,
                                 StandardOutputTo out);

#endif
