#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>

#include <memory>

#include "d88/d88_reader.h"
#include "d88info/disk_report.h"
#include "testsupport/d88_fixture.h"
#include "testsupport/memory_reader.h"
#include "testsupport/tool_runner.h"

namespace {

// A JSON string marked as bytes: each character U+0000 to U+00FF is one byte.
std::string bytesOf(const nlohmann::json& string)
{
    const std::string utf8 = string.get<std::string>();
    std::string bytes;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte == 0xC2 || byte == 0xC3) {
            bytes += static_cast<char>(((byte & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            bytes += static_cast<char>(byte);
        }
    }
    return bytes;
}

constexpr uint8_t kDiskASignatureByte = 0xC3;
constexpr uint8_t kDiskBSignatureByte = 0x08;

// Replaces the records of a track with the given ones.
void replaceTrack(D88ImageBuilder& disk, int track, const std::vector<SectorRecord>& sectors)
{
    disk.removeTrack(track);
    for (const SectorRecord& sector : sectors) {
        disk.addSector(track, sector);
    }
}

// Track of sectors 1 to 16 at its position, with one record changed.
std::vector<SectorRecord> standardTrackWith(int track, int r, const std::function<void(SectorRecord&)>& change)
{
    std::vector<SectorRecord> sectors;
    for (int i = 1; i <= 16; ++i) {
        SectorRecord sector = sectorAt(static_cast<uint8_t>(track / 2), static_cast<uint8_t>(track % 2),
                                       static_cast<uint8_t>(i), sectorPattern('A', track, i));
        if (i == r) {
            change(sector);
        }
        sectors.push_back(sector);
    }
    return sectors;
}

class DiskReportTest : public ::testing::Test {
protected:
    FileReport reportOn(const Bytes& bytes)
    {
        opened = std::make_unique<MemoryReader>(bytes);
        return buildFileReport(opened->reader, "image.d88", bytes.size());
    }

    std::unique_ptr<MemoryReader> opened;
};

const CatalogueReport* entryNamed(const ImageReport& image, const std::string& name)
{
    for (const CatalogueReport& entry : image.catalogue) {
        if (entry.file.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

const TrackReport* trackAt(const ImageReport& image, int32_t index)
{
    for (const TrackReport& track : image.tracks) {
        if (track.index == index) {
            return &track;
        }
    }
    return nullptr;
}

TEST(MediaNameTest, NamesTheFiveKnownMediaBytes)
{
    const std::pair<int32_t, const char*> cases[] = {
        {0x00, "2D"},      {0x10, "2DD"},     {0x20, "2HD"},     {0x30, "1D"},      {0x40, "1DD"},
        {0x01, "unknown"}, {0x50, "unknown"}, {0xFF, "unknown"}, {-1, "unknown"},
    };
    for (const auto& [media, name] : cases) {
        EXPECT_STREQ(mediaName(media), name) << media;
    }
}

TEST_F(DiskReportTest, CompleteDiskHasEveryEntryWhole)
{
    const FileReport report = reportOn(standardDisk('A', kDiskASignatureByte, "WHOLE").build());
    ASSERT_EQ(report.images.size(), 1u);
    const ImageReport& image = report.images[0];
    EXPECT_EQ(image.recognition.kind, diskKindForSignature(kDiskASignatureByte));
    EXPECT_EQ(image.tracks.size(), 80u);
    ASSERT_EQ(image.catalogue.size(), 19u);
    for (const CatalogueReport& entry : image.catalogue) {
        EXPECT_EQ(entry.delivered, entry.file.length) << entry.file.name;
        EXPECT_EQ(entry.outcome(), RunOutcome::Complete) << entry.file.name;
        EXPECT_EQ(entry.stop.problem, LookupStatus::Found) << entry.file.name;
    }
    for (const TrackReport& track : image.tracks) {
        EXPECT_EQ(track.sectors.size(), 16u);
        EXPECT_TRUE(std::none_of(track.sectors.begin(), track.sectors.end(),
                                 [](const SectorReport& sector) { return sector.marked(); }))
            << track.index;
    }
}

TEST_F(DiskReportTest, RecognitionVerdictsAndWhyTheSignatureIsMissing)
{
    struct Case {
        const char* why;
        std::function<void(D88ImageBuilder&)> damage;
        const DiskKind* kind;
        int32_t bytesRead;
        uint8_t firstByte;
        LookupStatus missing;
    };
    const auto signature = [](uint8_t byte) {
        return [byte](D88ImageBuilder& disk) {
            Bytes data = sectorPattern('A', 2, 1);
            data[0] = byte;
            disk.setSectorData(2, 1, data);
        };
    };
    const Case cases[] = {
        {"Disk A", signature(0xC3), diskKindForSignature(kDiskASignatureByte), 256, 0xC3, LookupStatus::Found},
        {"Disk B", signature(0x08), diskKindForSignature(kDiskBSignatureByte), 256, 0x08, LookupStatus::Found},
        {"another byte", signature(0x41), nullptr, 256, 0x41, LookupStatus::Found},
        {"one byte is enough", [](D88ImageBuilder& disk) { disk.setSectorData(2, 1, Bytes(1, 0x08)); },
         diskKindForSignature(kDiskBSignatureByte), 1, 0x08, LookupStatus::Found},
        {"no track 2", [](D88ImageBuilder& disk) { disk.removeTrack(2); }, nullptr, 0, 0,
         LookupStatus::TrackAbsent},
        {"no sector 1 on track 2", [](D88ImageBuilder& disk) { disk.removeSector(2, 1); }, nullptr, 0, 0,
         LookupStatus::NoSuchId},
        {"signature sector with N 2",
         [](D88ImageBuilder& disk) {
             replaceTrack(disk, 2, standardTrackWith(2, 1, [](SectorRecord& sector) { sector.n = 2; }));
         },
         nullptr, 0, 0, LookupStatus::NoSuchId},
        {"record count 0 on the signature sector",
         [](D88ImageBuilder& disk) {
             replaceTrack(disk, 2, standardTrackWith(2, 1, [](SectorRecord& sector) { sector.recordCount = 0; }));
         },
         nullptr, 0, 0, LookupStatus::PastRecordCount},
        {"signature sector with no data", [](D88ImageBuilder& disk) { disk.setSectorData(2, 1, Bytes()); },
         nullptr, 0, 0, LookupStatus::DataShort},
        {"track 2 outside the disk", [](D88ImageBuilder& disk) { disk.overrideTrackOffset(2, 0x7FFFFFF0); },
         nullptr, 0, 0, LookupStatus::TrackOutside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        D88ImageBuilder disk = standardDisk('A', 0x00, "VERDICT");
        c.damage(disk);
        const FileReport report = reportOn(disk.build());
        ASSERT_EQ(report.images.size(), 1u);
        const ImageReport& image = report.images[0];
        EXPECT_EQ(image.recognition.kind, c.kind);
        EXPECT_EQ(image.recognition.signatureRead.delivered, c.bytesRead);
        if (c.bytesRead > 0) {
            EXPECT_EQ(image.recognition.firstByte, c.firstByte);
        }
        EXPECT_EQ(image.signatureMissing.problem, c.missing);
        EXPECT_EQ(image.catalogue.empty(), c.kind == nullptr);
    }
}

// Each damage to a Disk A and the first entry it affects: what its run
// delivers and the sector and reason it stops at. The numbers are worked out
// from the catalogue by hand, not taken from the code.
TEST_F(DiskReportTest, ExplainsWhereAndWhyEachRunStops)
{
    struct Case {
        const char* why;
        std::function<void(D88ImageBuilder&)> damage;
        const char* entry;
        int32_t delivered;
        RunOutcome outcome;
        LookupStatus problem;
        int32_t track;
        int32_t r;
    };
    const Case cases[] = {
        {"track 74 missing", [](D88ImageBuilder& disk) { disk.removeTrack(74); }, "ADPCM106", 0,
         RunOutcome::Skipped, LookupStatus::TrackAbsent, 74, 1},
        {"sector 5 of track 63 missing", [](D88ImageBuilder& disk) { disk.removeSector(63, 5); }, "ADPCM100", 5120,
         RunOutcome::Short, LookupStatus::NoSuchId, 63, 5},
        {"the same for the entry that starts there", [](D88ImageBuilder& disk) { disk.removeSector(63, 5); },
         "ADPCM101", 0, RunOutcome::Skipped, LookupStatus::NoSuchId, 63, 5},
        {"sector 13 of track 56 holds 10 bytes", [](D88ImageBuilder& disk) { disk.setSectorData(56, 13, Bytes(10)); },
         "MUS106", 512, RunOutcome::Short, LookupStatus::DataShort, 56, 13},
        {"sector 4 of track 18 on another cylinder",
         [](D88ImageBuilder& disk) {
             replaceTrack(disk, 18, standardTrackWith(18, 4, [](SectorRecord& sector) { sector.c = 7; }));
         },
         "PCMDRV", 768, RunOutcome::Short, LookupStatus::NoSuchId, 18, 4},
        {"sector 9 of track 1 with N 2",
         [](D88ImageBuilder& disk) {
             replaceTrack(disk, 1, standardTrackWith(1, 9, [](SectorRecord& sector) { sector.n = 2; }));
         },
         "MUSDRV", 7 * 256, RunOutcome::Short, LookupStatus::NoSuchId, 1, 9},
        {"record count 2 on the third record",
         [](D88ImageBuilder& disk) {
             replaceTrack(disk, 62, standardTrackWith(62, 3, [](SectorRecord& sector) { sector.recordCount = 2; }));
         },
         "ADPCM100", 3 * 256, RunOutcome::Short, LookupStatus::PastRecordCount, 62, 4},
        {"record count 0 on the fourth record",
         [](D88ImageBuilder& disk) {
             replaceTrack(disk, 62, standardTrackWith(62, 4, [](SectorRecord& sector) { sector.recordCount = 0; }));
         },
         "ADPCM100", 3 * 256, RunOutcome::Short, LookupStatus::PastRecordCount, 62, 4},
        {"track 57 outside the disk", [](D88ImageBuilder& disk) { disk.overrideTrackOffset(57, -16); }, "MUS108", 0,
         RunOutcome::Skipped, LookupStatus::TrackOutside, 57, 1},
        {"run goes on into a missing track", [](D88ImageBuilder& disk) { disk.removeTrack(75); }, "ADPCM106",
         16 * 256, RunOutcome::Short, LookupStatus::TrackAbsent, 75, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        D88ImageBuilder disk = standardDisk('A', kDiskASignatureByte, "DAMAGED");
        c.damage(disk);
        const FileReport report = reportOn(disk.build());
        ASSERT_EQ(report.images.size(), 1u);
        const CatalogueReport* entry = entryNamed(report.images[0], c.entry);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->delivered, c.delivered);
        EXPECT_EQ(entry->outcome(), c.outcome);
        EXPECT_EQ(entry->stop.problem, c.problem);
        EXPECT_EQ(entry->stop.at.track, c.track);
        EXPECT_EQ(entry->stop.at.id.c, c.track / 2);
        EXPECT_EQ(entry->stop.at.id.h, c.track % 2);
        EXPECT_EQ(entry->stop.at.id.r, c.r);
        EXPECT_EQ(entry->stop.at.id.n, 1);
        EXPECT_FALSE(describeStop(entry->stop).empty());
    }
}

TEST_F(DiskReportTest, FileCutShortInsideARunAndBeforeATrack)
{
    const D88ImageBuilder disk = standardDisk('B', kDiskBSignatureByte, "CUT");
    Bytes bytes = disk.build();
    // The header and tracks 0 to 3 whole, then 100 bytes of track 4: its
    // first header and 84 bytes of that sector's data.
    bytes.resize(688 + 4 * 16 * (16 + 256) + 100);
    const FileReport report = reportOn(bytes);
    ASSERT_EQ(report.images.size(), 1u);
    const ImageReport& image = report.images[0];
    const CatalogueReport* adpcm = entryNamed(image, "ADPCM200");
    ASSERT_NE(adpcm, nullptr);
    EXPECT_EQ(adpcm->delivered, 8192);
    EXPECT_EQ(adpcm->stop.problem, LookupStatus::DataCutShort);
    EXPECT_EQ(adpcm->stop.at.track, 4);
    EXPECT_EQ(adpcm->stop.delivered, 84);
    EXPECT_EQ(adpcm->stop.dataSize, 256);
    const CatalogueReport* mus = entryNamed(image, "MUS200");
    ASSERT_NE(mus, nullptr);
    EXPECT_EQ(mus->delivered, 0);
    EXPECT_EQ(mus->stop.problem, LookupStatus::HeaderCutShort);
    const TrackReport* cut = trackAt(image, 4);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->sectors.size(), 1u);
    const TrackReport* beyond = trackAt(image, 61);
    ASSERT_NE(beyond, nullptr);
    EXPECT_EQ(beyond->state, TrackState::NoHeader);
}

TEST_F(DiskReportTest, MarksRecordsThatRunsCannotRead)
{
    D88ImageBuilder disk;
    SectorRecord countTwo = sectorAt(3, 1, 3, Bytes(256));
    countTwo.recordCount = 2;
    SectorRecord overlong = sectorAt(3, 1, 4, Bytes(300));
    disk.addSector(7, sectorAt(3, 1, 1, Bytes(256)))
        .addSector(7, sectorAt(9, 0, 2, Bytes(256)))
        .addSector(7, countTwo)
        .addSector(7, overlong)
        .addSector(7, sectorAt(3, 1, 5, Bytes(512), 2))
        .addSector(7, sectorAt(3, 1, 6, Bytes(200)));
    const FileReport report = reportOn(disk.build());
    ASSERT_EQ(report.images.size(), 1u);
    const TrackReport* track = trackAt(report.images[0], 7);
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->sectors.size(), 6u);
    struct Expected {
        bool offPosition, sizeCodeNotOne, dataSizeDiffers, unreachable;
    };
    const Expected expected[] = {
        {false, false, false, false}, {true, false, false, false}, {false, false, false, false},
        {false, false, true, true},   {false, true, false, true},  {false, false, true, true},
    };
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const SectorReport& sector = track->sectors[i];
        EXPECT_EQ(sector.offPosition, expected[i].offPosition);
        EXPECT_EQ(sector.sizeCodeNotOne, expected[i].sizeCodeNotOne);
        EXPECT_EQ(sector.dataSizeDiffers, expected[i].dataSizeDiffers);
        EXPECT_EQ(sector.unreachable, expected[i].unreachable);
        EXPECT_EQ(describeMarks(sector, 7).empty(), !sector.marked());
    }
    EXPECT_TRUE(report.images[0].catalogue.empty());
}

TEST_F(DiskReportTest, TracksOutsideTheDiskAndListingsThatFillUp)
{
    D88ImageBuilder disk;
    disk.addStandardTrack(0, 'T', 1, 2);
    disk.addStandardTrack(1, 'T', 1, 1);
    disk.overrideTrackOffset(1, 0x7FFFFFFF);
    for (int i = 0; i < kMaxListedRecords + 4; ++i) {
        SectorRecord sector = sectorAt(1, 0, static_cast<uint8_t>(i), Bytes(1));
        sector.recordCount = 0;
        disk.addSector(2, sector);
    }
    const FileReport report = reportOn(disk.build());
    ASSERT_EQ(report.images.size(), 1u);
    const ImageReport& image = report.images[0];
    ASSERT_EQ(image.tracks.size(), 3u);
    EXPECT_EQ(image.tracks[0].state, TrackState::Listed);
    EXPECT_FALSE(image.tracks[0].listingFull);
    EXPECT_EQ(image.tracks[1].state, TrackState::OffsetOutside);
    EXPECT_TRUE(image.tracks[1].sectors.empty());
    EXPECT_EQ(image.tracks[2].sectors.size(), static_cast<size_t>(kMaxListedRecords));
    EXPECT_TRUE(image.tracks[2].listingFull);
}

TEST_F(DiskReportTest, RecordPastTheListingLimitIsStillFoundByLookups)
{
    D88ImageBuilder disk;
    SectorRecord signature = sectorAt(1, 0, 1, Bytes(256, kDiskBSignatureByte));
    disk.addSector(2, signature);
    for (int i = 0; i < kMaxListedRecords + 1; ++i) {
        SectorRecord filler = sectorAt(30, 1, 200, Bytes(1));
        filler.recordCount = 400;
        disk.addSector(61, filler);
    }
    SectorRecord late = sectorAt(30, 1, 7, Bytes(100));
    late.recordCount = 400;
    disk.addSector(61, late);
    const FileReport report = reportOn(disk.build());
    ASSERT_EQ(report.images.size(), 1u);
    const TrackReport* track = trackAt(report.images[0], 61);
    ASSERT_NE(track, nullptr);
    EXPECT_TRUE(track->listingFull);
    const CatalogueReport* mus = entryNamed(report.images[0], "MUS200");
    ASSERT_NE(mus, nullptr);
    EXPECT_EQ(mus->delivered, 0);
    EXPECT_EQ(mus->stop.problem, LookupStatus::DataShort);
    EXPECT_EQ(mus->stop.delivered, 100);
    EXPECT_EQ(describeStop(mus->stop), "sector C 30 H 1 R 7 N 1 of track 61 holds 100 bytes, not 256");
}

TEST_F(DiskReportTest, RecordsAreListedOnceAndReferredToAfterwards)
{
    // Every image at offset 0 (disk size 0 steps nowhere) lists nothing of
    // its own; two tracks of the first that start at one byte share a listing.
    D88ImageBuilder disk = standardDisk('A', kDiskASignatureByte, "SAME");
    Bytes bytes = disk.build();
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<size_t>(kHeaderTrackTableOffset + 4 * 5 + i)] = bytes[static_cast<size_t>(kHeaderTrackTableOffset + 4 * 4 + i)];
    }
    Bytes twice = concatenate({bytes, bytes});
    const FileReport report = reportOn(twice);
    ASSERT_EQ(report.images.size(), 2u);
    const TrackReport* shared = trackAt(report.images[0], 5);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->state, TrackState::SameAsEarlier);
    EXPECT_EQ(shared->sameAs.image, 0);
    EXPECT_EQ(shared->sameAs.track, 4);
    EXPECT_NE(reportText(report).find("the same records as image 0 track 4"), std::string::npos);

    D88ImageBuilder still = standardDisk('A', kDiskASignatureByte, "STILL");
    still.overrideDiskSize(0);
    const FileReport repeated = reportOn(still.build());
    ASSERT_EQ(repeated.images.size(), static_cast<size_t>(kMaxImages));
    EXPECT_EQ(repeated.images[1].sameTracksAs, 0);
    EXPECT_TRUE(repeated.images[1].tracks.empty());
    // Each image still says what d88cut does with it.
    EXPECT_EQ(repeated.images[kMaxImages - 1].catalogue.size(), repeated.images[0].catalogue.size());
    EXPECT_LT(reportText(repeated).size(), 40000u);
}

// A small Disk B whose every line of the text is pinned: ADPCM200 runs from
// track 2 into track 4, which is absent; MUS200's second sector is short.
D88ImageBuilder smallDamagedDiskB()
{
    D88ImageBuilder disk;
    disk.setName(std::string("B\x82\xA0\"\\", 5)).setMedia(0x10);
    disk.addStandardTrack(2, 'B').addStandardTrack(3, 'B');
    Bytes signature = sectorPattern('B', 2, 1);
    signature[0] = kDiskBSignatureByte;
    disk.setSectorData(2, 1, signature);
    disk.addStandardTrack(61, 'B', 7, 7);
    disk.addSector(61, sectorAt(30, 1, 8, Bytes(100)));
    disk.addSector(61, sectorAt(31, 0, 9, Bytes(512), 2));
    disk.addStandardTrack(70, 'B', 1, 1);
    disk.overrideTrackOffset(70, 0x7FFFFFF0);
    return disk;
}

TEST_F(DiskReportTest, TextNamesEveryShortOrSkippedEntryAndWhy)
{
    const Bytes bytes = smallDamagedDiskB().build();
    const FileReport report = reportOn(bytes);
    const std::string expected =
        "\"image.d88\": 1 image\n"
        "\n"
        "image 0 at offset 0\n"
        "  disk size    " + std::to_string(bytes.size()) + " bytes\n"
        "  disk name    \"B\\x82\\xA0\\\"\\\\\"\n"
        "  media        0x10 (2DD)\n"
        "  recognition  Disk B (signature byte 0x08)\n"
        "  tracks       4 with data; ! marks a sector a run may stop at\n"
        "    track   2  C  1 H 0  16 sectors  1-16\n"
        "    track   3  C  1 H 1  16 sectors  1-16\n"
        "    track  61  C 30 H 1   3 sectors  7 8! 9!\n"
        "        8! C 30 H 1 R 8 N 1: data size 100, not 256\n"
        "        9! C 31 H 0 R 9 N 2: its ID says C 31 H 0, the track is C 30 H 1; N is 2, not 1\n"
        "    track  70  C 35 H 0  offset 2147483632 lies outside the disk: treated as absent\n"
        "  catalogue    2 files of Disk B\n"
        "    MUS200      256 of   512 bytes  short, the rest is zeros: sector C 30 H 1 R 8 N 1 of track 61 "
        "holds 100 bytes, not 256\n"
        "    ADPCM200   8192 of 14592 bytes  short, the rest is zeros: track 4 is not in the image\n"
        "  d88cut writes 2 files (2 short) and skips 0\n";
    EXPECT_EQ(reportText(report), expected);
}

TEST_F(DiskReportTest, JsonCarriesTheSameFacts)
{
    const FileReport report = reportOn(smallDamagedDiskB().build());
    const nlohmann::json json = nlohmann::json::parse(reportJson(report), nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << reportJson(report);
    EXPECT_EQ(json["file"].get<std::string>(), "image.d88");
    EXPECT_EQ(json["imageCount"].get<int64_t>(), 1);
    const nlohmann::json& image = json["images"][0];
    EXPECT_EQ(image["offset"].get<int64_t>(), 0);
    EXPECT_EQ(bytesOf(image["name"]), std::string("B\x82\xA0\"\\", 5));
    EXPECT_TRUE(image["nameBytes"].get<bool>());
    EXPECT_FALSE(json.contains("fileBytes"));
    EXPECT_EQ(image["media"].get<int64_t>(), 0x10);
    EXPECT_EQ(image["mediaName"].get<std::string>(), "2DD");
    EXPECT_EQ(image["recognition"]["disk"].get<std::string>(), "Disk B");
    EXPECT_EQ(image["recognition"]["signatureByte"].get<int64_t>(), 8);
    EXPECT_TRUE(image["recognition"]["missing"].is_null());

    const nlohmann::json& tracks = image["tracks"];
    ASSERT_EQ(tracks.size(), 4u);
    const nlohmann::json& track61 = tracks[2];
    EXPECT_EQ(track61["index"].get<int64_t>(), 61);
    EXPECT_EQ(track61["cylinder"].get<int64_t>(), 30);
    EXPECT_EQ(track61["head"].get<int64_t>(), 1);
    EXPECT_EQ(track61["state"].get<std::string>(), "listed");
    ASSERT_EQ(track61["sectors"].size(), 3u);
    EXPECT_EQ(track61["sectors"][0]["marks"].size(), 0u);
    EXPECT_EQ(track61["sectors"][1]["dataSize"].get<int64_t>(), 100);
    ASSERT_EQ(track61["sectors"][1]["marks"].size(), 1u);
    EXPECT_EQ(track61["sectors"][1]["marks"][0].get<std::string>(), "data-size");
    const nlohmann::json& offTrack = track61["sectors"][2];
    EXPECT_EQ(offTrack["c"].get<int64_t>(), 31);
    EXPECT_EQ(offTrack["n"].get<int64_t>(), 2);
    ASSERT_EQ(offTrack["marks"].size(), 2u);
    EXPECT_EQ(offTrack["marks"][0].get<std::string>(), "off-position");
    EXPECT_EQ(offTrack["marks"][1].get<std::string>(), "size-code");
    EXPECT_EQ(tracks[3]["state"].get<std::string>(), "offset-outside");
    EXPECT_EQ(tracks[3]["offset"].get<int64_t>(), 0x7FFFFFF0);

    const nlohmann::json& catalogue = image["catalogue"];
    ASSERT_EQ(catalogue.size(), 2u);
    EXPECT_EQ(catalogue[0]["name"].get<std::string>(), "MUS200");
    EXPECT_EQ(catalogue[0]["length"].get<int64_t>(), 512);
    EXPECT_EQ(catalogue[0]["delivered"].get<int64_t>(), 256);
    EXPECT_EQ(catalogue[0]["outcome"].get<std::string>(), "short");
    EXPECT_EQ(catalogue[0]["stop"]["problem"].get<std::string>(), "data-short");
    EXPECT_EQ(catalogue[0]["stop"]["r"].get<int64_t>(), 8);
    EXPECT_EQ(catalogue[0]["stop"]["dataSize"].get<int64_t>(), 100);
    EXPECT_EQ(catalogue[0]["stop"]["reason"].get<std::string>(), describeStop(report.images[0].catalogue[0].stop));
    EXPECT_EQ(catalogue[1]["delivered"].get<int64_t>(), 8192);
    EXPECT_EQ(catalogue[1]["stop"]["problem"].get<std::string>(), "track-absent");
    EXPECT_EQ(catalogue[1]["stop"]["track"].get<int64_t>(), 4);
}

TEST_F(DiskReportTest, JsonOfADiskThatIsNeitherHasItsReasonAndNoCatalogue)
{
    D88ImageBuilder disk;
    disk.addStandardTrack(3, 'N');
    const FileReport report = reportOn(concatenate({disk.build(), Bytes(10)}));
    const nlohmann::json json = nlohmann::json::parse(reportJson(report), nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    const nlohmann::json& recognition = json["images"][0]["recognition"];
    EXPECT_TRUE(recognition["disk"].is_null());
    EXPECT_TRUE(recognition["signatureByte"].is_null());
    EXPECT_EQ(recognition["missing"]["problem"].get<std::string>(), "track-absent");
    EXPECT_EQ(recognition["missing"]["track"].get<int64_t>(), 2);
    EXPECT_EQ(json["images"][0]["catalogue"].size(), 0u);
    EXPECT_NE(reportText(report).find("recognition  neither disk: no signature sector, track 2 is not in the image\n"),
              std::string::npos)
        << reportText(report);
}

TEST(JsonStringTest, TextStaysTextAndOtherBytesComeBackWhole)
{
    struct Case {
        std::string path;
        bool bytes;  // not valid UTF-8: the characters stand for bytes
    };
    const Case cases[] = {
        {"image.d88", false},
        {"caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x92\xBE.d88", false},
        {std::string("tab\there \"quoted\" back\\slash \x7F nul\0", sizeof "tab\there \"quoted\" back\\slash \x7F nul"),
         false},
        {"\x83\x66\x83\x42\x83\x58\x83\x4E.d88", true},  // Shift-JIS
        {"caf\xE9.d88", true},                               // Latin-1
        {"overlong \xC0\xAF", true},
        {"surrogate \xED\xA0\x80", true},
        {"past U+10FFFF \xF4\x90\x80\x80", true},
        {"cut short \xE3\x81", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.path));
        FileReport report;
        report.path = c.path;
        const std::string document = reportJson(report);
        const nlohmann::json json = nlohmann::json::parse(document, nullptr, false);
        ASSERT_FALSE(json.is_discarded()) << document;
        EXPECT_EQ(json.contains("fileBytes"), c.bytes);
        EXPECT_EQ(c.bytes ? bytesOf(json["file"]) : json["file"].get<std::string>(), c.path);
        if (c.bytes) {
            EXPECT_TRUE(std::all_of(document.begin(), document.end(),
                                    [](char ch) { return (ch >= 0x20 && ch < 0x7F) || ch == '\n'; }))
                << document;
        } else {
            // Text is written as it is, not as escapes.
            const auto highBytes = [](const std::string& text) {
                return std::count_if(text.begin(), text.end(), [](char ch) { return (ch & 0x80) != 0; });
            };
            EXPECT_EQ(highBytes(document), highBytes(c.path)) << document;
        }
    }
}

TEST_F(DiskReportTest, FileWithoutImagesSaysWhy)
{
    const FileReport report = reportOn(Bytes(100));
    EXPECT_TRUE(report.images.empty());
    EXPECT_EQ(reportText(report),
              "\"image.d88\": not a D88 image: the input file holds 100 bytes, fewer than an image header's 688\n");
    const nlohmann::json json = nlohmann::json::parse(reportJson(report), nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    EXPECT_EQ(json["imageCount"].get<int64_t>(), 0);
    EXPECT_TRUE(json["images"].is_array());
}

}  // namespace
