#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>

#include "testsupport/d88_fixture.h"
#include "tests/tool_under_test.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage = "Usage: d88info [--json | --svg] FILE\n";

// What is in a directory: each name with its size, or -1 for a directory.
std::map<std::string, std::intmax_t> listing(const fs::path& directory)
{
    std::map<std::string, std::intmax_t> entries;
    for (const auto& entry : fs::directory_iterator(directory)) {
        entries[entry.path().filename().string()] =
            entry.is_regular_file() ? static_cast<std::intmax_t>(entry.file_size()) : -1;
    }
    return entries;
}

bool isAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char ch) {
        const auto byte = static_cast<unsigned char>(ch);
        return byte == '\n' || byte == '\r' || (byte >= 0x20 && byte < 0x7F);
    });
}

// The bundled sample: Disk A, then Disk B.
Bytes sampleImage()
{
    return concatenate({standardDisk('A', 0xC3, "SAMPLE DISK A").build(), standardDisk('B', 0x08, "SAMPLE DISK B").build()});
}

// A Disk A that loses ADPCM106's track, the sector where ADPCM101 starts,
// and most of the third sector of MUS106.
Bytes damagedDiskA()
{
    D88ImageBuilder disk = standardDisk('A', 0xC3, "DAMAGED");
    disk.removeTrack(74).removeSector(63, 5).setSectorData(56, 13, Bytes(10, 0x99));
    return disk.build();
}

class InfoCommandTest : public ::testing::Test {
protected:
    ToolResult run(const std::vector<std::string>& args) { return runD88Info(args, scratch.path()); }

    ToolResult runOn(const Bytes& bytes, const std::vector<std::string>& options = {})
    {
        EXPECT_TRUE(writeBytes(scratch.file("input.d88"), bytes));
        std::vector<std::string> args = options;
        args.push_back("input.d88");
        return run(args);
    }

    ScratchDirectory scratch;
};

TEST_F(InfoCommandTest, WrongCommandLinesPrintUsage)
{
    ASSERT_TRUE(writeBytes(scratch.file("a.d88"), sampleImage()));
    const std::vector<std::string> cases[] = {
        {}, {"a.d88", "a.d88"}, {"--json"}, {"--json", "--json", "a.d88"}, {"--verbose", "a.d88"}, {"-"},
        {"--svg"}, {"--svg", "--svg", "a.d88"}, {"--json", "--svg", "a.d88"}, {"--svg", "a.d88", "--json"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ToolResult result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, lines(kUsage));
    }
}

TEST_F(InfoCommandTest, HelpVersionAndDoubleDash)
{
    const ToolResult help = run({"a.d88", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.find(lines(kUsage)), 0u);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
    const ToolResult version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.err, "");
    EXPECT_EQ(version.out, lines("d88info " D88CUT_PROJECT_VERSION "\n"));

    ASSERT_TRUE(writeBytes(scratch.file("-x.d88"), sampleImage()));
    for (const auto& args : {std::vector<std::string>{"--", "-x.d88"}, std::vector<std::string>{"--json", "--", "-x.d88"},
                             std::vector<std::string>{"./-x.d88"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ToolResult result = run(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_NE(result.out.find("-x.d88\""), std::string::npos) << result.out;
    }
    const ToolResult afterDoubleDash = run({"--", "--json", "-x.d88"});
    EXPECT_EQ(afterDoubleDash.status, 1);
    EXPECT_EQ(afterDoubleDash.err, lines(kUsage));
}

TEST_F(InfoCommandTest, UnreadableFilesAreNamed)
{
    fs::create_directory(scratch.path() / "folder.d88");
    for (const char* path : {"missing.d88", "folder.d88"}) {
        SCOPED_TRACE(path);
        const ToolResult result = run({path});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, lines(std::string("d88info: cannot open or read \"") + path + "\"\n"));
    }
}

TEST_F(InfoCommandTest, SampleIsReportedWholeAndNothingIsWritten)
{
    ASSERT_TRUE(writeBytes(scratch.file("input.d88"), sampleImage()));
    const auto before = listing(scratch.path());
    const ToolResult result = run({"input.d88"});
    EXPECT_EQ(listing(scratch.path()), before);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(isAscii(result.out));
    const std::string expectedLines[] = {
        "\"input.d88\": 2 images\n\nimage 0 at offset 0\n",
        "  disk name    \"SAMPLE DISK A\"\n  media        0x00 (2D)\n  recognition  Disk A (signature byte 0xC3)\n",
        "    track  79  C 39 H 1  16 sectors  1-16\n  catalogue    19 files of Disk A\n"
        "    MUSDRV     3840 of  3840 bytes\n",
        "    ADPCM106  19712 of 19712 bytes\n  d88cut writes 19 files (0 short) and skips 0\n",
        "  disk name    \"SAMPLE DISK B\"\n",
        "  recognition  Disk B (signature byte 0x08)\n",
        "    ADPCM200  14592 of 14592 bytes\n  d88cut writes 2 files (0 short) and skips 0\n",
    };
    for (const std::string& expected : expectedLines) {
        EXPECT_NE(result.out.find(lines(expected)), std::string::npos) << expected;
    }
    EXPECT_EQ(result.out.find("! C "), std::string::npos) << "nothing is marked on the sample";
}

TEST_F(InfoCommandTest, DamagedDiskTextNamesEachShortOrSkippedEntry)
{
    const ToolResult result = runOn(damagedDiskA());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::string expectedLines[] = {
        "    track  56  C 28 H 0  16 sectors  1-12 13! 14-16\n"
        "        13! C 28 H 0 R 13 N 1: data size 10, not 256\n",
        "    track  63  C 31 H 1  15 sectors  1-4 6-16\n",
        "    MUS106      512 of  1280 bytes  short, the rest is zeros: sector C 28 H 0 R 13 N 1 of track 56 holds "
        "10 bytes, not 256\n",
        "    ADPCM100   5120 of  5376 bytes  short, the rest is zeros: track 63 has no sector C 31 H 1 R 5 N 1\n",
        "    ADPCM101      0 of  6912 bytes  not written: track 63 has no sector C 31 H 1 R 5 N 1\n",
        "    ADPCM106      0 of 19712 bytes  not written: track 74 is not in the image\n",
        "  d88cut writes 17 files (2 short) and skips 2\n",
    };
    for (const std::string& expected : expectedLines) {
        EXPECT_NE(result.out.find(lines(expected)), std::string::npos) << expected << result.out;
    }
    EXPECT_EQ(result.out.find("track  74"), std::string::npos);
}

// The report is a forecast of d88cut: for every entry, a complete run is
// written as it is, a short one with a warning naming the bytes the report
// gives, and a skipped one not at all.
TEST_F(InfoCommandTest, JsonForecastsWhatD88CutDoes)
{
    ASSERT_TRUE(writeBytes(scratch.file("input.d88"), damagedDiskA()));
    const ToolResult info = run({"--json", "input.d88"});
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.err, "");
    EXPECT_TRUE(isAscii(info.out));
    EXPECT_EQ(run({"input.d88", "--json"}).out, info.out);
    const std::string newline = lines("\n");
    ASSERT_GE(info.out.size(), newline.size());
    EXPECT_EQ(info.out.substr(info.out.size() - newline.size()), newline);
    const nlohmann::json json = nlohmann::json::parse(info.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << info.out;
    ASSERT_EQ(json["imageCount"].get<int64_t>(), 1);
    const nlohmann::json& catalogue = json["images"][0]["catalogue"];
    ASSERT_EQ(catalogue.size(), 19u);

    const ToolResult cut = runD88Cut({"input.d88"}, scratch.path());
    EXPECT_EQ(cut.status, 0);
    int shortOnes = 0;
    for (size_t i = 0; i < catalogue.size(); ++i) {
        const nlohmann::json& entry = catalogue[i];
        const std::string name = entry["name"].get<std::string>();
        SCOPED_TRACE(name);
        const std::string outcome = entry["outcome"].get<std::string>();
        const bool written = fs::is_regular_file(scratch.path() / name);
        EXPECT_EQ(written, outcome != "skipped");
        if (written) {
            EXPECT_EQ(static_cast<int64_t>(fs::file_size(scratch.path() / name)), entry["length"].get<int64_t>());
        }
        const std::string warning = name + ": read " + std::to_string(entry["delivered"].get<int64_t>()) + " of " +
                                    std::to_string(entry["length"].get<int64_t>()) + " bytes";
        EXPECT_EQ(cut.err.find(warning) != std::string::npos, outcome == "short") << cut.err;
        EXPECT_EQ(entry["stop"].is_null(), outcome == "complete");
        shortOnes += outcome == "short" ? 1 : 0;
    }
    EXPECT_EQ(shortOnes, 2);
    EXPECT_EQ(catalogue[12]["name"].get<std::string>(), "ADPCM100");
    EXPECT_EQ(catalogue[12]["stop"]["problem"].get<std::string>(), "sector-missing");
    EXPECT_EQ(catalogue[12]["stop"]["track"].get<int64_t>(), 63);
    EXPECT_EQ(catalogue[12]["stop"]["r"].get<int64_t>(), 5);
    EXPECT_EQ(catalogue[18]["stop"]["problem"].get<std::string>(), "track-absent");
}

TEST_F(InfoCommandTest, FilesWithoutARecognisedDiskStillGetAReport)
{
    struct Case {
        Bytes bytes;
        const char* expected;
    };
    const D88ImageBuilder other = standardDisk('O', 0x41, "OTHER");
    D88ImageBuilder withoutTrack2 = other;
    withoutTrack2.removeTrack(2);
    const Case cases[] = {
        {{}, "\"input.d88\": not a D88 image: the input file holds 0 bytes, fewer than an image header's 688\n"},
        {other.build(), "  recognition  neither disk (signature byte 0x41)\n"},
        {withoutTrack2.build(),
         "  recognition  neither disk: no signature sector, track 2 is not in the image\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const ToolResult result = runOn(c.bytes);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_NE(result.out.find(lines(c.expected)), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("catalogue"), std::string::npos);
    }
}

// A file that is no D88 file gets one line saying why, in each form, and
// still exit status 0: the file could be read.
TEST_F(InfoCommandTest, NonD88FileGetsAVerdictNotAListing)
{
    std::string text;
    while (text.size() < 2000) {
        text += "plain text, line after line, nothing like a disk\n";
    }
    const Bytes bytes(text.begin(), text.end());
    const ToolResult plain = runOn(bytes);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(plain.out.rfind("\"input.d88\": not a D88 image: ", 0), 0u) << plain.out;
    EXPECT_EQ(std::count(plain.out.begin(), plain.out.end(), '\n'), 1) << plain.out;

    const ToolResult json = runOn(bytes, {"--json"});
    EXPECT_EQ(json.status, 0);
    const nlohmann::json document = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << json.out;
    EXPECT_EQ(document["verdict"], "not-d88");
    EXPECT_FALSE(document["problems"].empty());
    EXPECT_TRUE(document["images"].empty());

    const ToolResult svg = runOn(bytes, {"--svg"});
    EXPECT_EQ(svg.status, 0);
    EXPECT_NE(svg.out.find("not a D88 image"), std::string::npos);
}

}  // namespace
