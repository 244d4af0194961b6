#include <gtest/gtest.h>

#include "testsupport/d88_fixture.h"
#include "testsupport/terminal_runner.h"
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

const std::string kNoDiskNotice =
    "d88cut: \"input.d88\": no Disk A or Disk B found (d88info \"input.d88\" shows why)\n";

TEST_F(CommandLineTest, EmptyFileGetsTheNoDiskNotice)
{
    const ToolResult result = runOn({});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, lines(kNoDiskNotice));
}

TEST_F(CommandLineTest, ImagesThatAreNeitherDiskGetOneNoticeAndNoOutput)
{
    D88ImageBuilder noSignatureSector;
    noSignatureSector.addStandardTrack(3, 1);
    const ToolResult result = runOn(concatenate({signatureOnly(0x00), noSignatureSector.build(), signatureOnly(0xC2)}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, lines(kNoDiskNotice));
}

TEST_F(CommandLineTest, ARecognisedDiskAmongOthersGetsNoNotice)
{
    const ToolResult result = runOn(concatenate({signatureOnly(0x00), signatureOnly(0x08)}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.find(lines(kDiskB)), 0u);
    EXPECT_EQ(result.err.find("no Disk A or Disk B"), std::string::npos) << result.err;
}

TEST_F(CommandLineTest, TheNoticeEscapesThePathLikeD88Info)
{
    struct Case {
        std::string name;
        std::string shown;
    };
    std::vector<Case> cases = {{"two words.d88", "\"two words.d88\""}};
    if (!toolsAreEmulated()) {
        // Windows allows none of these characters in a name.
        cases.push_back({"say \"hi\" \\.d88", "\"say \\\"hi\\\" \\\\.d88\""});
        cases.push_back({"caf\xC3\xA9\t.d88", "\"caf\\xC3\\xA9\\x09.d88\""});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        ASSERT_TRUE(writeBytes(scratch.file(c.name), signatureOnly(0x00)));
        const ToolResult result = run({c.name});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err,
                  lines("d88cut: " + c.shown + ": no Disk A or Disk B found (d88info " + c.shown + " shows why)\n"));
        EXPECT_EQ(runD88Info({c.name}, scratch.path()).out.find(c.shown + ": 1 image"), 0u);
    }
}

TEST_F(CommandLineTest, HelpAndVersionGoToStandardOutput)
{
    struct Case {
        std::vector<std::string> args;
        bool help;
    };
    const Case cases[] = {
        {{"--help"}, true},
        {{"input.d88", "--help"}, true},
        {{"--version"}, false},
        {{"--version", "--help"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ToolResult result = run(c.args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        if (c.help) {
            EXPECT_EQ(result.out.find(lines("Usage: " + programNameSeen(D88CUT_TOOL) + " [d88file]\n")), 0u);
            EXPECT_NE(result.out.find("--version"), std::string::npos);
        } else {
            EXPECT_EQ(result.out, lines("d88cut " D88CUT_PROJECT_VERSION "\n"));
        }
    }
}

TEST_F(CommandLineTest, OptionsEndAtDoubleDashAndUnknownOnesGetTheUsage)
{
    ASSERT_TRUE(writeBytes(scratch.file("-x.d88"), signatureOnly(0x08)));
    ASSERT_TRUE(writeBytes(scratch.file("--help"), signatureOnly(0x08)));
    for (const auto& args : {std::vector<std::string>{"--", "-x.d88"}, std::vector<std::string>{"./-x.d88"},
                             std::vector<std::string>{"--", "--help"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ToolResult result = run(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out.find(lines(kDiskB)), 0u);
    }
    for (const auto& args : {std::vector<std::string>{"-x.d88"}, std::vector<std::string>{"-"},
                             std::vector<std::string>{"--"}, std::vector<std::string>{"--", "a", "b"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ToolResult result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, lines("Usage: " + programNameSeen(D88CUT_TOOL) + " [d88file]\n"));
    }
}

// What a user at a terminal sees: UTF-8 when the locale is UTF-8, the
// Shift-JIS bytes otherwise and on a pipe.
TEST_F(CommandLineTest, JapaneseReadsAsUtf8OnlyOnAUtf8Terminal)
{
    if (toolsAreEmulated()) {
        GTEST_SKIP() << "the emulated program writes to a Wine console, not to a POSIX pseudo-terminal";
    }
    ASSERT_TRUE(writeBytes(scratch.file("input.d88"), concatenate({signatureOnly(0xC3), signatureOnly(0x08)})));
    const std::string utf8Open = "ファイルをオープンできません.\n";
    const std::string utf8DiskA = "Disk A を認識しました.\n";
    const std::string utf8DiskB = "Disk B を認識しました.\n";
    struct Case {
        const char* locale;
        StandardOutputTo out;
        std::string terminal;
        std::string pipe;
    };
    // Every catalogue file's first sector is missing here, so stderr gets
    // one warning per file between the recognition lines; only the Japanese
    // lines are compared.
    const Case cases[] = {
        {"C.UTF-8", StandardOutputTo::Terminal, utf8DiskA + utf8DiskB, ""},
        {"C", StandardOutputTo::Terminal, kDiskA + kDiskB, ""},
        {"C.UTF-8", StandardOutputTo::Pipe, "", kDiskA + kDiskB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const TerminalResult result = runToolOnTerminal(D88CUT_TOOL, {"input.d88"}, scratch.path(), c.locale, c.out);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.status, 0);
        std::string japanese;
        for (const std::string& seen : {result.terminal, result.pipe}) {
            size_t start = 0;
            for (size_t end = seen.find('\n'); end != std::string::npos; start = end + 1, end = seen.find('\n', start)) {
                const std::string line = seen.substr(start, end + 1 - start);
                if (line.rfind("Disk ", 0) == 0) {
                    japanese += line;
                }
            }
        }
        EXPECT_EQ(japanese, c.terminal + c.pipe);
        EXPECT_EQ(result.pipe.find("warning"), std::string::npos);
    }
    for (const char* locale : {"C.UTF-8", "C"}) {
        SCOPED_TRACE(locale);
        const TerminalResult result =
            runToolOnTerminal(D88CUT_TOOL, {"missing.d88"}, scratch.path(), locale, StandardOutputTo::Terminal);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.terminal.find(std::string(locale) == "C" ? kOpenError : utf8Open), 0u) << result.terminal;
    }
}

}  // namespace
