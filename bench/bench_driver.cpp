// Times the tools against the floor program and cat on each input and prints
// one Markdown table. Runs alternate (every command once per round); each run starts in
// a fresh empty directory, and its peak memory comes from wait4. POSIX only:
// the benchmark runs where its numbers are quoted, not on every platform.
//
// Usage: bench_driver --bin DIR --floor PATH --scratch DIR [--rounds N] [--warmup N]
//          --input LABEL PATH GOAL CATROUNDS ...
// GOAL is the ratio tool/floor not to exceed; the memory goal applies to
// inputs whose GOAL is above kOrdinaryGoalLimit (the crafted shapes).
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double kOrdinaryGoalLimit = 1.5;
constexpr long kMemoryGoalKiB = 64 * 1024;
// A runaway run is stopped rather than allowed to take the shared machine.
constexpr rlim_t kAddressSpaceLimit = rlim_t{2} << 30;
constexpr rlim_t kCpuSecondsLimit = 60;

struct Command {
    std::string name;
    std::vector<std::string> argv;
};

struct Sample {
    double milliseconds;
    double cpuMilliseconds;  // user + system
    long peakKiB;
    bool failed;
};

struct Input {
    std::string label;
    std::string path;
    double goal;
    int catRounds;
};

Sample runOnce(const Command& command, const std::filesystem::path& scratch)
{
    std::filesystem::create_directories(scratch);
    char pattern[4096];
    std::snprintf(pattern, sizeof pattern, "%s/run-XXXXXX", scratch.c_str());
    if (mkdtemp(pattern) == nullptr) {
        std::perror("bench_driver: mkdtemp");
        std::exit(1);
    }
    const std::string directory = pattern;
    std::vector<char*> argv;
    for (const std::string& arg : command.argv) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || chdir(directory.c_str()) != 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) {
            _exit(126);
        }
        const rlimit memory{kAddressSpaceLimit, kAddressSpaceLimit};
        const rlimit cpu{kCpuSecondsLimit, kCpuSecondsLimit};
        setrlimit(RLIMIT_AS, &memory);
        setrlimit(RLIMIT_CPU, &cpu);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    const bool waited = child > 0 && wait4(child, &status, 0, &usage) == child;
    const auto end = std::chrono::steady_clock::now();
    std::filesystem::remove_all(directory);
    const auto cpu = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000 + t.tv_usec / 1000.0; };
    return Sample{std::chrono::duration<double, std::milli>(end - start).count(),
                  cpu(usage.ru_utime) + cpu(usage.ru_stime), usage.ru_maxrss,
                  !waited || !WIFEXITED(status) || WEXITSTATUS(status) >= 126 ||
                      (WEXITSTATUS(status) != 0 && command.name == "floor")};
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string humanSize(uintmax_t bytes)
{
    char text[32];
    if (bytes >= (uintmax_t{1} << 30)) {
        std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1 << 30));
    } else if (bytes >= (1 << 20)) {
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    } else {
        std::snprintf(text, sizeof text, "%.0f KiB", static_cast<double>(bytes) / (1 << 10));
    }
    return text;
}

void usage()
{
    std::fprintf(stderr, "Usage: bench_driver --bin DIR --floor PATH --scratch DIR [--rounds N] [--warmup N]\n"
                         "         --input LABEL PATH GOAL CATROUNDS ...\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char* argv[])
{
    std::filesystem::path bin;
    std::filesystem::path floorPath;
    std::filesystem::path scratch;
    int rounds = 15;
    int warmup = 2;
    std::vector<Input> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](int count) {
            if (i + count >= argc) {
                usage();
            }
        };
        if (arg == "--bin") {
            value(1);
            bin = std::filesystem::absolute(argv[++i]);
        } else if (arg == "--floor") {
            value(1);
            floorPath = std::filesystem::absolute(argv[++i]);
        } else if (arg == "--scratch") {
            value(1);
            scratch = std::filesystem::absolute(argv[++i]);
        } else if (arg == "--rounds") {
            value(1);
            rounds = std::atoi(argv[++i]);
        } else if (arg == "--warmup") {
            value(1);
            warmup = std::atoi(argv[++i]);
        } else if (arg == "--input") {
            value(4);
            inputs.push_back(Input{argv[i + 1], std::filesystem::absolute(argv[i + 2]).string(), std::atof(argv[i + 3]),
                                   std::atoi(argv[i + 4])});
            i += 4;
        } else {
            usage();
        }
    }
    if (bin.empty() || floorPath.empty() || scratch.empty() || inputs.empty() || rounds < 1) {
        usage();
    }

    std::printf("| input | size | tool | tool ms | floor ms | cat ms | tool/floor | goal | CPU ms tool / floor | peak RSS "
                "| memory goal |\n");
    std::printf("|---|---:|---|---:|---:|---:|---:|---|---:|---:|---|\n");
    for (const Input& input : inputs) {
        const std::string cutPath = (bin / "d88cut").string();
        const std::string infoPath = (bin / "d88info").string();
        const std::vector<Command> tools = {
            {"d88cut", {cutPath, input.path}},
            {"d88info", {infoPath, input.path}},
            {"d88info --json", {infoPath, "--json", input.path}},
        };
        const Command floorCommand{"floor", {floorPath.string(), input.path}};
        const Command catCommand{"cat", {"/bin/cat", input.path}};

        std::vector<std::vector<double>> toolTimes(tools.size());
        std::vector<std::vector<double>> toolCpu(tools.size());
        std::vector<long> toolPeak(tools.size(), 0);
        std::vector<bool> toolFailed(tools.size(), false);
        std::vector<double> floorTimes;
        std::vector<double> floorCpu;
        std::vector<double> catTimes;
        for (int round = -warmup; round < rounds; ++round) {
            // d88cut, floor, cat, then the two reports: the floor and cat
            // sit between the tools, so drift falls on all of them alike.
            const Sample cutSample = runOnce(tools[0], scratch);
            const Sample floorSample = runOnce(floorCommand, scratch);
            if (floorSample.failed) {
                std::fprintf(stderr, "bench_driver: the floor failed on %s\n", input.path.c_str());
                return 1;
            }
            // cat of a sparse file costs seconds, so some inputs have it fewer times.
            if (round >= 0 ? round < input.catRounds : input.catRounds >= rounds) {
                const Sample catSample = runOnce(catCommand, scratch);
                if (round >= 0) {
                    catTimes.push_back(catSample.milliseconds);
                }
            }
            std::vector<Sample> samples = {cutSample};
            for (size_t t = 1; t < tools.size(); ++t) {
                samples.push_back(runOnce(tools[t], scratch));
            }
            for (size_t t = 0; t < tools.size(); ++t) {
                toolPeak[t] = std::max(toolPeak[t], samples[t].peakKiB);
                toolFailed[t] = toolFailed[t] || samples[t].failed;
                if (round >= 0) {
                    toolTimes[t].push_back(samples[t].milliseconds);
                    toolCpu[t].push_back(samples[t].cpuMilliseconds);
                }
            }
            if (round >= 0) {
                floorTimes.push_back(floorSample.milliseconds);
                floorCpu.push_back(floorSample.cpuMilliseconds);
            }
        }
        const double floorMedian = median(floorTimes);
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(input.path, error);
        for (size_t t = 0; t < tools.size(); ++t) {
            const double toolMedian = median(toolTimes[t]);
            const double ratio = floorMedian > 0 ? toolMedian / floorMedian : 0;
            const bool crafted = input.goal > kOrdinaryGoalLimit;
            std::printf("| %s | %s | `%s` | %.2f | %.2f | %.2f | %.2f | %s ≤ %.2f%s | %.1f / %.1f | %.1f MiB | %s |\n",
                        input.label.c_str(), error ? "?" : humanSize(size).c_str(), tools[t].name.c_str(), toolMedian,
                        floorMedian, median(catTimes), ratio, ratio <= input.goal ? "met" : "MISSED", input.goal,
                        toolFailed[t] ? " (a run failed)" : "", median(toolCpu[t]), median(floorCpu),
                        static_cast<double>(toolPeak[t]) / 1024,
                        !crafted ? "—" : toolPeak[t] < kMemoryGoalKiB ? "met" : "MISSED");
            std::fflush(stdout);
        }
    }
    return 0;
}
