#include "testsupport/tool_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char ch : text) {
        if (ch == '\'') {
            quoted += "'\\''";
        } else {
            quoted += ch;
        }
    }
    return quoted + "'";
}

std::string slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ScratchDirectory::ScratchDirectory()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    do {
        root = base / ("d88cut-test-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(root));
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code error;
    std::filesystem::permissions(root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(root, error);
}

ToolResult runTool(const std::string& tool, const std::vector<std::string>& args,
                   const std::filesystem::path& workDir, const std::string& shellPrefix, const std::string& emulator)
{
    ScratchDirectory capture;
    const std::filesystem::path outPath = capture.path() / "stdout";
    const std::filesystem::path errPath = capture.path() / "stderr";
    std::string command = "cd " + shellQuote(workDir.string()) + " && " + shellPrefix + " " + emulator + " " + shellQuote(tool);
    for (const std::string& arg : args) {
        command += " " + shellQuote(arg);
    }
    command += " </dev/null >" + shellQuote(outPath.string()) + " 2>" + shellQuote(errPath.string());
    const int raw = std::system(("sh -c " + shellQuote(command)).c_str());
    ToolResult result;
    result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

ExecArguments::ExecArguments(const std::string& tool, const std::vector<std::string>& args) : words{tool}
{
    words.insert(words.end(), args.begin(), args.end());
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
}

bool runToolKilledAfter(const std::string& tool, const std::vector<std::string>& args,
                        const std::filesystem::path& workDir, std::chrono::microseconds delay)
{
    ExecArguments command(tool, args);
    const std::string directory = workDir.string();

    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execv(command.argv()[0], command.argv());
        _exit(127);
    }
    std::this_thread::sleep_for(delay);
    kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}
