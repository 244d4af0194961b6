// The lookup rules written the plainest way: every lookup walks its track
// afresh from the first record, straight over the bytes. Slow by design; the
// tests and fuzzers hold the real reader to it.
#ifndef D88CUT_TESTSUPPORT_REFERENCE_READER_H
#define D88CUT_TESTSUPPORT_REFERENCE_READER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "d88/d88_format.h"

class ReferenceReader {
public:
    ReferenceReader(const uint8_t* bytes, size_t size);

    int32_t imageCount() const { return static_cast<int32_t>(imageOffsets.size()); }
    int64_t imageOffset(int32_t index) const { return imageOffsets[static_cast<size_t>(index)]; }

    // Bytes delivered for the sector, 0 when it is not found.
    int32_t readSector(int32_t image, const SectorAddress& at, uint8_t* out, int32_t length) const;
    // How many records of the track a search looks at, and how many a walk
    // for a listing goes through: past the search, until a record count
    // equals the records walked or 256 were walked. {0, 0} for a track that
    // is absent.
    struct TrackLengths {
        int32_t searchable;
        int32_t walked;
    };
    TrackLengths trackLengths(int32_t image, int32_t track) const;
    // Bytes of the whole pieces of a run read before it stopped.
    int32_t readRun(int32_t image, SectorAddress at, SectorRange range, uint8_t* out, int32_t length) const;

private:
    const uint8_t* bytes;
    size_t size;
    std::vector<int64_t> imageOffsets;
};

#endif
