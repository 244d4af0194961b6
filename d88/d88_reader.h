// Access to the disk images stored in one D88 file.
//
// A D88 file holds one or more disk images end to end. Each image starts
// with a fixed header (name, media type, disk size, track table); each
// track is a chain of sector records, a 16-byte sector header followed by
// that sector's data. Every value read from the file is untrusted: the
// reader checks it before it seeks or indexes with it, and it never writes
// more into a caller's buffer than the length the caller gave.
#ifndef D88CUT_D88_D88_READER_H
#define D88CUT_D88_D88_READER_H

#include <cstdint>
#include <cstdio>

constexpr int32_t kMaxImages = 64;
constexpr int32_t kTrackSlots = 164;
constexpr int32_t kImageHeaderSize = 688;
constexpr int32_t kSectorHeaderSize = 16;
constexpr int32_t kDiskNameLength = 16;

// Image header offsets.
constexpr int32_t kHeaderMediaOffset = 0x1B;
constexpr int32_t kHeaderDiskSizeOffset = 0x1C;
constexpr int32_t kHeaderTrackTableOffset = 0x20;

// Sector header offsets.
constexpr int32_t kSectorCylinderOffset = 0x00;
constexpr int32_t kSectorHeadOffset = 0x01;
constexpr int32_t kSectorNumberOffset = 0x02;
constexpr int32_t kSectorSizeCodeOffset = 0x03;
constexpr int32_t kSectorRecordCountOffset = 0x04;
constexpr int32_t kSectorDataSizeOffset = 0x0E;

// Bytes per entry of listSectorIds: C, H, R, N.
constexpr int32_t kSectorIdSize = 4;

// A record of a track as its sector header describes it.
struct SectorRecordInfo {
    uint8_t c;
    uint8_t h;
    uint8_t r;
    uint8_t n;
    int32_t recordCount;  // the header's count of records in the track
    int32_t dataSize;     // the header's count of data bytes that follow it
};

// A place in a run of sectors: a track index and the ID of a sector on it.
struct RunPosition {
    int32_t track;
    int32_t c;
    int32_t h;
    int32_t r;
    int32_t n;
};

// The sector that follows position in a run whose tracks number their
// sectors first to last: the next R, or after last sector first of the next
// track (head 0 to head 1, head 1 to head 0 of the next cylinder).
RunPosition nextInRun(const RunPosition& position, int32_t first, int32_t last);

// Little-endian values assembled byte by byte, independent of host order.
uint16_t readLE16(const uint8_t* p);
int32_t readLE32(const uint8_t* p);

// Data length of a sector with size code n (128 << n), or 0 when n does not
// give a positive 32-bit length.
int32_t sectorSizeForCode(int32_t n);

class D88Reader {
public:
    D88Reader() = default;
    ~D88Reader();
    D88Reader(const D88Reader&) = delete;
    D88Reader& operator=(const D88Reader&) = delete;

    // Opens the file at path and finds the images in it. A null path closes
    // the current file instead. False when the path cannot be opened or read
    // (a directory, for example) or cannot be sought in (a pipe).
    bool open(const char* path);
    // The same for a stream the caller opened for binary reading; the reader
    // takes it over and closes it. A null stream is refused.
    bool open(std::FILE* stream);
    void close();

    bool selectImage(int32_t index);
    void setSectorRange(int32_t first, int32_t last);

    int32_t imageCount() const { return count; }
    int32_t currentImage() const { return selected; }
    const char* diskName() const { return name; }
    int32_t mediaType() const { return media; }
    // File offset of image index, or -1 when there is no such image.
    int64_t imageOffset(int32_t index) const;
    // Disk size field of the current image; 0 when none is current.
    int32_t currentDiskSize() const { return diskSize; }
    // Track table entry of the current image; 0 when out of range.
    int32_t trackOffset(int32_t track) const;
    // Whether the current image's track table points at data for track: an
    // offset above 0 and within the disk size. Lookups treat any other
    // track as absent.
    bool trackPresent(int32_t track) const;

    // Reads the data of the first record of track whose ID is (c, h, r, n),
    // at most length bytes. Returns the bytes delivered; 0 when the sector
    // is not there.
    int32_t readSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                       uint8_t* buffer, int32_t length);
    // Reads length bytes as a run of sectors in ID order, moving on to the
    // next track after lastSector. Returns the bytes of the whole pieces read
    // before the run stopped.
    int32_t readSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                        uint8_t* buffer, int32_t length);
    // Writes C, H, R, N of each record of track, four bytes a record, as many
    // whole records as fit in length. Returns the bytes written.
    int32_t listSectorIds(int32_t track, uint8_t* buffer, int32_t length);
    // Describes the records of track in file order, as many as fit in
    // capacity, by the same walk as listSectorIds. Returns the records
    // written.
    int32_t listSectorRecords(int32_t track, SectorRecordInfo* records, int32_t capacity);

private:
    void forgetImage();
    void closeAndForget();
    bool seekTo(int64_t position);
    bool seekForward(int64_t distance);
    bool readExactly(uint8_t* buffer, int32_t length);
    // Positions the stream at the first record of track; false when the
    // track is absent from the current image.
    bool seekToTrack(int32_t track);
    // Walks the records of track from its first one, handing each header to
    // visit, until capacity records were visited, a header cannot be read or
    // a record count equals the records seen. Returns the records visited.
    template <typename Visit>
    int32_t walkRecords(int32_t track, int32_t capacity, Visit visit);

    std::FILE* file = nullptr;
    int32_t selected = -1;
    int32_t count = 0;
    int32_t firstSector = 1;
    int32_t lastSector = 16;
    int32_t imageOffsets[kMaxImages] = {};
    int32_t diskSize = 0;
    int32_t imageBase = 0;
    int32_t trackOffsets[kTrackSlots] = {};
    int32_t media = -1;
    char name[kDiskNameLength + 1] = {};
};

constexpr int32_t kTransferBufferSize = 327680;

// The one reader and the one transfer buffer of the process.
extern D88Reader d88Reader;
extern uint8_t transferBuffer[kTransferBufferSize];

#endif
