#include "testsupport/terminal_runner.h"

#include "testsupport/tool_runner.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

// Reads fd until end of file or, for a terminal master, until the slave side
// is closed (EIO).
void drain(int fd, std::string& into)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, static_cast<size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

}  // namespace

TerminalResult runToolOnTerminal(const std::string& tool, const std::vector<std::string>& args,
                                 const std::filesystem::path& workDir, const std::string& locale,
                                 StandardOutputTo out)
{
    TerminalResult result;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        if (master >= 0) {
            close(master);
        }
        return result;
    }
    const char* slaveName = ptsname(master);
    int pipeEnds[2] = {-1, -1};
    if (slaveName == nullptr || pipe(pipeEnds) != 0) {
        close(master);
        return result;
    }
    const std::string slavePath = slaveName;
    ExecArguments command(tool, args);
    const std::string directory = workDir.string();
    std::vector<std::string> environment = {"LC_ALL=" + locale};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string(*entry).rfind("LC_ALL=", 0) != 0) {
            environment.push_back(*entry);
        }
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        setsid();
        const int slave = open(slavePath.c_str(), O_RDWR);
        const int null = open("/dev/null", O_RDONLY);
        if (slave < 0 || null < 0 || chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        termios mode;
        if (tcgetattr(slave, &mode) == 0) {
            cfmakeraw(&mode);
            tcsetattr(slave, TCSANOW, &mode);
        }
        dup2(null, 0);
        dup2(out == StandardOutputTo::Terminal ? slave : pipeEnds[1], 1);
        dup2(slave, 2);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        close(master);
        execve(command.argv()[0], command.argv(), envp.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    if (child < 0) {
        close(pipeEnds[0]);
        close(master);
        return result;
    }
    result.started = true;
    // The tools print a few hundred bytes, far less than a terminal buffers,
    // so reading the terminal after the pipe cannot stall the tool.
    drain(pipeEnds[0], result.pipe);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The slave is closed now; what the tool wrote is still in the master's buffer.
    drain(master, result.terminal);
    close(pipeEnds[0]);
    close(master);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
