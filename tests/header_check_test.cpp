// The verdict on files that are not D88 files, the header problems behind it,
// and the bytes a cut-short image lacks, in every report form.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <random>

#include "d88/d88_reader.h"
#include "d88info/disk_report.h"
#include "d88info/header_check.h"
#include "testsupport/d88_fixture.h"
#include "testsupport/memory_reader.h"

namespace {

constexpr uint8_t kDiskASignatureByte = 0xC3;

void putLE32(Bytes& bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::vector<HeaderProblemKind> kindsOf(const std::vector<HeaderProblem>& problems)
{
    std::vector<HeaderProblemKind> kinds;
    for (const HeaderProblem& problem : problems) {
        kinds.push_back(problem.kind);
    }
    return kinds;
}

bool hasKind(const std::vector<HeaderProblem>& problems, HeaderProblemKind kind)
{
    const std::vector<HeaderProblemKind> kinds = kindsOf(problems);
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

class HeaderCheckTest : public ::testing::Test {
protected:
    FileReport reportOn(const Bytes& bytes)
    {
        opened = std::make_unique<MemoryReader>(bytes);
        return buildFileReport(opened->reader, "image.d88", bytes.size());
    }

    std::unique_ptr<MemoryReader> opened;
};

Bytes textFile()
{
    std::string text;
    while (text.size() < 3000) {
        text += "# Notes\n\nThese lines are plain text, written by hand, and nothing like a disk image.\n";
    }
    return Bytes(text.begin(), text.end());
}

// The start of an executable: magic, class and version bytes, a program
// header table right after it, a section table near the end of the file.
Bytes elfLikeFile()
{
    Bytes bytes(8192, 0);
    const uint8_t magic[] = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0};
    std::copy(std::begin(magic), std::end(magic), bytes.begin());
    bytes[0x10] = 3;
    bytes[0x12] = 0x3E;
    bytes[0x14] = 1;
    putLE32(bytes, 0x18, 0x1040);  // entry point
    putLE32(bytes, 0x20, 64);      // program headers
    putLE32(bytes, 0x28, 0x1C00);  // section headers, inside the file
    putLE32(bytes, 0x34, 0x00380040);
    return bytes;
}

Bytes randomBytes()
{
    std::mt19937 generator(20240611);
    Bytes bytes(5000);
    for (uint8_t& byte : bytes) {
        byte = static_cast<uint8_t>(generator());
    }
    return bytes;
}

// A header that says disk size 0 and whose track table is noise.
Bytes sizeZeroGarbageTable()
{
    Bytes bytes(4096, 0);
    std::mt19937 generator(7);
    for (int32_t track = 0; track < kTrackSlots; ++track) {
        putLE32(bytes, static_cast<size_t>(kHeaderTrackTableOffset + 4 * track), generator() | 0x10000000u);
    }
    return bytes;
}

TEST_F(HeaderCheckTest, FilesThatAreNotD88GetTheVerdictInOneLine)
{
    struct Case {
        const char* label;
        Bytes bytes;
        HeaderProblemKind expected;
    };
    const Case cases[] = {
        {"empty file", {}, HeaderProblemKind::FileBelowHeader},
        {"a few bytes", Bytes(687, 0), HeaderProblemKind::FileBelowHeader},
        {"text", textFile(), HeaderProblemKind::NoTrackInFile},
        {"ELF-like", elfLikeFile(), HeaderProblemKind::DiskSizeBelowHeader},
        {"random bytes", randomBytes(), HeaderProblemKind::NameNotText},
        {"disk size 0, garbage track table", sizeZeroGarbageTable(), HeaderProblemKind::DiskSizeBelowHeader},
        {"zeros", Bytes(4000, 0), HeaderProblemKind::DiskSizeBelowHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const FileReport report = reportOn(c.bytes);
        EXPECT_TRUE(report.images.empty());
        EXPECT_TRUE(hasKind(report.notD88, c.expected));
        const std::string text = reportText(report);
        const std::string start = "\"image.d88\": not a D88 image: ";
        EXPECT_EQ(text.substr(0, start.size()), start) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_LT(text.size(), 600u) << text;
        for (const HeaderProblem& problem : report.notD88) {
            EXPECT_NE(text.find(problem.reason), std::string::npos) << problem.reason;
        }

        const nlohmann::json json = nlohmann::json::parse(reportJson(report), nullptr, false);
        ASSERT_FALSE(json.is_discarded());
        EXPECT_EQ(json["verdict"], "not-d88");
        EXPECT_EQ(json["imageCount"], 0);
        EXPECT_TRUE(json["images"].empty());
        ASSERT_EQ(json["problems"].size(), report.notD88.size());
        for (size_t i = 0; i < report.notD88.size(); ++i) {
            EXPECT_EQ(json["problems"][i]["problem"], headerProblemName(report.notD88[i].kind));
            EXPECT_EQ(json["problems"][i]["reason"], report.notD88[i].reason);
        }

        const std::string svg = reportSvg(report);
        EXPECT_NE(svg.find("not a D88 image"), std::string::npos);
        EXPECT_EQ(svg.find("class=\"panel\""), std::string::npos);
    }
}

// Damage of one kind, or a file that ends early, leaves an image a D88
// image: it keeps its whole report, and its header problems are listed.
TEST_F(HeaderCheckTest, DamagedD88ImagesKeepTheirFullReport)
{
    const Bytes whole = standardDisk('A', kDiskASignatureByte, "DAMAGED").build();
    Bytes cutInTheMiddle = whole;
    cutInTheMiddle.resize(whole.size() / 2);
    Bytes cutToAQuarter = whole;
    cutToAQuarter.resize(whole.size() / 4);
    Bytes cutAfterHeader = whole;
    cutAfterHeader.resize(kImageHeaderSize);
    D88ImageBuilder badOffset = standardDisk('A', kDiskASignatureByte, "ONE BAD OFFSET");
    badOffset.overrideTrackOffset(9, 0x7FFFFFF0);
    D88ImageBuilder oddMedia = standardDisk('A', kDiskASignatureByte, "MEDIA");
    oddMedia.setMedia(0x41);
    D88ImageBuilder sizeZero = standardDisk('A', kDiskASignatureByte, "SIZE 0");
    sizeZero.overrideDiskSize(0);
    D88ImageBuilder controlName = standardDisk('A', kDiskASignatureByte, std::string("TAB\tNAME"));
    struct Case {
        const char* label;
        Bytes bytes;
        std::vector<HeaderProblemKind> problems;
    };
    const Case cases[] = {
        {"whole", whole, {}},
        {"cut in the middle", cutInTheMiddle, {}},
        {"cut to a quarter", cutToAQuarter, {HeaderProblemKind::DiskSizeBeyondFile}},
        {"cut after the header", cutAfterHeader,
         {HeaderProblemKind::DiskSizeBeyondFile, HeaderProblemKind::NoTrackInFile}},
        {"one bad track offset", badOffset.build(), {HeaderProblemKind::TrackOffsetsMisplaced}},
        {"unusual media byte", oddMedia.build(), {HeaderProblemKind::UnknownMedia}},
        {"disk size 0, tracks inside the file", sizeZero.build(), {HeaderProblemKind::DiskSizeBelowHeader}},
        {"control byte in the name", controlName.build(), {HeaderProblemKind::NameNotText}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const FileReport report = reportOn(c.bytes);
        EXPECT_TRUE(report.notD88.empty());
        ASSERT_FALSE(report.images.empty());
        EXPECT_EQ(kindsOf(report.images[0].headerProblems), c.problems);
        const std::string text = reportText(report);
        EXPECT_EQ(text.find("not a D88 image"), std::string::npos);
        EXPECT_NE(text.find("\nimage 0 at offset 0\n"), std::string::npos);
        EXPECT_NE(text.find("  tracks       "), std::string::npos);
        const nlohmann::json json = nlohmann::json::parse(reportJson(report), nullptr, false);
        ASSERT_FALSE(json.is_discarded());
        EXPECT_EQ(json["verdict"], "d88");
        EXPECT_TRUE(json["problems"].empty());
        ASSERT_EQ(json["images"][0]["headerProblems"].size(), c.problems.size());
        for (size_t i = 0; i < c.problems.size(); ++i) {
            EXPECT_EQ(json["images"][0]["headerProblems"][i]["problem"], headerProblemName(c.problems[i]));
        }
    }
}

TEST_F(HeaderCheckTest, CutShortImageSaysHowManyBytesItLacks)
{
    const Bytes first = standardDisk('A', kDiskASignatureByte, "FIRST").build();
    const Bytes second = standardDisk('B', 0x08, "SECOND").build();
    const Bytes both = concatenate({first, second});
    struct Case {
        const char* label;
        size_t keep;
        int64_t firstMissing;
        int64_t secondMissing;  // -1 when the second header is not there
    };
    const Case cases[] = {
        {"whole", both.size(), 0, 0},
        {"one byte short", both.size() - 1, 0, 1},
        {"inside the second disk", first.size() + 5000, 0, static_cast<int64_t>(second.size()) - 5000},
        {"inside the first disk", 100000, static_cast<int64_t>(first.size()) - 100000, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const FileReport report = reportOn(Bytes(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(c.keep)));
        ASSERT_EQ(report.images.size(), c.secondMissing < 0 ? 1u : 2u);
        EXPECT_EQ(report.images[0].missingBytes, c.firstMissing);
        const std::string text = reportText(report);
        const nlohmann::json json = nlohmann::json::parse(reportJson(report), nullptr, false);
        ASSERT_FALSE(json.is_discarded());
        EXPECT_EQ(json["images"][0]["missingBytes"], c.firstMissing);
        const int64_t missing = c.secondMissing < 0 ? c.firstMissing : c.secondMissing;
        if (c.secondMissing >= 0) {
            EXPECT_EQ(report.images[1].missingBytes, c.secondMissing);
            EXPECT_EQ(json["images"][1]["missingBytes"], c.secondMissing);
        }
        const std::string line =
            "the image file ends " + std::to_string(missing) + " bytes before this disk's end";
        if (missing == 0) {
            EXPECT_EQ(text.find("cut short"), std::string::npos) << text;
            EXPECT_EQ(reportSvg(report).find("the image file ends"), std::string::npos);
        } else {
            EXPECT_NE(text.find("  cut short    " + line + "\n"), std::string::npos) << text.substr(0, 400);
            EXPECT_NE(reportSvg(report).find("; " + line + "</text>"), std::string::npos);
        }
    }
}

// The bounds of each header problem, on a header alone.
TEST(HeaderProblemTest, EachProblemStartsJustPastItsBound)
{
    constexpr uint64_t kFileSize = 20000;
    struct Case {
        const char* label;
        int32_t diskSize;
        int32_t trackOffset;  // of track 0; every other track is absent
        uint8_t media;
        std::string name;
        std::vector<HeaderProblemKind> problems;
        int64_t missing;
    };
    const Case cases[] = {
        {"sound", 20000, 688, 0x00, "NAME", {}, 0},
        {"disk size 687", 687, 688, 0x00, "NAME", {HeaderProblemKind::DiskSizeBelowHeader}, 0},
        {"disk size twice the file", 40000, 688, 0x10, "NAME", {}, 20000},
        {"disk size past twice the file", 40001, 688, 0x20, "NAME", {HeaderProblemKind::DiskSizeBeyondFile}, 20001},
        {"track at the disk's end", 20000, 20000, 0x30, "", {HeaderProblemKind::NoTrackInFile}, 0},
        {"track past the disk's end", 19999, 20000, 0x40, "",
         {HeaderProblemKind::TrackOffsetsMisplaced, HeaderProblemKind::NoTrackInFile}, 0},
        {"track inside the header", 20000, 687, 0x00, "NAME",
         {HeaderProblemKind::TrackOffsetsMisplaced, HeaderProblemKind::NoTrackInFile}, 0},
        {"track at the file's last byte", 20000, 19999, 0x00, "NAME", {}, 0},
        {"media 0x50", 20000, 688, 0x50, "NAME", {HeaderProblemKind::UnknownMedia}, 0},
        {"name with 0x7F", 20000, 688, 0x00, "NA\x7F", {HeaderProblemKind::NameNotText}, 0},
        {"Shift JIS name", 20000, 688, 0x00, "\x83\x66\x83\x42\x83\x58\x83\x4E", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ImageHeader header{};
        header.diskSize = c.diskSize;
        header.media = c.media;
        header.name = c.name;
        header.trackOffsets[0] = c.trackOffset;
        EXPECT_EQ(kindsOf(checkHeader(header, kFileSize)), c.problems);
        EXPECT_EQ(missingBytes(header, kFileSize), c.missing);
    }
}

// Problems that follow from the file ending early count once: a disk whose
// file ends inside its header still gets its report, but any other problem
// beside them gives the verdict.
TEST(HeaderProblemTest, VerdictNeedsTwoIndependentProblems)
{
    ImageHeader header{};
    header.diskSize = 300000;
    header.trackOffsets[0] = kImageHeaderSize;
    header.trackOffsets[1] = 5000;
    EXPECT_TRUE(notD88Reasons(&header, 1000).empty());
    EXPECT_TRUE(notD88Reasons(&header, kImageHeaderSize).empty());
    header.media = 0x41;
    EXPECT_TRUE(notD88Reasons(&header, 300000).empty());
    EXPECT_EQ(kindsOf(notD88Reasons(&header, kImageHeaderSize)),
              (std::vector<HeaderProblemKind>{HeaderProblemKind::DiskSizeBeyondFile, HeaderProblemKind::NoTrackInFile,
                                              HeaderProblemKind::UnknownMedia}));
    header.media = 0x00;
    header.trackOffsets[2] = 100;
    EXPECT_TRUE(notD88Reasons(&header, 300000).empty());
    header.name = "\x1B";
    EXPECT_EQ(kindsOf(notD88Reasons(&header, 300000)),
              (std::vector<HeaderProblemKind>{HeaderProblemKind::TrackOffsetsMisplaced,
                                              HeaderProblemKind::NameNotText}));
}

}  // namespace
