// The D88 layout as far as the tools read it: images laid end to end, each a
// 688-byte header with a track table, each track a chain of sector records
// (a 16-byte sector header and that many data bytes). Values here are plain
// facts of the format; nothing in this file reads a file.
#ifndef D88CUT_D88_D88_FORMAT_H
#define D88CUT_D88_D88_FORMAT_H

#include <cstdint>

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

// The four bytes a sector is found by: cylinder, head, sector number and
// size code (nominal length 128 << n), as recorded in its sector header.
struct SectorId {
    uint8_t c;
    uint8_t h;
    uint8_t r;
    uint8_t n;
};

inline bool operator==(const SectorId& a, const SectorId& b)
{
    return a.c == b.c && a.h == b.h && a.r == b.r && a.n == b.n;
}
inline bool operator!=(const SectorId& a, const SectorId& b)
{
    return !(a == b);
}

// A sector as a lookup names it: the track-table slot (2 x cylinder + head)
// to search and the ID to search it for.
struct SectorAddress {
    int32_t track;
    SectorId id;
};

// The sector numbers a run expects on every track, first to last.
struct SectorRange {
    uint8_t first;
    uint8_t last;
};

// Moves at to the sector that follows it in a run: the next R, or after the
// range's last sector the first one of the next track (head 0 to head 1,
// head 1 to head 0 of the next cylinder). False, with at unchanged, when the
// next ID would not fit its bytes: no record can carry it.
bool nextInRun(SectorAddress& at, SectorRange range);

// Little-endian values assembled byte by byte, independent of host order.
uint16_t readLE16(const uint8_t* p);
int32_t readLE32(const uint8_t* p);

// Data length of a sector with size code n (128 << n), or 0 when n does not
// give a positive 32-bit length.
int32_t sectorSizeForCode(int32_t n);

#endif
