// Byte-order helpers and the stepping rule of a run of sectors.
#include "d88/d88_format.h"

#include <climits>

uint16_t readLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

int32_t readLE32(const uint8_t* p)
{
    const uint32_t value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(value);
}

int32_t sectorSizeForCode(int32_t n)
{
    if (n < 0 || n > 31) {
        return 0;
    }
    const int64_t size = int64_t{128} << n;
    return size <= INT32_MAX ? static_cast<int32_t>(size) : 0;
}

bool nextInRun(SectorAddress& at, SectorRange range)
{
    SectorAddress next = at;
    if (at.id.r != range.last) {
        if (at.id.r == UINT8_MAX) {
            return false;
        }
        ++next.id.r;
    } else {
        if (at.id.h == 0) {
            next.id.h = 1;
        } else {
            if (at.id.c == UINT8_MAX) {
                return false;
            }
            next.id.h = 0;
            ++next.id.c;
        }
        ++next.track;
        next.id.r = range.first;
    }
    at = next;
    return true;
}
