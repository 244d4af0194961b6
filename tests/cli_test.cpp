#include <gtest/gtest.h>

#include "testsupport/d88_fixture.h"
#include "tests/tool_under_test.h"

namespace {

// The Shift-JIS bytes, written out here rather than taken from the tool.
const std::string kOpenError =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";
const std::string kRecognised = " \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n";
const std::string kDiskA = "Disk A" + kRecognised;
const std::string kDiskB = "Disk B" + kRecognised;

// An image holding only the signature sector, starting with firstByte.
Bytes signatureOnly(uint8_t firstByte)
{
    D88ImageBuilder image;
    Bytes data(256, 0x55);
    data[0] = firstByte;
    SectorRecord sector;
    sector.c = 1;
    sector.h = 0;
    sector.r = 1;
    sector.n = 1;
    sector.data = data;
    image.addSector(2, sector);
    return image.build();
}

class CommandLineTest : public ::testing::Test {
protected:
    ToolResult run(const std::vector<std::string>& args) { return runD88Cut(args, scratch.path()); }

    ToolResult runOn(const Bytes& bytes)
    {
        EXPECT_TRUE(writeBytes(scratch.file("input.d88"), bytes));
        return run({"input.d88"});
    }

    ScratchDirectory scratch;
};

TEST_F(CommandLineTest, WrongArgumentCountPrintsUsage)
{
    const std::vector<std::string> cases[] = {
        {}, {"a.d88", "b.d88"}, {"-d"}, {"-d", "out"}, {"a.d88", "-d"}, {"--directory=out", "a.d88", "b.d88"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ToolResult result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, lines("Usage: " + programNameSeen(D88CUT_TOOL) + " [d88file]\n"));
    }
}

TEST_F(CommandLineTest, UnopenablePathsGetTheOpenError)
{
    // The fixed message first, then one line that names the file and why.
    std::filesystem::create_directory(scratch.path() / "folder.d88");
    struct Case {
        std::string path;
        std::string cause;
    };
    const Case cases[] = {
        {"missing.d88", "d88cut: \"missing.d88\": no such file\n"},
        {"folder.d88", "d88cut: \"folder.d88\": is a directory\n"},
        {"", "d88cut: \"\": no such file\n"},
        {"bad\x1B[31m.d88", "d88cut: \"bad\\x1B[31m.d88\": no such file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const ToolResult result = run({c.path});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, lines(kOpenError + c.cause));
    }
}

TEST_F(CommandLineTest, AFifoGetsTheOpenErrorAtOnce)
{
    if (toolsAreEmulated()) {
        GTEST_SKIP() << "a POSIX named pipe means nothing to the emulated program";
    }
    // No process ever writes to the FIFO: a tool that opened it for reading
    // the ordinary way would wait for a writer for ever.
    const ToolResult result = runTool(D88CUT_TOOL, {"pipe.d88"}, scratch.path(), "mkfifo pipe.d88 && timeout 20");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, std::string(kOpenError) + "d88cut: \"pipe.d88\": not a regular file\n");
}

TEST_F(CommandLineTest, EmptyFilePrintsNothing)
{
    const ToolResult result = runOn({});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST_F(CommandLineTest, ImagesThatAreNeitherDiskPassSilently)
{
    D88ImageBuilder noSignatureSector;
    noSignatureSector.addStandardTrack(3, 1);
    const ToolResult result = runOn(concatenate({signatureOnly(0x00), noSignatureSector.build(), signatureOnly(0xC2)}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

}  // namespace
