// Builds D88 files byte by byte for tests, fuzz seeds and the sample image.
//
// Every field the reader looks at can be set, including values that are
// wrong on purpose: record counts, data-size fields that disagree with the
// data, track offsets and disk sizes.
#ifndef D88CUT_TESTSUPPORT_D88_FIXTURE_H
#define D88CUT_TESTSUPPORT_D88_FIXTURE_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct SectorRecord {
    uint8_t c = 0;
    uint8_t h = 0;
    uint8_t r = 1;
    uint8_t n = 1;
    Bytes data;
    // Written into the header instead of the true values when set.
    std::optional<uint16_t> recordCount;
    std::optional<uint16_t> dataSizeField;
};

// A record with ID (c, h, r, n) holding data.
SectorRecord sectorAt(uint8_t c, uint8_t h, uint8_t r, Bytes data, uint8_t n = 1);

class D88ImageBuilder {
public:
    D88ImageBuilder& setName(const std::string& name);  // first 16 bytes are kept
    D88ImageBuilder& setMedia(uint8_t media);
    // Appends a record to the track; tracks are laid out in index order.
    D88ImageBuilder& addSector(int track, const SectorRecord& sector);
    // Sectors first..last of 256 bytes with IDs at the track's physical
    // position, filled with sectorPattern(tag, track, r).
    D88ImageBuilder& addStandardTrack(int track, uint8_t tag, int first = 1, int last = 16);
    // Replaces the data of the first sector of track numbered r.
    D88ImageBuilder& setSectorData(int track, int r, const Bytes& data);
    D88ImageBuilder& removeSector(int track, int r);
    D88ImageBuilder& removeTrack(int track);
    D88ImageBuilder& overrideTrackOffset(int track, int32_t offset);
    D88ImageBuilder& overrideDiskSize(int32_t diskSize);

    // The data of the first sector of track numbered r, or null.
    const Bytes* sectorData(int track, int r) const;
    Bytes build() const;

private:
    std::string name;
    uint8_t media = 0;
    std::map<int, std::vector<SectorRecord>> tracks;
    std::map<int, int32_t> trackOffsetOverrides;
    std::optional<int32_t> diskSizeOverride;
};

// 256 bytes that identify their place: tag, track and sector number first,
// then a pattern derived from them.
Bytes sectorPattern(uint8_t tag, int track, int r);

// A whole double-sided disk: 80 tracks of sectors 1 to 16, 256 bytes each,
// whose signature sector (track 2, sector 1) starts with signature.
D88ImageBuilder standardDisk(uint8_t tag, uint8_t signature, const std::string& name);

// Several images end to end.
Bytes concatenate(const std::vector<Bytes>& images);

bool writeBytes(const std::string& path, const Bytes& bytes);
bool readBytes(const std::string& path, Bytes& bytes);

#endif
