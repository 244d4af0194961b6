// The reader on bytes in memory and on files: the image scan, every lookup
// status, runs, the shared track walks, and opening only regular files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>

#include "d88/d88_reader.h"
#include "d88/input_file.h"
#include "testsupport/d88_fixture.h"
#include "testsupport/memory_reader.h"
#include "testsupport/reader_walk.h"
#include "testsupport/tool_runner.h"

namespace {

std::unique_ptr<MemoryReader> open(const Bytes& bytes)
{
    return std::make_unique<MemoryReader>(bytes);
}

constexpr SectorId id(uint8_t c, uint8_t h, uint8_t r, uint8_t n = 1)
{
    return SectorId{c, h, r, n};
}

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


TEST(ImageScanTest, FindsImagesEndToEndWithinTheLimits)
{
    const Bytes one = D88ImageBuilder().build();
    D88ImageBuilder zero;
    zero.overrideDiskSize(0);
    D88ImageBuilder tooFar;
    tooFar.overrideDiskSize(INT32_MAX);
    D88ImageBuilder back;
    back.overrideDiskSize(-static_cast<int32_t>(one.size()));
    Bytes partial = concatenate({one, one});
    partial.resize(partial.size() + kImageHeaderSize - 1);
    struct Case {
        const char* why;
        Bytes bytes;
        int32_t images;
        int64_t lastOffset;
    };
    const Case cases[] = {
        {"an empty file holds no image", {}, 0, -1},
        {"a file shorter than a header holds none", Bytes(kImageHeaderSize - 1), 0, -1},
        {"two images, then a partial header that is not one", partial, 2, static_cast<int64_t>(one.size())},
        {"disk size 0 finds the same image up to the limit", zero.build(), kMaxImages, 0},
        {"a next offset past 31 bits ends the scan", concatenate({one, tooFar.build()}), 2,
         static_cast<int64_t>(one.size())},
        {"a negative disk size steps back, within the limit", concatenate({one, back.build()}), kMaxImages,
         static_cast<int64_t>(one.size())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto opened = open(c.bytes);
        ASSERT_EQ(opened->reader.imageCount(), c.images);
        if (c.images > 0) {
            EXPECT_EQ(opened->reader.image(c.images - 1).offset, c.lastOffset);
        }
    }
}

TEST(ImageScanTest, ReadsNameMediaAndTrackTableOnce)
{
    D88ImageBuilder image;
    image.setName("SIXTEEN BYTES!!!").setMedia(0x20).addStandardTrack(3, 'T');
    const auto opened = open(image.build());
    ASSERT_EQ(opened->reader.imageCount(), 1);
    const ImageHeader& header = opened->reader.image(0);
    EXPECT_EQ(header.name, "SIXTEEN BYTES!!!");
    EXPECT_EQ(header.media, 0x20);
    EXPECT_EQ(header.trackOffsets[3], kImageHeaderSize);
    EXPECT_EQ(D88Reader::trackPresence(header, 3), TrackPresence::Present);
    EXPECT_EQ(D88Reader::trackPresence(header, 2), TrackPresence::Absent);
    EXPECT_EQ(D88Reader::trackPresence(header, kTrackSlots), TrackPresence::Absent);
    EXPECT_EQ(D88Reader::trackPresence(header, -1), TrackPresence::Absent);
}

// Each lookup status, with the bytes it delivers.
TEST(LookupTest, EveryStatusWithWhatItDelivers)
{
    struct Case {
        const char* why;
        std::function<void(D88ImageBuilder&)> build;
        size_t cutTo;  // 0: the whole file
        SectorAddress at;
        LookupStatus status;
        int32_t delivered;
        int32_t dataSize;
    };
    const auto withCount = [](SectorRecord record, uint16_t count) {
        record.recordCount = count;
        return record;
    };
    const Case cases[] = {
        {"found by its ID, not its position",
         [](D88ImageBuilder& d) { d.addSector(0, sectorAt(7, 1, 9, Bytes(256, 9))).addSector(0, sectorAt(0, 0, 1, Bytes(256, 1))); },
         0, {0, id(7, 1, 9)}, LookupStatus::Found, 256, 256},
        {"the first of two equal IDs wins",
         [](D88ImageBuilder& d) { d.addSector(0, sectorAt(0, 0, 1, Bytes(256, 1))).addSector(0, sectorAt(0, 0, 1, Bytes(256, 2))); },
         0, {0, id(0, 0, 1)}, LookupStatus::Found, 256, 256},
        {"slot 0 is an absent track", [](D88ImageBuilder& d) { d.addStandardTrack(1, 'T'); }, 0,
         {0, id(0, 0, 1)}, LookupStatus::TrackAbsent, 0, 0},
        {"an index past the table is absent", [](D88ImageBuilder& d) { d.addStandardTrack(1, 'T'); }, 0,
         {kTrackSlots, id(0, 0, 1)}, LookupStatus::TrackAbsent, 0, 0},
        {"an offset beyond the disk size is outside",
         [](D88ImageBuilder& d) { d.addStandardTrack(0, 'T').overrideTrackOffset(0, 0x7FFFFFFF); }, 0,
         {0, id(0, 0, 1)}, LookupStatus::TrackOutside, 0, 0},
        {"a negative offset is outside",
         [](D88ImageBuilder& d) { d.addStandardTrack(0, 'T').overrideTrackOffset(0, -16); }, 0,
         {0, id(0, 0, 1)}, LookupStatus::TrackOutside, 0, 0},
        {"no record carries the ID", [](D88ImageBuilder& d) { d.addStandardTrack(0, 'T'); }, 0,
         {0, id(0, 0, 17)}, LookupStatus::NoSuchId, 0, 0},
        {"a record count of 0 ends the search before its record",
         [&](D88ImageBuilder& d) { d.addSector(0, withCount(sectorAt(0, 0, 1, Bytes(256)), 0)); }, 0,
         {0, id(0, 0, 1)}, LookupStatus::PastRecordCount, 0, 256},
        {"a record count of 1 ends the search, and the walk, after the first record",
         [&](D88ImageBuilder& d) {
             d.addSector(0, withCount(sectorAt(0, 0, 1, Bytes(256)), 1)).addSector(0, sectorAt(0, 0, 2, Bytes(256)));
         },
         0, {0, id(0, 0, 2)}, LookupStatus::NoSuchId, 0, 0},
        {"a record count of 1 on the second record hides the third",
         [&](D88ImageBuilder& d) {
             d.addSector(0, withCount(sectorAt(0, 0, 1, Bytes(256)), 9))
                 .addSector(0, withCount(sectorAt(0, 0, 2, Bytes(256)), 1))
                 .addSector(0, withCount(sectorAt(0, 0, 3, Bytes(256)), 9));
         },
         0, {0, id(0, 0, 3)}, LookupStatus::PastRecordCount, 0, 256},
        {"a record count of 2 lets the search reach the second",
         [&](D88ImageBuilder& d) {
             d.addSector(0, withCount(sectorAt(0, 0, 1, Bytes(256)), 2)).addSector(0, sectorAt(0, 0, 2, Bytes(256, 2)));
         },
         0, {0, id(0, 0, 2)}, LookupStatus::Found, 256, 256},
        {"short data delivers what the record holds",
         [](D88ImageBuilder& d) { d.addSector(0, sectorAt(0, 0, 1, Bytes(100, 4))); }, 0, {0, id(0, 0, 1)},
         LookupStatus::DataShort, 100, 100},
        {"the file ends inside the data", [](D88ImageBuilder& d) { d.addSector(0, sectorAt(0, 0, 1, Bytes(256, 4))); },
         kImageHeaderSize + kSectorHeaderSize + 40, {0, id(0, 0, 1)}, LookupStatus::DataCutShort, 40, 256},
        {"the file ends inside a sector header before the search ends",
         [](D88ImageBuilder& d) { d.addStandardTrack(0, 'T'); }, kImageHeaderSize + 2 * (kSectorHeaderSize + 256) + 8,
         {0, id(0, 0, 5)}, LookupStatus::HeaderCutShort, 0, 0},
        {"no whole sector header at all", [](D88ImageBuilder& d) { d.addStandardTrack(0, 'T'); },
         kImageHeaderSize + 15, {0, id(0, 0, 1)}, LookupStatus::HeaderCutShort, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        D88ImageBuilder image;
        c.build(image);
        Bytes bytes = image.build();
        if (c.cutTo > 0) {
            bytes.resize(c.cutTo);
        }
        const auto opened = open(bytes);
        ASSERT_EQ(opened->reader.imageCount(), 1);
        Bytes buffer(300, 0xEE);
        const SectorLookup lookup = opened->reader.readSector(opened->reader.image(0), c.at, buffer.data(), 256);
        EXPECT_EQ(lookup.status, c.status) << lookupStatusName(lookup.status);
        EXPECT_EQ(lookup.delivered, c.delivered);
        EXPECT_EQ(lookup.dataSize, c.dataSize);
        EXPECT_EQ(buffer[static_cast<size_t>(c.delivered)], 0xEE) << "wrote past what it delivered";
        EXPECT_EQ(buffer[256], 0xEE) << "wrote past the length given";
    }
}

TEST(RunTest, CrossesTracksInTheSectorRangeAndStopsAtTheFirstShortPiece)
{
    D88ImageBuilder image;
    image.addStandardTrack(1, 'A', 3, 4).addStandardTrack(2, 'A', 3, 4).addStandardTrack(3, 'A', 3, 4);
    image.setSectorData(2, 4, Bytes(100, 0x77));
    const auto opened = open(image.build());
    const ImageHeader& header = opened->reader.image(0);
    Bytes buffer(2000, 0);
    struct Case {
        const char* why;
        SectorAddress start;
        int32_t length;
        int32_t delivered;
        LookupStatus status;
        int32_t stopTrack;
        uint8_t stopR;
    };
    const Case cases[] = {
        {"head 1 on to head 0 of the next cylinder", {1, id(0, 1, 3)}, 768, 768, LookupStatus::Found, 1, 3},
        {"a piece cut short ends the run, uncounted", {1, id(0, 1, 3)}, 1024, 768, LookupStatus::DataShort, 2, 4},
        {"the last piece may be shorter than a sector", {1, id(0, 1, 3)}, 600, 600, LookupStatus::Found, 1, 3},
        {"a missing track ends the run", {3, id(1, 1, 4)}, 512, 256, LookupStatus::TrackAbsent, 4, 3},
        {"length 0 reads nothing", {1, id(0, 1, 3)}, 0, 0, LookupStatus::Found, 1, 3},
        {"a size code without a length reads nothing", {1, id(0, 1, 3, 40)}, 512, 0, LookupStatus::SizeCodeUnusable,
         1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const RunResult run = opened->reader.readRun(header, c.start, {3, 4}, buffer.data(), c.length);
        EXPECT_EQ(run.delivered, c.delivered);
        EXPECT_EQ(run.stop.status, c.status) << lookupStatusName(run.stop.status);
        EXPECT_EQ(run.stoppedAt.track, c.stopTrack);
        EXPECT_EQ(run.stoppedAt.id.r, c.stopR);
    }
    opened->reader.readRun(header, {1, id(0, 1, 3)}, {3, 4}, buffer.data(), 768);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 256), *image.sectorData(1, 3));
    EXPECT_EQ(Bytes(buffer.begin() + 512, buffer.begin() + 768), *image.sectorData(2, 3));
}

TEST(RunTest, StepsThroughTheRangeAndStopsWhereNoIdFits)
{
    struct Case {
        SectorAddress from;
        SectorRange range;
        bool steps;
        SectorAddress expected;
        const char* why;
    };
    const Case cases[] = {
        {{56, id(28, 0, 7)}, {1, 16}, true, {56, id(28, 0, 8)}, "next sector on the track"},
        {{56, id(28, 0, 16)}, {1, 16}, true, {57, id(28, 1, 1)}, "head 0 to head 1"},
        {{57, id(28, 1, 16)}, {1, 16}, true, {58, id(29, 0, 1)}, "head 1 to the next cylinder"},
        {{4, id(2, 0, 5, 2)}, {3, 5}, true, {5, id(2, 1, 3, 2)}, "another range; N stays"},
        {{4, id(2, 0, 255)}, {1, 16}, false, {4, id(2, 0, 255)}, "no sector number after 255"},
        {{9, id(255, 1, 16)}, {1, 16}, false, {9, id(255, 1, 16)}, "no cylinder after 255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        SectorAddress at = c.from;
        EXPECT_EQ(nextInRun(at, c.range), c.steps);
        EXPECT_EQ(at.track, c.expected.track);
        EXPECT_EQ(at.id, c.expected.id);
    }
}

TEST(TrackWalkTest, TracksStartingAtTheSameByteShareOneWalk)
{
    // Every image starts at the same offset (disk size 0), and two tracks of
    // the image point at the same records.
    D88ImageBuilder image;
    image.addStandardTrack(0, 'T').overrideDiskSize(0);
    Bytes bytes = image.build();
    const int32_t offset = readLE32(bytes.data() + kHeaderTrackTableOffset);
    for (int i = 0; i < 4; ++i) {
        bytes[kHeaderTrackTableOffset + 4 + i] = bytes[kHeaderTrackTableOffset + i];
    }
    bytes[kHeaderDiskSizeOffset] = 0;
    const auto opened = open(bytes);
    ASSERT_EQ(opened->reader.imageCount(), kMaxImages);
    const ImageHeader& first = opened->reader.image(0);
    const ImageHeader& last = opened->reader.image(kMaxImages - 1);
    // A disk size of 0 puts every track outside the disk.
    EXPECT_EQ(opened->reader.walk(first, 0), nullptr);
    ImageHeader sized = first;
    sized.diskSize = static_cast<int32_t>(bytes.size());
    const TrackWalk* walk = opened->reader.walk(sized, 0);
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(walk->start, static_cast<uint64_t>(offset));
    EXPECT_EQ(walk->length, 16);
    EXPECT_EQ(walk->searchable, 16);
    EXPECT_EQ(opened->reader.walk(sized, 1), walk);
    ImageHeader lastSized = last;
    lastSized.diskSize = sized.diskSize;
    EXPECT_EQ(opened->reader.walk(lastSized, 0), walk);
}

TEST(TrackWalkTest, GoesOnPastTheSearchForTheListingUntilACountIsMet)
{
    D88ImageBuilder image;
    for (int r = 1; r <= 6; ++r) {
        SectorRecord record = sectorAt(0, 0, static_cast<uint8_t>(r), Bytes(8));
        record.recordCount = r == 2 ? 0 : 5;
        image.addSector(0, record);
    }
    const auto opened = open(image.build());
    const TrackWalk* walk = opened->reader.walk(opened->reader.image(0), 0);
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(walk->searchable, 1);       // the count of 0 on the second record ends the search
    EXPECT_EQ(walk->length, 5);  // the fifth record's count of 5 ends the walk
    EXPECT_FALSE(walk->searchCutShort);
}

class InputFileTest : public ::testing::Test {
protected:
    ScratchDirectory scratch;
};

TEST_F(InputFileTest, OpensOnlyRegularFilesAndSaysWhy)
{
    ASSERT_TRUE(writeBytes(scratch.file("image.d88"), Bytes(10, 1)));
    std::filesystem::create_directory(scratch.path() / "folder");
    ASSERT_EQ(mkfifo(scratch.file("fifo").c_str(), 0600), 0);
    struct Case {
        std::string path;
        OpenFailure failure;
        const char* reason;
    };
    const Case cases[] = {
        {scratch.file("image.d88"), OpenFailure::None, ""},
        {scratch.file("missing.d88"), OpenFailure::NoSuchFile, "no such file"},
        {"", OpenFailure::NoSuchFile, "no such file"},
        {scratch.file("folder"), OpenFailure::IsDirectory, "is a directory"},
        // A FIFO without a writer would block a plain open or read forever.
        {scratch.file("fifo"), OpenFailure::NotRegularFile, "not a regular file"},
        {"/dev/null", OpenFailure::NotRegularFile, "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        InputFile file;
        int error = 0;
        EXPECT_EQ(file.open(c.path.c_str(), error), c.failure);
        EXPECT_EQ(openFailureReason(c.failure, error), c.reason);
        EXPECT_EQ(file.isOpen(), c.failure == OpenFailure::None);
    }
}

TEST_F(InputFileTest, AFileReadInBlocksGivesTheSameBytesAsMemory)
{
    // Larger than one block of the file source, with a pattern no two blocks share.
    Bytes bytes(3 * (1 << 20) + 12345);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 65536);
    }
    ASSERT_TRUE(writeBytes(scratch.file("big"), bytes));
    InputFile file;
    int error = 0;
    ASSERT_EQ(file.open(scratch.file("big").c_str(), error), OpenFailure::None);
    ByteSource source(std::move(file));
    EXPECT_EQ(source.size(), bytes.size());
    const uint64_t offsets[] = {0, (1 << 20) - 5, 2 * (1 << 20) + 3, bytes.size() - 10, bytes.size(), bytes.size() + 5};
    for (const uint64_t offset : offsets) {
        SCOPED_TRACE(offset);
        uint8_t out[20] = {};
        const size_t got = source.read(offset, out, sizeof out);
        const size_t expected = offset < bytes.size() ? std::min<size_t>(20, bytes.size() - offset) : 0;
        ASSERT_EQ(got, expected);
        EXPECT_EQ(std::memcmp(out, bytes.data() + std::min<uint64_t>(offset, bytes.size()), got), 0);
    }
    EXPECT_FALSE(source.failed());
    EXPECT_LE(source.bytesFetched(), 3u * (1 << 20) + 12345);
}

}  // namespace

namespace {

// One chain of records on track 0; every other track starts at a different
// record of it, or between records where a made-up header leads back into
// it, so that walks share records from different positions.
Bytes chainWithManyStarts(uint16_t count, int zeroCountEvery)
{
    constexpr int kRecords = 300;
    constexpr int kDataSize = 8;
    D88ImageBuilder image;
    for (int i = 0; i < kRecords; ++i) {
        Bytes data(kDataSize, static_cast<uint8_t>(i));
        // Data that reads as a header whose data size leads to the next record.
        data[0] = 0;
        data[2] = static_cast<uint8_t>(i % 16 + 1);
        data[3] = 1;
        SectorRecord record = sectorAt(static_cast<uint8_t>(i), 0, static_cast<uint8_t>(i % 16 + 1), data);
        record.recordCount = zeroCountEvery > 0 && i % zeroCountEvery == zeroCountEvery - 1 ? 0 : count;
        image.addSector(0, record);
    }
    Bytes bytes = image.build();
    const int32_t first = readLE32(bytes.data() + kHeaderTrackTableOffset);
    for (int32_t track = 1; track < kTrackSlots; ++track) {
        const int32_t record = (track * 37) % kRecords;
        // Odd tracks start inside a record's data: 16 bytes there read as a
        // header, and bytes 14-15 of it (data size) are whatever the record holds.
        const int32_t offset = first + record * (kSectorHeaderSize + kDataSize) + (track % 2 == 1 ? 4 : 0);
        for (int i = 0; i < 4; ++i) {
            bytes[static_cast<size_t>(kHeaderTrackTableOffset + 4 * track + i)] = static_cast<uint8_t>(offset >> (8 * i));
        }
    }
    return bytes;
}

}  // namespace

TEST(TrackWalkTest, WalksFromManyStartsInOneChainAgreeWithThePlainRules)
{
    struct Case {
        uint16_t count;
        int zeroCountEvery;
        const char* why;
    };
    const Case cases[] = {
        {65535, 0, "no count ends a search before the file does"},
        {40, 0, "each search ends 40 records on"},
        {300, 97, "counts of 0 end searches here and there"},
        {3, 5, "short searches and listings past them"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Bytes bytes = chainWithManyStarts(c.count, c.zeroCountEvery);
        EXPECT_EQ(walkBytes(bytes.data(), bytes.size()), "");
    }
}
