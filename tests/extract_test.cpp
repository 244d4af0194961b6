#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <vector>

#include "testsupport/d88_fixture.h"
#include "tests/expected_catalogue.h"
#include "tests/tool_under_test.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kDiskASignatureByte = 0xC3;
constexpr uint8_t kDiskBSignatureByte = 0x08;

// The bytes of length taken from the fixture's sectors, starting at track and
// sector r and going on through sectors 1 to 16 of the following tracks.
// Missing sectors contribute zeros.
Bytes runBytes(const D88ImageBuilder& disk, int track, int r, int length)
{
    Bytes bytes;
    while (static_cast<int>(bytes.size()) < length) {
        const Bytes* data = disk.sectorData(track, r);
        const Bytes sector = data != nullptr ? *data : Bytes(256, 0);
        bytes.insert(bytes.end(), sector.begin(), sector.end());
        if (++r > 16) {
            r = 1;
            ++track;
        }
    }
    bytes.resize(static_cast<size_t>(length));
    return bytes;
}

template <size_t N>
std::string cuttingLines(const ExpectedFile (&files)[N], const std::string& skipped = "")
{
    std::string lines;
    for (const ExpectedFile& file : files) {
        if (file.name != skipped) {
            lines += std::string("cutting ... ") + file.name + "\n";
        }
    }
    return lines;
}

bool isTemporaryName(const std::string& name)
{
    return name.find(".d88cut-") != std::string::npos;
}

class ExtractTest : public ::testing::Test {
protected:
    ToolResult runOn(const Bytes& bytes, const std::string& shellPrefix = "")
    {
        EXPECT_TRUE(writeBytes(scratch.file("input.d88"), bytes));
        return runD88Cut({"input.d88"}, scratch.path(), shellPrefix);
    }

    Bytes output(const std::string& name) const
    {
        Bytes bytes;
        EXPECT_TRUE(readBytes(scratch.file(name), bytes)) << name;
        return bytes;
    }

    template <size_t N>
    void expectFiles(const D88ImageBuilder& disk, const ExpectedFile (&files)[N], const std::string& skipped = "")
    {
        for (const ExpectedFile& file : files) {
            SCOPED_TRACE(file.name);
            if (file.name == skipped) {
                EXPECT_FALSE(fs::is_regular_file(scratch.path() / file.name));
                continue;
            }
            EXPECT_EQ(output(file.name), runBytes(disk, file.track, file.sector, file.length));
        }
    }

    // A clean run on one intact disk: the recognition line, every file
    // announced in order, nothing on standard error, every file exact.
    template <size_t N>
    void expectCleanRun(const D88ImageBuilder& disk, const std::string& diskLabel, const ExpectedFile (&files)[N])
    {
        const ToolResult result = runOn(disk.build());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, lines(diskLabel + kRecognised + cuttingLines(files)));
        EXPECT_EQ(result.err, "");
        expectFiles(disk, files);
        expectNoTemporaryFiles();
    }

    void expectNoTemporaryFiles() const { expectNoTemporaryFilesIn(scratch.path()); }

    static void expectNoTemporaryFilesIn(const fs::path& directory)
    {
        for (const auto& entry : fs::directory_iterator(directory)) {
            EXPECT_FALSE(isTemporaryName(entry.path().filename().string())) << entry.path();
        }
    }

    ScratchDirectory scratch;
};

D88ImageBuilder diskA(uint8_t tag = 'A')
{
    return standardDisk(tag, kDiskASignatureByte, "DISK A");
}

D88ImageBuilder diskB(uint8_t tag = 'B')
{
    return standardDisk(tag, kDiskBSignatureByte, "DISK B");
}

TEST_F(ExtractTest, CompleteDiskAYieldsItsNineteenFilesInOrder)
{
    expectCleanRun(diskA(), "Disk A", kDiskAFiles);
    // ADPCM100 ends with the sector ADPCM101 starts with.
    const Bytes first = output("ADPCM100");
    const Bytes second = output("ADPCM101");
    EXPECT_TRUE(std::equal(first.end() - 256, first.end(), second.begin()));
}

TEST_F(ExtractTest, CompleteDiskBYieldsItsTwoFiles)
{
    expectCleanRun(diskB(), "Disk B", kDiskBFiles);
    EXPECT_EQ(output("ADPCM200")[0], kDiskBSignatureByte);
}

TEST_F(ExtractTest, DisksAreHandledInFileOrderAndOthersPassSilently)
{
    const D88ImageBuilder first = diskA();
    const D88ImageBuilder other = standardDisk('O', 0x01, "OTHER");
    const D88ImageBuilder second = diskB();
    const ToolResult result = runOn(concatenate({first.build(), other.build(), second.build()}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines(kDiskAFiles) + "Disk B" + kRecognised +
                              cuttingLines(kDiskBFiles)));
    EXPECT_EQ(result.err, "");
    expectFiles(first, kDiskAFiles);
    expectFiles(second, kDiskBFiles);
}

TEST_F(ExtractTest, SameDiskTwiceLeavesTheSecondOnesFiles)
{
    const D88ImageBuilder first = diskA('1');
    D88ImageBuilder noSignature = diskA('X');
    noSignature.removeSector(2, 1);
    const D88ImageBuilder second = diskA('2');
    const ToolResult result = runOn(concatenate({first.build(), noSignature.build(), second.build()}));
    EXPECT_EQ(result.status, 0);
    const std::string once = "Disk A" + kRecognised + cuttingLines(kDiskAFiles);
    EXPECT_EQ(result.out, lines(once + once));
    expectFiles(second, kDiskAFiles);
}

TEST_F(ExtractTest, MissingTrackSkipsItsEntryWithAWarning)
{
    D88ImageBuilder disk = diskA();
    disk.removeTrack(74);
    const ToolResult result = runOn(disk.build());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines(kDiskAFiles, "ADPCM106")));
    EXPECT_NE(result.err.find("ADPCM106: its first sector cannot be read; not written"), std::string::npos) << result.err;
    expectFiles(disk, kDiskAFiles, "ADPCM106");
}

TEST_F(ExtractTest, MissingSectorInARunLeavesZerosNotStaleBytes)
{
    D88ImageBuilder disk = diskA();
    disk.removeSector(63, 5);
    const ToolResult result = runOn(disk.build());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines(kDiskAFiles, "ADPCM101")));
    EXPECT_NE(result.err.find("ADPCM100: read 5120 of 5376 bytes"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("ADPCM101: its first sector cannot be read; not written"), std::string::npos) << result.err;
    const Bytes adpcm100 = output("ADPCM100");
    ASSERT_EQ(adpcm100.size(), 5376u);
    EXPECT_TRUE(std::all_of(adpcm100.end() - 256, adpcm100.end(), [](uint8_t b) { return b == 0; }));
    expectFiles(disk, kDiskAFiles, "ADPCM101");
}

TEST_F(ExtractTest, ShortFileDoesNotDependOnWhatWasCutBefore)
{
    // MUS106 follows files that filled the buffer; a short third sector must
    // not let their bytes through in its place or after it.
    D88ImageBuilder disk = diskA();
    disk.setSectorData(56, 13, Bytes(10, 0x99));
    const ToolResult result = runOn(disk.build());
    EXPECT_EQ(result.status, 0);
    Bytes expected = runBytes(disk, 56, 11, 512);
    expected.resize(1280, 0);
    EXPECT_EQ(output("MUS106"), expected);
    EXPECT_NE(result.err.find("MUS106: read 512 of 1280 bytes"), std::string::npos) << result.err;
}

TEST_F(ExtractTest, RunCutOffByTheFileEndIsZeroFilled)
{
    const D88ImageBuilder disk = diskB();
    Bytes bytes = disk.build();
    // Keep the header and tracks 0 to 3 whole, and 100 bytes of track 4.
    bytes.resize(688 + 4 * 16 * (16 + 256) + 100);
    const ToolResult result = runOn(bytes);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, lines("Disk B" + kRecognised + "cutting ... ADPCM200\n"));
    EXPECT_NE(result.err.find("MUS200"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("ADPCM200: read 8192 of 14592 bytes"), std::string::npos) << result.err;
    Bytes expected = runBytes(disk, 2, 1, 8192);
    expected.resize(14592, 0);
    EXPECT_EQ(output("ADPCM200"), expected);
}

TEST_F(ExtractTest, ReplacesFilesAndLinksWithoutWritingThroughThem)
{
    ASSERT_TRUE(writeBytes(scratch.file("MUS200"), Bytes(5000, 1)));
    ASSERT_TRUE(writeBytes(scratch.file("elsewhere"), Bytes(3, 7)));
    fs::create_symlink("elsewhere", scratch.path() / "ADPCM200");
    const D88ImageBuilder disk = diskB();
    const ToolResult result = runOn(disk.build());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    expectFiles(disk, kDiskBFiles);
    EXPECT_FALSE(fs::is_symlink(scratch.path() / "ADPCM200"));
    EXPECT_EQ(output("elsewhere"), Bytes(3, 7));
    expectNoTemporaryFiles();
}

TEST_F(ExtractTest, DirectoryInTheWayFailsThatFileOnly)
{
    fs::create_directory(scratch.path() / "MUSDRV");
    const D88ImageBuilder disk = diskA();
    const ToolResult result = runOn(disk.build());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines(kDiskAFiles)));
    EXPECT_NE(result.err.find("cannot write MUSDRV"), std::string::npos) << result.err;
    EXPECT_TRUE(fs::is_directory(scratch.path() / "MUSDRV"));
    expectFiles(disk, kDiskAFiles, "MUSDRV");
    expectNoTemporaryFiles();
}

TEST_F(ExtractTest, FileSizeLimitFailsTheWriteAndKeepsTheOldFile)
{
    if (toolsAreEmulated()) {
        GTEST_SKIP() << "a file-size limit is a POSIX limit of the emulator process, which it ends with SIGXFSZ; "
                        "Windows has no such limit";
    }
    ASSERT_TRUE(writeBytes(scratch.file("ADPCM106"), Bytes(10, 0x42)));
    const D88ImageBuilder disk = diskA();
    // 16 blocks is 8 KiB or 16 KiB depending on the shell: MUSDRV fits,
    // ADPCM106 (19712 bytes) does not.
    const ToolResult result = runOn(disk.build(), "ulimit -f 16 &&");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines(kDiskAFiles)));
    EXPECT_NE(result.err.find("cannot write ADPCM106"), std::string::npos) << result.err;
    EXPECT_EQ(output("ADPCM106"), Bytes(10, 0x42));
    EXPECT_EQ(output("MUSDRV"), runBytes(disk, 1, 2, 3840));
    expectNoTemporaryFiles();
}

TEST_F(ExtractTest, InputNamedLikeAnOutputIsNeverOverwritten)
{
    const D88ImageBuilder disk = diskA();
    const Bytes image = disk.build();
    ASSERT_TRUE(writeBytes(scratch.file("MUSDRV"), image));
    fs::create_hard_link(scratch.path() / "MUSDRV", scratch.path() / "PCMDRV");
    fs::create_symlink("MUSDRV", scratch.path() / "MUS100");
    const ToolResult result = runD88Cut({"MUSDRV"}, scratch.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, lines("Disk A" + kRecognised + cuttingLines(kDiskAFiles)));
    for (const char* name : {"MUSDRV", "PCMDRV", "MUS100"}) {
        EXPECT_NE(result.err.find(std::string(name) + " is the disk image being read"), std::string::npos)
            << result.err;
    }
    EXPECT_EQ(output("MUSDRV"), image);
    EXPECT_EQ(output("MUS101"), runBytes(disk, 56, 3, 512));
    expectNoTemporaryFiles();
}

// Content that marks a file as left from before the run.
Bytes oldContent(const std::string& name)
{
    Bytes bytes(name.begin(), name.end());
    bytes.insert(bytes.end(), {'-', 'o', 'l', 'd'});
    return bytes;
}

TEST_F(ExtractTest, FullFilesystemFailsWritesPartWayAndKeepsTheOldFiles)
{
    if (toolsAreEmulated()) {
        GTEST_SKIP() << "the emulator needs room of its own on the small filesystem";
    }
    // A tmpfs of its own in a private mount namespace, so nothing stays
    // mounted whatever becomes of the test: each old file takes a page, and a
    // few pages more are free. Replacing a file needs room for both until the
    // rename, so the small files get through and larger ones run out of room
    // in the middle of their write.
    fs::create_directory(scratch.path() / "full");
    const std::string probe =
        "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs \"$0\"' '" + scratch.file("full") + "' >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace here";
    }
    const D88ImageBuilder disk = diskA();
    ASSERT_TRUE(writeBytes(scratch.file("input.d88"), disk.build()));
    fs::create_directory(scratch.path() / "old");
    fs::create_directory(scratch.path() / "after");
    for (const ExpectedFile& file : kDiskAFiles) {
        ASSERT_TRUE(writeBytes((scratch.path() / "old" / file.name).string(), oldContent(file.name)));
    }
    const std::string pages = std::to_string(std::size(kDiskAFiles) + 4);
    const std::string script = "cd '" + scratch.path().string() + "' && unshare -m sh -c '"
                               "size=$((" + pages + " * $(getconf PAGESIZE))); "
                               "mount -t tmpfs -o size=$size tmpfs full && "
                               "cp old/* full/ && cd full && { " D88CUT_TOOL " ../input.d88 >../out 2>../err; "
                               "echo $? >../status; } && cd .. && cp -a full/. after/'";
    ASSERT_EQ(std::system(script.c_str()), 0) << script;
    Bytes status;
    ASSERT_TRUE(readBytes(scratch.file("status"), status));
    EXPECT_EQ(std::string(status.begin(), status.end()), "1\n");
    Bytes out;
    Bytes err;
    ASSERT_TRUE(readBytes(scratch.file("out"), out));
    ASSERT_TRUE(readBytes(scratch.file("err"), err));
    EXPECT_EQ(std::string(out.begin(), out.end()), "Disk A" + kRecognised + cuttingLines(kDiskAFiles));
    const std::string errors(err.begin(), err.end());

    std::vector<std::string> kept;
    std::vector<std::string> replaced;
    for (const ExpectedFile& file : kDiskAFiles) {
        SCOPED_TRACE(file.name);
        Bytes bytes;
        ASSERT_TRUE(readBytes((scratch.path() / "after" / file.name).string(), bytes));
        const std::string failure = std::string("cannot write ") + file.name + ": " + std::strerror(ENOSPC);
        if (bytes == oldContent(file.name)) {
            kept.push_back(file.name);
            EXPECT_NE(errors.find(failure), std::string::npos) << errors;
        } else {
            replaced.push_back(file.name);
            EXPECT_EQ(bytes, runBytes(disk, file.track, file.sector, file.length));
            EXPECT_EQ(errors.find(std::string("cannot write ") + file.name + ":"), std::string::npos) << errors;
        }
    }
    EXPECT_FALSE(kept.empty()) << "the filesystem never ran full";
    EXPECT_FALSE(replaced.empty()) << "the filesystem had no room for anything";
    expectNoTemporaryFilesIn(scratch.path() / "after");
}

TEST_F(ExtractTest, OnlyDeadTemporariesOfThisUserAreRemoved)
{
    fs::create_directory(scratch.path() / "elsewhere");
    ASSERT_TRUE(writeBytes(scratch.file("elsewhere/target"), Bytes(3, 7)));
    enum class Kind { File, Locked, OtherUser, Link, Directory };
    struct Case {
        const char* name;
        Kind kind;
        bool removed;
        const char* why;
    };
    const Case cases[] = {
        {".MUSDRV.d88cut-0123456789abcdef.tmp", Kind::File, true, "left by a killed run"},
        {".ADPCM106.d88cut-ffffffffffffffff.tmp", Kind::File, true, "the last file of the disk"},
        {".MUS200.d88cut-0000000000000000.tmp", Kind::File, true, "a name of the other disk"},
        {".d88cut-00000000000000aa.tmp", Kind::File, true, "the probe of the output directory"},
        {".PCMDRV.d88cut-0123456789abcdef.tmp", Kind::Locked, false, "held locked by a live process"},
        {".MUS100.d88cut-0123456789abcdef.tmp", Kind::OtherUser, false, "another user's"},
        {".MUS101.d88cut-0123456789abcdef.tmp", Kind::Link, false, "a symbolic link"},
        {".MUS102.d88cut-0123456789abcdef.tmp", Kind::Directory, false, "a directory"},
        {".MUSDRV.d88cut-0.tmp", Kind::File, false, "an older version's, which held no lock"},
        {".MUSDRV.d88cut-0123456789ABCDEF.tmp", Kind::File, false, "not our digits"},
        {".MUSDRV.d88cut-0123456789abcdef.tmp.keep", Kind::File, false, "more after the pattern"},
        {"MUSDRV.d88cut-0123456789abcdef.tmp", Kind::File, false, "not hidden"},
        {".input.d88.d88cut-0123456789abcdef.tmp", Kind::File, false, "not a catalogue name"},
    };
    // Windows has no lock a live run holds for all its temporary's life, so
    // the tool removes nothing there; and Wine resolves a Unix symbolic link
    // before it acts on the name, so under Wine the link case is left out.
    const bool asRoot = geteuid() == 0;
    std::vector<Case> applicable;
    for (const Case& c : cases) {
        if ((c.kind != Kind::Link || !toolsRunUnderWine()) && (c.kind != Kind::OtherUser || asRoot)) {
            applicable.push_back(c);
        }
    }
    int locked = -1;
    for (const Case& c : applicable) {
        const fs::path path = scratch.path() / c.name;
        if (c.kind == Kind::Link) {
            fs::create_symlink("elsewhere/target", path);
        } else if (c.kind == Kind::Directory) {
            fs::create_directory(path);
        } else {
            ASSERT_TRUE(writeBytes(path.string(), Bytes(5, 1)));
        }
        if (c.kind == Kind::Locked) {
            locked = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_EQ(flock(locked, LOCK_EX | LOCK_NB), 0);
        } else if (c.kind == Kind::OtherUser) {
            ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0) << std::strerror(errno);
        }
    }
    const D88ImageBuilder disk = diskA();
    const ToolResult result = runOn(disk.build());
    close(locked);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    expectFiles(disk, kDiskAFiles);
    for (const Case& c : applicable) {
        SCOPED_TRACE(c.why);
        const bool removed = c.removed && !toolsAreEmulated();
        EXPECT_EQ(fs::exists(fs::symlink_status(scratch.path() / c.name)), !removed) << c.name;
    }
    EXPECT_EQ(output("elsewhere/target"), Bytes(3, 7));
}

TEST_F(ExtractTest, InputNamedLikeAStaleTemporaryIsNotRemoved)
{
    const char* const name = ".MUSDRV.d88cut-0123456789abcdef.tmp";
    const D88ImageBuilder disk = diskA();
    const Bytes image = disk.build();
    ASSERT_TRUE(writeBytes(scratch.file(name), image));
    const ToolResult result = runD88Cut({name}, scratch.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(output(name), image);
    expectFiles(disk, kDiskAFiles);
}

TEST_F(ExtractTest, KilledRunLeavesEachFileOldOrCompleteAndTheNextRunCleansUp)
{
    if (toolsAreEmulated()) {
        GTEST_SKIP() << "killing the emulator's launcher does not stop the emulated program at once";
    }
    // Several Disk A images with different content, so that a file is
    // complete when it matches any of them and torn when it matches none.
    std::vector<D88ImageBuilder> disks;
    std::vector<Bytes> images;
    for (uint8_t tag : {'p', 'q', 'r', 's'}) {
        disks.push_back(diskA(tag));
        images.push_back(disks.back().build());
    }
    const std::string input = scratch.file("input.d88");
    ASSERT_TRUE(writeBytes(input, concatenate(images)));

    const auto prepare = [&](const fs::path& directory) {
        fs::create_directory(directory);
        fs::create_hard_link(input, directory / "input.d88");
        for (const ExpectedFile& file : kDiskAFiles) {
            EXPECT_TRUE(writeBytes((directory / file.name).string(), oldContent(file.name)));
        }
    };
    const auto checkEachFileWhole = [&](const fs::path& directory, int& temporaries) {
        for (const auto& entry : fs::directory_iterator(directory)) {
            const std::string name = entry.path().filename().string();
            if (name == "input.d88") {
                continue;
            }
            if (isTemporaryName(name)) {
                ++temporaries;
                continue;
            }
            const auto file = std::find_if(std::begin(kDiskAFiles), std::end(kDiskAFiles),
                                           [&](const ExpectedFile& f) { return name == f.name; });
            ASSERT_NE(file, std::end(kDiskAFiles)) << "unexpected file " << name;
            Bytes bytes;
            ASSERT_TRUE(readBytes(entry.path().string(), bytes));
            bool whole = bytes == oldContent(name);
            for (const D88ImageBuilder& disk : disks) {
                whole = whole || bytes == runBytes(disk, file->track, file->sector, file->length);
            }
            EXPECT_TRUE(whole) << name << " is neither its old content nor complete new content";
        }
    };

    // How long a whole run takes here, to aim the kills across it.
    prepare(scratch.path() / "timing");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runD88Cut({"input.d88"}, scratch.path() / "timing").status, 0);
    const auto runTime =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);

    constexpr int kTrials = 12;
    int killed = 0;
    int temporaries = 0;
    fs::path last;
    for (int trial = 1; trial <= kTrials; ++trial) {
        last = scratch.path() / ("trial-" + std::to_string(trial));
        prepare(last);
        if (runToolKilledAfter(D88CUT_TOOL, {"input.d88"}, last, runTime * trial / (kTrials + 1))) {
            ++killed;
        }
        SCOPED_TRACE("trial " + std::to_string(trial));
        checkEachFileWhole(last, temporaries);
    }
    EXPECT_GT(killed, 0) << "every run finished before its kill";
    std::cout << "[          ] " << killed << " of " << kTrials << " runs killed, " << temporaries
              << " temporary files left behind\n";

    // The next run in the directory of the last kill finishes the job and
    // leaves no temporary file of the catalogue behind.
    const ToolResult result = runD88Cut({"input.d88"}, last);
    EXPECT_EQ(result.status, 0);
    for (const ExpectedFile& file : kDiskAFiles) {
        Bytes bytes;
        ASSERT_TRUE(readBytes((last / file.name).string(), bytes)) << file.name;
        EXPECT_EQ(bytes, runBytes(disks.back(), file.track, file.sector, file.length)) << file.name;
    }
    expectNoTemporaryFilesIn(last);
}

}  // namespace
