#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>

#include "d88/d88_reader.h"
#include "testsupport/d88_fixture.h"
#include "testsupport/tool_runner.h"

namespace {

constexpr uint8_t kTag = 0x5A;

class ReaderTest : public ::testing::Test {
protected:
    // Writes bytes as the D88 file and opens it.
    void openBytes(const Bytes& bytes)
    {
        ASSERT_TRUE(writeBytes(path(), bytes));
        ASSERT_TRUE(reader.open(path().c_str()));
    }

    void openImage(const D88ImageBuilder& image)
    {
        openBytes(image.build());
        ASSERT_TRUE(reader.selectImage(0));
    }

    std::string path() const { return scratch.file("image.d88"); }

    ScratchDirectory scratch;
    D88Reader reader;
};

TEST(LittleEndianTest, AssemblesBytesWhateverTheHostOrder)
{
    struct Case {
        uint8_t bytes[4];
        uint16_t le16;
        int32_t le32;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x00, 0x00}, 0x0000, 0},
        {{0x34, 0x12, 0x78, 0x56}, 0x1234, 0x56781234},
        {{0xB0, 0x02, 0x00, 0x00}, 688, 688},
        {{0xFF, 0xFF, 0xFF, 0x7F}, 0xFFFF, INT32_MAX},
        {{0x00, 0x00, 0x00, 0x80}, 0x0000, INT32_MIN},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFF, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readLE16(c.bytes), c.le16);
        EXPECT_EQ(readLE32(c.bytes), c.le32);
    }
}

TEST(SectorSizeTest, RefusesCodesWithoutAPositive32BitLength)
{
    EXPECT_EQ(sectorSizeForCode(0), 128);
    EXPECT_EQ(sectorSizeForCode(1), 256);
    EXPECT_EQ(sectorSizeForCode(23), 1 << 30);
    EXPECT_EQ(sectorSizeForCode(24), 0);
    EXPECT_EQ(sectorSizeForCode(200), 0);
    EXPECT_EQ(sectorSizeForCode(-1), 0);
}

TEST_F(ReaderTest, EmptyFileOpensWithNoImage)
{
    openBytes({});
    EXPECT_EQ(reader.imageCount(), 0);
    EXPECT_FALSE(reader.selectImage(0));
}

TEST_F(ReaderTest, FileShorterThanAHeaderHoldsNoImage)
{
    openBytes(Bytes(687, 0));
    EXPECT_EQ(reader.imageCount(), 0);
}

TEST_F(ReaderTest, WalksImagesEndToEndAndIgnoresATrailingPartialHeader)
{
    D88ImageBuilder first;
    first.addStandardTrack(0, kTag, 1, 2);
    D88ImageBuilder second;
    second.addStandardTrack(5, kTag, 1, 3);
    const Bytes a = first.build();
    const Bytes b = second.build();
    openBytes(concatenate({a, b, Bytes(687, 0xEE)}));
    ASSERT_EQ(reader.imageCount(), 2);
    EXPECT_EQ(reader.imageOffset(0), 0);
    EXPECT_EQ(reader.imageOffset(1), static_cast<int64_t>(a.size()));
    EXPECT_EQ(reader.imageOffset(2), -1);
}

TEST_F(ReaderTest, DiskSizeZeroFindsTheSameImageUpToTheLimit)
{
    D88ImageBuilder image;
    image.overrideDiskSize(0);
    openBytes(image.build());
    ASSERT_EQ(reader.imageCount(), kMaxImages);
    EXPECT_EQ(reader.imageOffset(kMaxImages - 1), 0);
}

TEST_F(ReaderTest, WalkStopsWhereTheNextOffsetLeaves31Bits)
{
    struct Case {
        int32_t secondDiskSize;
        const char* why;
    };
    const Case cases[] = {
        {INT32_MAX, "offset past 2^31 - 1"},
        {-5000, "offset below zero"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        D88ImageBuilder first;
        D88ImageBuilder second;
        second.overrideDiskSize(c.secondDiskSize);
        const Bytes a = first.build();
        openBytes(concatenate({a, second.build()}));
        EXPECT_EQ(reader.imageCount(), 2);
        EXPECT_EQ(reader.imageOffset(1), static_cast<int64_t>(a.size()));
    }
}

TEST_F(ReaderTest, NegativeDiskSizeStepsBackWithinTheLimit)
{
    D88ImageBuilder first;
    D88ImageBuilder second;
    const Bytes a = first.build();
    second.overrideDiskSize(-static_cast<int32_t>(a.size()));
    openBytes(concatenate({a, second.build()}));
    EXPECT_EQ(reader.imageCount(), kMaxImages);
}

TEST_F(ReaderTest, PathsThatCannotBeReadAreRefused)
{
    EXPECT_FALSE(reader.open(scratch.file("missing.d88").c_str()));
    EXPECT_FALSE(reader.open(scratch.path().string().c_str()));
    EXPECT_FALSE(reader.selectImage(0));
    EXPECT_EQ(reader.imageCount(), 0);
}

TEST_F(ReaderTest, OpenWithoutPathForgetsTheFile)
{
    openImage(standardDisk(kTag, 0xC3, "DISK"));
    ASSERT_TRUE(reader.open(static_cast<const char*>(nullptr)));
    EXPECT_EQ(reader.imageCount(), 0);
    EXPECT_EQ(reader.currentImage(), -1);
    EXPECT_EQ(reader.mediaType(), -1);
    EXPECT_FALSE(reader.selectImage(0));
    uint8_t buffer[256];
    EXPECT_EQ(reader.readSector(2, 1, 0, 1, 1, buffer, 256), 0);
}

TEST_F(ReaderTest, ReopeningClosesTheOldStream)
{
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    openBytes(D88ImageBuilder().build());
    const auto before = openDescriptors();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(reader.open(path().c_str()));
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(ReaderTest, SelectOutsideTheImagesLeavesNoImageCurrent)
{
    D88ImageBuilder image;
    image.setName("NAMED").setMedia(0x20);
    openImage(image);
    EXPECT_EQ(reader.currentImage(), 0);
    for (int32_t index : {1, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(reader.selectImage(0));
        EXPECT_FALSE(reader.selectImage(index));
        EXPECT_EQ(reader.currentImage(), -1);
        EXPECT_EQ(reader.mediaType(), -1);
        EXPECT_STREQ(reader.diskName(), "");
        EXPECT_EQ(reader.currentDiskSize(), 0);
    }
}

TEST_F(ReaderTest, SelectWhoseHeaderShrankAwayFails)
{
    D88ImageBuilder image;
    image.addStandardTrack(2, kTag);
    openBytes(image.build());
    ASSERT_EQ(reader.imageCount(), 1);
    ASSERT_TRUE(writeBytes(path(), Bytes(100, 0)));
    EXPECT_FALSE(reader.selectImage(0));
    EXPECT_EQ(reader.currentImage(), -1);
    uint8_t buffer[256];
    EXPECT_EQ(reader.readSector(2, 1, 0, 1, 1, buffer, 256), 0);
}

TEST_F(ReaderTest, LoadsNameAndMediaOfTheSelectedImage)
{
    struct Case {
        std::string written;
        const char* expected;
    };
    const Case cases[] = {
        {"SIXTEEN_CHARS_OK", "SIXTEEN_CHARS_OK"},
        {std::string("ABC\0JUNK", 8), "ABC"},
        {"", ""},
    };
    for (const Case& c : cases) {
        D88ImageBuilder image;
        image.setName(c.written).setMedia(0x10);
        openImage(image);
        EXPECT_STREQ(reader.diskName(), c.expected);
        EXPECT_EQ(reader.diskName()[kDiskNameLength], '\0');
        EXPECT_EQ(reader.mediaType(), 0x10);
    }
}

TEST_F(ReaderTest, ReadsTheSectorNamedByItsIdNotItsPosition)
{
    D88ImageBuilder image;
    image.addSector(7, sectorAt(3, 1, 9, Bytes(256, 0x11)));
    image.addSector(7, sectorAt(3, 1, 2, Bytes(256, 0x22)));
    image.addSector(7, sectorAt(3, 1, 2, Bytes(256, 0x33)));
    openImage(image);
    Bytes buffer(256);
    ASSERT_EQ(reader.readSector(7, 3, 1, 2, 1, buffer.data(), 256), 256);
    EXPECT_EQ(buffer, Bytes(256, 0x22)) << "the first of two records with one ID wins";
    ASSERT_EQ(reader.readSector(7, 3, 1, 9, 1, buffer.data(), 100), 100);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[100], 0x22) << "nothing past the length asked for is written";
}

TEST_F(ReaderTest, SectorsThatAreNotThereDeliverNothing)
{
    D88ImageBuilder image;
    image.addStandardTrack(4, kTag, 1, 4);
    image.addStandardTrack(6, kTag, 1, 1);
    image.addStandardTrack(8, kTag, 1, 1);
    image.addStandardTrack(10, kTag, 1, 1);
    image.overrideTrackOffset(6, 0x7FFFFFF0);
    image.overrideTrackOffset(8, static_cast<int32_t>(0x80000000u));
    image.overrideTrackOffset(10, -1);
    openImage(image);
    struct Case {
        int32_t track, c, h, r, n, length;
        const char* why;
    };
    const Case cases[] = {
        {4, 2, 0, 5, 1, 256, "sector number not on the track"},
        {4, 2, 1, 1, 1, 256, "head differs"},
        {4, 2, 0, 1, 2, 256, "size code differs"},
        {4, 2 + 256, 0, 1, 1, 256, "cylinder beyond a byte"},
        {5, 2, 1, 1, 1, 256, "track slot is 0"},
        {6, 3, 0, 1, 1, 256, "track offset beyond the disk size"},
        {8, 4, 0, 1, 1, 256, "track offset 0x80000000"},
        {10, 5, 0, 1, 1, 256, "track offset -1"},
        {164, 82, 0, 1, 1, 256, "track index past the table"},
        {-1, 0, 0, 1, 1, 256, "negative track index"},
        {INT32_MIN, 0, 0, 1, 1, 256, "most negative track index"},
        {4, 2, 0, 1, 1, -1, "negative length"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Bytes buffer(256, 0xEE);
        EXPECT_EQ(reader.readSector(c.track, c.c, c.h, c.r, c.n, buffer.data(), c.length), 0);
        EXPECT_EQ(buffer, Bytes(256, 0xEE));
    }
}

TEST_F(ReaderTest, RecordCountOfTheRecordReadEndsTheSearch)
{
    struct Case {
        uint16_t firstRecordCount;
        int32_t firstDelivers, secondDelivers;
    };
    // A count of 0 ends the search at once; a count of 1 after the first record.
    const Case cases[] = {{0, 0, 0}, {1, 256, 0}, {2, 256, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstRecordCount);
        D88ImageBuilder image;
        SectorRecord first = sectorAt(0, 0, 1, Bytes(256, 1));
        first.recordCount = c.firstRecordCount;
        image.addSector(0, first).addSector(0, sectorAt(0, 0, 2, Bytes(256, 2)));
        openImage(image);
        uint8_t buffer[256];
        EXPECT_EQ(reader.readSector(0, 0, 0, 1, 1, buffer, 256), c.firstDelivers);
        EXPECT_EQ(reader.readSector(0, 0, 0, 2, 1, buffer, 256), c.secondDelivers);
    }
}

TEST_F(ReaderTest, ShortDataDeliversOnlyWhatIsThere)
{
    D88ImageBuilder image;
    image.addSector(0, sectorAt(0, 0, 1, Bytes(100, 0x44)));
    openImage(image);
    Bytes buffer(256, 0xEE);
    EXPECT_EQ(reader.readSector(0, 0, 0, 1, 1, buffer.data(), 256), 100);
    EXPECT_EQ(buffer[99], 0x44);
    EXPECT_EQ(buffer[100], 0xEE);
}

TEST_F(ReaderTest, FileEndingInsideASectorDeliversTheBytesPresent)
{
    D88ImageBuilder image;
    image.addStandardTrack(0, kTag, 1, 2);
    Bytes bytes = image.build();
    bytes.resize(bytes.size() - 56);
    openBytes(bytes);
    ASSERT_TRUE(reader.selectImage(0));
    uint8_t buffer[256];
    EXPECT_EQ(reader.readSector(0, 0, 0, 2, 1, buffer, 256), 200);
}

TEST_F(ReaderTest, SectorHeaderCutShortByTheFileEndFindsNothing)
{
    D88ImageBuilder image;
    image.addStandardTrack(0, kTag, 1, 2);
    Bytes bytes = image.build();
    bytes.resize(bytes.size() - 256 - 8);
    openBytes(bytes);
    ASSERT_TRUE(reader.selectImage(0));
    uint8_t buffer[256];
    EXPECT_EQ(reader.readSector(0, 0, 0, 1, 1, buffer, 256), 256);
    EXPECT_EQ(reader.readSector(0, 0, 0, 2, 1, buffer, 256), 0);
    uint8_t ids[8];
    EXPECT_EQ(reader.listSectorIds(0, ids, sizeof ids), 4);
    SectorRecordInfo records[4] = {};
    EXPECT_EQ(reader.listSectorRecords(0, records, 4), 1);
}

TEST_F(ReaderTest, RunCrossesFromHeadOneToTheNextCylinder)
{
    D88ImageBuilder image;
    image.addStandardTrack(3, kTag).addStandardTrack(4, kTag);
    openImage(image);
    Bytes buffer(3 * 256 + 10, 0xEE);
    ASSERT_EQ(reader.readSectors(3, 1, 1, 15, 1, buffer.data(), 3 * 256), 3 * 256);
    const Bytes expected = concatenate({*image.sectorData(3, 15), *image.sectorData(3, 16), *image.sectorData(4, 1)});
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_EQ(buffer[3 * 256], 0xEE);
}

TEST_F(ReaderTest, RunUsesTheSectorRange)
{
    D88ImageBuilder image;
    image.addStandardTrack(0, kTag, 3, 5).addStandardTrack(1, kTag, 3, 5);
    openImage(image);
    reader.setSectorRange(3, 5);
    Bytes buffer(4 * 256);
    ASSERT_EQ(reader.readSectors(0, 0, 0, 4, 1, buffer.data(), 4 * 256), 4 * 256);
    EXPECT_TRUE(std::equal(image.sectorData(1, 4)->begin(), image.sectorData(1, 4)->end(), buffer.begin() + 768));
}

TEST_F(ReaderTest, RunStopsAtTheFirstShortPiece)
{
    D88ImageBuilder image;
    image.addStandardTrack(0, kTag, 1, 4);
    image.setSectorData(0, 3, Bytes(255, 0x77));
    openImage(image);
    struct Case {
        int32_t length, expected;
        const char* why;
    };
    const Case cases[] = {
        {0, 0, "nothing asked"},
        {-256, 0, "negative length"},
        {300, 300, "last piece shorter than a sector"},
        {512, 512, "two whole sectors"},
        {1024, 512, "third sector holds 255 bytes"},
        {2048, 512, "run passes the short sector"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Bytes buffer(2048);
        EXPECT_EQ(reader.readSectors(0, 0, 0, 1, 1, buffer.data(), c.length), c.expected);
    }
}

TEST_F(ReaderTest, RunStopsAtAMissingTrack)
{
    D88ImageBuilder image;
    image.addStandardTrack(0, kTag);
    openImage(image);
    Bytes buffer(17 * 256);
    EXPECT_EQ(reader.readSectors(0, 0, 0, 1, 1, buffer.data(), 17 * 256), 16 * 256);
}

TEST_F(ReaderTest, RunRefusesSizeCodesWithoutAPositiveChunk)
{
    D88ImageBuilder image;
    image.addSector(0, sectorAt(0, 0, 1, Bytes(256, 1), 24));
    image.addSector(0, sectorAt(0, 0, 2, Bytes(256, 1), 0xFF));
    openImage(image);
    uint8_t buffer[256];
    EXPECT_EQ(reader.readSectors(0, 0, 0, 1, 24, buffer, 256), 0);
    EXPECT_EQ(reader.readSectors(0, 0, 0, 2, 0xFF, buffer, 256), 0);
    EXPECT_EQ(reader.readSectors(0, 0, 0, 2, -1, buffer, 256), 0);
}

TEST_F(ReaderTest, ListsIdsInRecordOrder)
{
    D88ImageBuilder image;
    image.addSector(9, sectorAt(4, 1, 3, Bytes(256))).addSector(9, sectorAt(9, 9, 1, Bytes(128), 0));
    openImage(image);
    Bytes ids(8);
    ASSERT_EQ(reader.listSectorIds(9, ids.data(), 8), 8);
    EXPECT_EQ(ids, (Bytes{4, 1, 3, 1, 9, 9, 1, 0}));
    EXPECT_EQ(reader.listSectorIds(8, ids.data(), 8), 0);
}

TEST_F(ReaderTest, ListWritesOnlyWholeGroupsThatFit)
{
    D88ImageBuilder image;
    image.addStandardTrack(0, kTag, 1, 3);
    openImage(image);
    for (int32_t length : {0, 3, 5, 7, -4}) {
        SCOPED_TRACE(length);
        Bytes ids(16, 0xEE);
        const int32_t written = reader.listSectorIds(0, ids.data(), length);
        EXPECT_EQ(written, length > 0 ? length / 4 * 4 : 0);
        for (size_t i = static_cast<size_t>(written); i < ids.size(); ++i) {
            EXPECT_EQ(ids[i], 0xEE) << "byte " << i;
        }
    }
}

TEST_F(ReaderTest, ListGoesOnPastRecordCountZeroUntilTheBufferIsFull)
{
    D88ImageBuilder image;
    for (uint8_t r = 1; r <= 3; ++r) {
        SectorRecord sector = sectorAt(0, 0, r, Bytes(16));
        sector.recordCount = 0;
        image.addSector(0, sector);
    }
    image.addStandardTrack(1, kTag, 1, 1);
    openImage(image);
    Bytes ids(12);
    ASSERT_EQ(reader.listSectorIds(0, ids.data(), 12), 12);
    EXPECT_EQ(ids[10], 3);
}

TEST_F(ReaderTest, ListsRecordsWithTheirCountAndDataSizeFields)
{
    D88ImageBuilder image;
    SectorRecord lying = sectorAt(7, 0, 5, Bytes(100), 2);
    lying.dataSizeField = 40;
    lying.recordCount = 9;
    image.addSector(3, sectorAt(1, 1, 4, Bytes(256))).addSector(3, lying);
    image.addSector(3, sectorAt(1, 1, 6, Bytes(60)));
    openImage(image);
    SectorRecordInfo records[4] = {};
    // The second record's data-size field says 40, so the walk lands 60 bytes
    // early, inside its data, and reads zeros as the next header.
    ASSERT_EQ(reader.listSectorRecords(3, records, 4), 4);
    EXPECT_EQ(records[0].c, 1);
    EXPECT_EQ(records[0].h, 1);
    EXPECT_EQ(records[0].r, 4);
    EXPECT_EQ(records[0].n, 1);
    EXPECT_EQ(records[0].recordCount, 3);
    EXPECT_EQ(records[0].dataSize, 256);
    EXPECT_EQ(records[1].r, 5);
    EXPECT_EQ(records[1].n, 2);
    EXPECT_EQ(records[1].recordCount, 9);
    EXPECT_EQ(records[1].dataSize, 40);
    EXPECT_EQ(records[2].recordCount, 0);
    EXPECT_EQ(records[2].dataSize, 0);
}

TEST_F(ReaderTest, RecordListingAgreesWithTheIdListing)
{
    D88ImageBuilder image;
    image.addStandardTrack(0, kTag, 1, 5);
    SectorRecord countOne = sectorAt(0, 1, 1, Bytes(256));
    countOne.recordCount = 1;
    image.addSector(1, countOne).addSector(1, sectorAt(0, 1, 2, Bytes(256)));
    struct Case {
        int32_t track, capacity, expected;
        const char* why;
    };
    const Case cases[] = {
        {0, 16, 5, "record count ends the walk"},
        {0, 3, 3, "capacity ends the walk"},
        {0, 0, 0, "no room"},
        {0, -2, 0, "negative capacity"},
        {1, 16, 1, "a count of 1 on the first record"},
        {2, 16, 0, "absent track"},
        {-1, 16, 0, "negative track index"},
        {kTrackSlots, 16, 0, "track index past the table"},
    };
    openImage(image);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        SectorRecordInfo records[16] = {};
        const int32_t listed = reader.listSectorRecords(c.track, records, c.capacity);
        EXPECT_EQ(listed, c.expected);
        Bytes ids(64, 0);
        ASSERT_EQ(reader.listSectorIds(c.track, ids.data(), std::max(c.capacity, 0) * kSectorIdSize),
                  listed * kSectorIdSize);
        for (int32_t i = 0; i < listed; ++i) {
            EXPECT_EQ((Bytes{records[i].c, records[i].h, records[i].r, records[i].n}),
                      Bytes(ids.begin() + 4 * i, ids.begin() + 4 * i + 4));
        }
    }
}

TEST(RunPositionTest, StepsThroughTheSectorRangeAndOnToTheNextTrack)
{
    struct Case {
        RunPosition from;
        int32_t first, last;
        RunPosition expected;
        const char* why;
    };
    const Case cases[] = {
        {{56, 28, 0, 7, 1}, 1, 16, {56, 28, 0, 8, 1}, "next sector on the track"},
        {{56, 28, 0, 16, 1}, 1, 16, {57, 28, 1, 1, 1}, "head 0 to head 1"},
        {{57, 28, 1, 16, 1}, 1, 16, {58, 29, 0, 1, 1}, "head 1 to the next cylinder"},
        {{4, 2, 0, 5, 2}, 3, 5, {5, 2, 1, 3, 2}, "other range; N stays"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const RunPosition next = nextInRun(c.from, c.first, c.last);
        EXPECT_EQ(next.track, c.expected.track);
        EXPECT_EQ(next.c, c.expected.c);
        EXPECT_EQ(next.h, c.expected.h);
        EXPECT_EQ(next.r, c.expected.r);
        EXPECT_EQ(next.n, c.expected.n);
    }
}

TEST_F(ReaderTest, GlobalsStartEmpty)
{
    EXPECT_EQ(d88Reader.imageCount(), 0);
    EXPECT_EQ(d88Reader.currentImage(), -1);
    EXPECT_EQ(sizeof transferBuffer, 327680u);
}

}  // namespace
