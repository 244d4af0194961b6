// Finds the disk images of one D88 file and answers sector lookups in them.
//
// Every value read from the file is untrusted: offsets and lengths are worked
// in 64 bits and checked before use, and no read writes past the length its
// caller gave. Each image header is read once, when the file is scanned.
// Each sector header is read and kept once, however many tracks and images
// lead to it; a track's walk is worked out once, on its first use, from the
// records kept, and shared by every track that starts at the same byte. So
// the work stays near linear in the records the lookups actually reach. The
// reader prints nothing: every answer is a status with its bytes.
#ifndef D88CUT_D88_D88_READER_H
#define D88CUT_D88_D88_READER_H

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "d88/byte_source.h"
#include "d88/d88_format.h"

// Why a lookup delivered what it did. Found is the only complete answer.
enum class LookupStatus {
    Found,
    TrackAbsent,      // the track's table slot is 0, or the index is past the table
    TrackOutside,     // the track's offset is negative or beyond the disk size
    HeaderCutShort,   // the file ends inside the track's sector headers before the search ends
    PastRecordCount,  // a record carries the ID, but a record count ends the search before it
    NoSuchId,         // the search ends and no record carries the ID
    DataShort,        // the record's data-size field is smaller than the bytes wanted
    DataCutShort,     // the file ends inside the record's data
    SizeCodeUnusable, // the size code gives no sector size, so no run can use it
    ReadError,        // the file could not be read; nothing is delivered any more
};

// One name per status, for reports: "found", "track-absent", ...
const char* lookupStatusName(LookupStatus status);

// An image header as the scan read it.
struct ImageHeader {
    int32_t index;
    int64_t offset;     // in the file
    int32_t diskSize;   // the header's field, untrusted
    uint8_t media;
    std::string name;   // up to the first NUL, at most 16 bytes
    int32_t trackOffsets[kTrackSlots];
};

enum class TrackPresence { Present, Absent, Outside };

// A record of a track as its sector header describes it.
struct TrackRecord {
    SectorId id;
    uint16_t recordCount;  // the header's count of records in the track
    uint16_t dataSize;     // the header's count of data bytes that follow it
    uint64_t headerOffset; // in the file
};

// A walk always goes this far past the end of the search, when the file
// allows, so that a listing can show the records a record count hides.
constexpr int32_t kRecordsWalkedPastSearch = 256;

// A track's chain of records as walked from its first byte. Lookups search
// records [0, searchable): a record count of 0 ends the search before its
// record, a count at or below a record's position + 1 ends it after. The
// walk goes on past that while the file has whole headers, until a record
// count equals the records walked or kRecordsWalkedPastSearch records were
// walked. The records themselves stay in the reader, which keeps each one
// once however many walks pass over it; D88Reader::records lists them.
class TrackWalk {
public:
    uint64_t start = 0;           // file offset of the first record
    int32_t length = 0;           // records walked
    int32_t searchable = 0;       // the first records, that lookups search
    bool searchCutShort = false;  // the file ended before a record count ended the search

private:
    friend class D88Reader;
    uint32_t firstRecord = 0;
    // The searchable records as ranges of the reader's record store, in order.
    std::vector<std::pair<uint32_t, uint32_t>> searched;
    uint32_t firstAfterSearch = 0;  // the records past the search, length - searchable of them
};

struct SectorLookup {
    LookupStatus status;
    int32_t delivered;    // bytes written to the caller's buffer
    int32_t dataSize;     // the record's data-size field, when a record carries the ID
    int32_t trackOffset;  // the track table's entry
};

// A run of sectors: how much it delivered and, when it stopped short, where
// and why.
struct RunResult {
    int32_t delivered;      // bytes of the whole pieces read before it stopped
    SectorAddress stoppedAt;  // the sector it stopped at; its start when complete
    int32_t wanted;         // bytes the run needed from that sector; 0 when complete
    SectorLookup stop;      // status Found when the run is complete
};

// A map from 64-bit keys to indices by open addressing in two flat arrays,
// so that a walk of many thousand records allocates a few times, not once a
// record. Keys below UINT64_MAX only.
class FlatIndex {
public:
    static constexpr uint32_t kAbsent = UINT32_MAX;
    uint32_t find(uint64_t key) const;
    // The value of key, or kAbsent once value was stored for it.
    uint32_t findOrInsert(uint64_t key, uint32_t value);
    // Makes room for count keys before the first is inserted.
    void reserve(size_t count);

private:
    void grow();
    size_t slotOf(uint64_t key) const;
    static int shiftFor(size_t slots);  // 64 - log2(slots)
    std::vector<uint64_t> keys;  // key + 1; 0 marks a free slot
    std::vector<uint32_t> values;
    size_t used = 0;
    int shift = 64;
};

class D88Reader {
public:
    // Scans source for images: the first starts at offset 0 and each header's
    // disk size leads to the next, up to kMaxImages, while a whole header is
    // there and the next offset stays within 31 bits.
    explicit D88Reader(ByteSource& source);
    D88Reader(const D88Reader&) = delete;
    D88Reader& operator=(const D88Reader&) = delete;

    int32_t imageCount() const { return static_cast<int32_t>(images.size()); }
    // index must be below imageCount().
    const ImageHeader& image(int32_t index) const { return images[static_cast<size_t>(index)]; }
    // True once any read of the file failed; every lookup says ReadError then.
    bool readFailed() const { return source.failed(); }
    int readErrorNumber() const { return source.systemError(); }

    static TrackPresence trackPresence(const ImageHeader& image, int32_t track);
    // The walk of a present track, shared with every track that starts at the
    // same byte; null when the track is absent or outside the disk.
    const TrackWalk* walk(const ImageHeader& image, int32_t track);
    // The first records of a walk, at most limit of them, in file order.
    std::vector<TrackRecord> records(const TrackWalk& walk, int32_t limit) const;

    // Reads the data of the first searchable record of at.track whose ID is
    // at.id, at most length bytes, into buffer.
    SectorLookup readSector(const ImageHeader& image, const SectorAddress& at, uint8_t* buffer, int32_t length);
    // Reads length bytes as a run of sectors in ID order from start, moving on
    // to the next track after range.last. Pieces are 128 << N bytes, the last
    // one cut to what is left; a piece that arrives short ends the run and is
    // not counted.
    RunResult readRun(const ImageHeader& image, SectorAddress start, SectorRange range, uint8_t* buffer,
                      int32_t length);

private:
    // The records of the file are kept once each, in stretches that follow
    // the chain: within a stretch each record's successor is the next index;
    // a stretch ends in a link to any record, at the end of the file, or
    // where nothing was read yet. Chains that meet share their records, so
    // walks from different starts cost only the records nobody read before.
    struct Stretch {
        uint32_t last;
        uint32_t link;  // kFileEnds, kNotRead or a record index
    };
    static constexpr uint32_t kFileEnds = UINT32_MAX;
    static constexpr uint32_t kNotRead = UINT32_MAX - 1;

    const TrackWalk& walkFrom(uint64_t start);
    static void addSearched(TrackWalk& walk, uint32_t from, uint32_t to);
    // The record whose header starts at offset, read now if it was not;
    // kFileEnds when no whole header is there.
    uint32_t recordAtOffset(uint64_t offset);
    // The same, saying whether the record is new: a new one is stored but in
    // no stretch yet.
    uint32_t readRecord(uint64_t offset, bool& isNew);
    uint32_t successor(uint32_t record);
    // Reads on from the open end of a stretch.
    void readAhead(uint32_t stretch);
    // The first record in [from, to] of one stretch whose record count ends a
    // search that met record from at position fromPosition; UINT32_MAX for
    // none.
    uint32_t firstSearchEnd(uint32_t from, uint32_t to, int64_t fromPosition) const;
    // For record k: k + 1 - its record count, so that a search meeting it at
    // position p ends there when p >= count - 1; INT64_MAX for a count of 0.
    int64_t searchEndsFrom(uint32_t record) const;

    ByteSource& source;
    std::vector<ImageHeader> images;
    std::vector<TrackRecord> store;
    std::vector<uint32_t> stretchOf;        // per record
    std::vector<Stretch> stretches;
    // Of searchEndsFrom, per block of kBlockOfRecords records.
    std::vector<int64_t> blockMaximum;
    FlatIndex recordAt;  // header offset -> record
    FlatIndex idListOf;  // ID key -> index in recordsWithId
    std::vector<std::vector<uint32_t>> recordsWithId;  // the records of one ID, ascending
    std::deque<TrackWalk> walks;
    std::unordered_map<uint64_t, size_t> walkAt;  // start offset -> index in walks
};

#endif
