// Arbitrary bytes as the input of a whole run of the tool, in a scratch
// directory that is the working directory while the tool runs. After each
// run: every catalogue file that is there has its catalogue length or the
// content planted before the run, no temporary file is left, nothing else
// appeared, and the input, with the links to it that are named like outputs,
// is as it was.
//
// The tool writes to standard output and error: run with -close_fd_mask=2
// (standard output goes to the null device here, so that the exit status
// stays meaningful). A broken promise aborts; running this program on the
// saved input alone prints which one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "d88cut/cut.h"
#include "testsupport/d88_fixture.h"
#include "testsupport/tool_runner.h"

namespace fs = std::filesystem;

namespace {

const Bytes kPlanted = {'o', 'l', 'd'};
const char* const kPlantedNames[] = {"MUS100", "ADPCM106", "MUS200", "ADPCM200"};

// How the input is named, chosen by the input's length so that every shape
// of input meets every naming: a plain name, a name the tool writes (Disk A's
// first file, Disk B's last), or a plain name reached also through a hard
// link and a symbolic link that carry output names.
enum class Naming { Plain, DiskAOutput, DiskBOutput, Linked, Count };

struct Layout {
    std::string input;
    std::string hardLink;
    std::string symbolicLink;
};

Layout layoutFor(Naming naming)
{
    switch (naming) {
    case Naming::DiskAOutput:
        return {"MUSDRV", "", ""};
    case Naming::DiskBOutput:
        return {"ADPCM200", "", ""};
    case Naming::Linked:
        return {"input.d88", "MUS105", "PCMDRV"};
    default:
        return {"input.d88", "", ""};
    }
}

// Made on first use, in LLVMFuzzerInitialize, and removed with everything in
// it when the process exits normally.
ScratchDirectory& scratch()
{
    static ScratchDirectory directory;
    return directory;
}

std::map<std::string, int32_t> catalogueLengths;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "run_fuzzer: %s\n", what.c_str());
    std::abort();
}

void clearScratch()
{
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch().path(), error)) {
        fs::remove_all(entry.path(), error);
    }
    if (error || !fs::is_empty(scratch().path(), error)) {
        fail("cannot empty the scratch directory: " + error.message());
    }
}

void checkAfterRun(const Layout& layout, const Bytes& input)
{
    Bytes bytes;
    if (!readBytes(scratch().file(layout.input), bytes) || bytes != input) {
        fail("the input " + layout.input + " changed");
    }
    std::error_code error;
    if (!layout.hardLink.empty() && !fs::equivalent(scratch().file(layout.hardLink), scratch().file(layout.input), error)) {
        fail("the hard link " + layout.hardLink + " to the input was replaced");
    }
    if (!layout.symbolicLink.empty() && !fs::is_symlink(fs::symlink_status(scratch().file(layout.symbolicLink), error))) {
        fail("the symbolic link " + layout.symbolicLink + " to the input was replaced");
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch().path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name == layout.input || name == layout.hardLink || name == layout.symbolicLink) {
            continue;
        }
        if (name.find(".d88cut-") != std::string::npos) {
            fail("temporary file left behind: " + name);
        }
        const auto known = catalogueLengths.find(name);
        if (known == catalogueLengths.end()) {
            fail("a file that is not in the catalogue appeared: " + name);
        }
        if (!fs::is_regular_file(entry.symlink_status(error))) {
            fail(name + " is not a regular file");
        }
        if (!readBytes(entry.path().string(), bytes)) {
            fail("cannot read " + name);
        }
        if (static_cast<int64_t>(bytes.size()) != known->second && bytes != kPlanted) {
            fail(name + " has " + std::to_string(bytes.size()) + " bytes, not " + std::to_string(known->second));
        }
    }
    if (error) {
        fail("cannot list the scratch directory: " + error.message());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    scratch();
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        fail("cannot send standard output to the null device");
    }
    for (int32_t k = 0; k < kDiskKindCount; ++k) {
        for (int32_t f = 0; f < kDiskKinds[k].fileCount; ++f) {
            catalogueLengths[kDiskKinds[k].files[f].name] = kDiskKinds[k].files[f].length;
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto naming = static_cast<Naming>(size % static_cast<size_t>(Naming::Count));
    const Layout layout = layoutFor(naming);
    const Bytes input(data, data + size);
    clearScratch();
    for (const char* name : kPlantedNames) {
        if (name != layout.input && !writeBytes(scratch().file(name), kPlanted)) {
            fail(std::string("cannot plant ") + name);
        }
    }
    if (!writeBytes(scratch().file(layout.input), input)) {
        fail("cannot write the input");
    }
    std::error_code error;
    if (!layout.hardLink.empty()) {
        fs::create_hard_link(scratch().file(layout.input), scratch().file(layout.hardLink), error);
    }
    if (!error && !layout.symbolicLink.empty()) {
        fs::create_symlink(layout.input, scratch().file(layout.symbolicLink), error);
    }
    if (error) {
        fail("cannot link the input: " + error.message());
    }

    // The working directory is the scratch one only while the tool runs:
    // libFuzzer reads its corpus and writes what it finds relative to the
    // directory it was started in.
    const fs::path startedIn = fs::current_path(error);
    fs::current_path(scratch().path(), error);
    if (error) {
        fail("cannot enter the scratch directory: " + error.message());
    }
    std::string program = "d88cut";
    std::string argument = layout.input;
    char* argv[] = {program.data(), argument.data(), nullptr};
    const int status = runD88Cut(2, argv);
    fs::current_path(startedIn, error);
    if (error) {
        fail("cannot return to the starting directory: " + error.message());
    }

    if (status != 0 && status != 1) {
        fail("exit status " + std::to_string(status));
    }
    // Nothing stands in the way of any output when the input has a name of
    // its own, so no failure may be reported.
    if (naming == Naming::Plain && status != 0) {
        fail("a run with nothing in the way of its outputs reported a failure");
    }
    checkAfterRun(layout, input);
    return 0;
}
