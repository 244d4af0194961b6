// End to end: runs sharing a directory, the output directory option, and
// what both tools say about the paths and limits they meet.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "testsupport/d88_fixture.h"
#include "tests/expected_catalogue.h"
#include "tests/tool_under_test.h"

namespace fs = std::filesystem;

namespace {


D88ImageBuilder diskA(uint8_t tag)
{
    return standardDisk(tag, 0xC3, "DISK A");
}

// The bytes of a whole run on an intact standard disk.
Bytes runBytes(const D88ImageBuilder& disk, int track, int r, int length)
{
    Bytes bytes;
    while (static_cast<int>(bytes.size()) < length) {
        const Bytes* data = disk.sectorData(track, r);
        bytes.insert(bytes.end(), data->begin(), data->end());
        if (++r > 16) {
            r = 1;
            ++track;
        }
    }
    bytes.resize(static_cast<size_t>(length));
    return bytes;
}

std::string cuttingLines()
{
    std::string text;
    for (const ExpectedFile& file : kDiskAFiles) {
        text += std::string("cutting ... ") + file.name + "\n";
    }
    return text;
}

std::vector<std::string> namesIn(const fs::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string slurp(const fs::path& path)
{
    Bytes bytes;
    return readBytes(path.string(), bytes) ? std::string(bytes.begin(), bytes.end()) : std::string();
}

class SafeOutputTest : public ::testing::Test {
protected:
    ScratchDirectory scratch;
};

TEST_F(SafeOutputTest, ConcurrentRunsInOneDirectoryAllSucceedWithWholeFiles)
{
    // Two loops of runs on two different files of Disk A images in one
    // directory: each run's cleanup meets the other's live temporaries, and
    // their renames cross. Several disks a file keep the runs overlapping.
    const int runs = toolsAreEmulated() ? 6 : 40;
    const D88ImageBuilder first = diskA('x');
    const D88ImageBuilder second = diskA('y');
    ASSERT_TRUE(writeBytes(scratch.file("x.d88"), concatenate(std::vector<Bytes>(4, first.build()))));
    ASSERT_TRUE(writeBytes(scratch.file("y.d88"), concatenate(std::vector<Bytes>(4, second.build()))));
    std::string script = "cd '" + scratch.path().string() + "' || exit 1\n";
    for (const char* image : {"x", "y"}) {
        script += std::string("{ i=0; while [ $i -lt ") + std::to_string(runs) + " ]; do i=$((i+1)); " +
                  D88CUT_TOOL_EMULATOR + " '" + D88CUT_TOOL + "' " + image + ".d88 >/dev/null 2>>err-" + image +
                  " || echo \"run $i: $?\" >>failed-" + image + "; done; } & ";
    }
    script += "wait\n";
    ASSERT_TRUE(writeBytes(scratch.file("runs.sh"), Bytes(script.begin(), script.end())));
    ASSERT_EQ(std::system(("sh '" + scratch.file("runs.sh") + "'").c_str()), 0) << script;
    for (const char* image : {"x", "y"}) {
        EXPECT_EQ(slurp(scratch.path() / (std::string("failed-") + image)), "") << image;
        EXPECT_EQ(slurp(scratch.path() / (std::string("err-") + image)), "") << image;
    }
    for (const ExpectedFile& file : kDiskAFiles) {
        SCOPED_TRACE(file.name);
        Bytes bytes;
        ASSERT_TRUE(readBytes(scratch.file(file.name), bytes));
        EXPECT_TRUE(bytes == runBytes(first, file.track, file.sector, file.length) ||
                    bytes == runBytes(second, file.track, file.sector, file.length));
    }
    for (const std::string& name : namesIn(scratch.path())) {
        EXPECT_EQ(name.find(".d88cut-"), std::string::npos) << "temporary left: " << name;
    }
}

TEST_F(SafeOutputTest, DirectoryOptionWritesThereAndOnlyThere)
{
    const D88ImageBuilder disk = diskA('d');
    ASSERT_TRUE(writeBytes(scratch.file("input.d88"), disk.build()));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-d", "out", "input.d88"},
                                                  std::vector<std::string>{"input.d88", "--directory=out"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        fs::remove_all(scratch.path() / "out");
        fs::create_directory(scratch.path() / "out");
        const ToolResult result = runD88Cut(args, scratch.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines()));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(namesIn(scratch.path()), (std::vector<std::string>{"input.d88", "out"}));
        EXPECT_EQ(namesIn(scratch.path() / "out").size(), std::size(kDiskAFiles));
        for (const ExpectedFile& file : kDiskAFiles) {
            Bytes bytes;
            ASSERT_TRUE(readBytes((scratch.path() / "out" / file.name).string(), bytes)) << file.name;
            EXPECT_EQ(bytes, runBytes(disk, file.track, file.sector, file.length)) << file.name;
        }
    }
}

TEST_F(SafeOutputTest, DirectoryThatCannotBeWrittenIntoGetsOneErrorBeforeAnyCut)
{
    ASSERT_TRUE(writeBytes(scratch.file("input.d88"), diskA('e').build()));
    ASSERT_TRUE(writeBytes(scratch.file("plain-file"), Bytes(1, 0)));
    fs::create_directory(scratch.path() / "read-only");
    fs::permissions(scratch.path() / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
    struct Case {
        std::string directory;
        std::string quoted;
        bool onlyWithoutRoot;
    };
    const Case cases[] = {
        {"missing", "\"missing\"", false},
        {"plain-file", "\"plain-file\"", false},
        {"no\x1b[2Jsuch", "\"no\\x1B[2Jsuch\"", false},
        // Windows and root ignore a POSIX directory's missing write permission.
        {"read-only", "\"read-only\"", true},
    };
    const bool permissionsHold = geteuid() != 0 && !toolsAreEmulated();
    for (const Case& c : cases) {
        if (c.onlyWithoutRoot && !permissionsHold) {
            std::cout << "[          ] skipped " << c.directory << ": permissions do not bind root or Windows\n";
            continue;
        }
        SCOPED_TRACE(c.directory);
        const ToolResult result = runD88Cut({"-d", c.directory, "input.d88"}, scratch.path());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        const std::string prefix = "d88cut: cannot write into " + c.quoted + ": ";
        EXPECT_EQ(result.err.substr(0, prefix.size()), prefix) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_TRUE(namesIn(scratch.path() / "read-only").empty());
}

TEST_F(SafeOutputTest, ImageInTheOutputDirectoryNamedLikeAnOutputIsNeverOverwritten)
{
    const D88ImageBuilder disk = diskA('m');
    const Bytes image = disk.build();
    fs::create_directory(scratch.path() / "disks");
    ASSERT_TRUE(writeBytes(scratch.file("disks/MUSDRV"), image));
    // The same folder spelled differently in the image's path and in -d.
    const std::vector<std::string> cases[] = {
        {"-d", "disks", "disks/MUSDRV"},
        {"--directory=./disks/", "disks/../disks/MUSDRV"},
    };
    for (const std::vector<std::string>& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ToolResult result = runD88Cut(args, scratch.path());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines()));
        EXPECT_EQ(result.err, lines("d88cut: MUSDRV is the disk image being read; not overwritten\n"));
        Bytes bytes;
        ASSERT_TRUE(readBytes(scratch.file("disks/MUSDRV"), bytes));
        EXPECT_EQ(bytes, image);
        ASSERT_TRUE(readBytes(scratch.file("disks/PCMDRV"), bytes));
        EXPECT_EQ(bytes, runBytes(disk, 18, 1, 4096));
    }
}

TEST_F(SafeOutputTest, InfoReportsAFileSizeLimitInsteadOfDying)
{
    if (toolsAreEmulated()) {
        GTEST_SKIP() << "a file-size limit is a POSIX limit of the emulator process, which it ends with SIGXFSZ; "
                        "Windows has no such limit";
    }
    ASSERT_TRUE(writeBytes(scratch.file("input.d88"), diskA('i').build()));
    // One block is at most 1 KiB; the report is several.
    const ToolResult result = runTool(D88INFO_TOOL, {"input.d88"}, scratch.path(), "ulimit -f 1 &&");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "d88info: cannot write to standard output\n");
}

TEST_F(SafeOutputTest, InfoEscapesThePathItCannotOpen)
{
    const ToolResult result = runD88Info({"\x1b]2;title\x07missing.d88"}, scratch.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, lines("d88info: cannot open or read \"\\x1B]2;title\\x07missing.d88\"\n"));
}

}  // namespace
