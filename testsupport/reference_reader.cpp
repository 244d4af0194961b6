// Each rule as a loop over the bytes, with no index and no sharing.
#include "testsupport/reference_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>

ReferenceReader::ReferenceReader(const uint8_t* data, size_t length) : bytes(data), size(length)
{
    int64_t offset = 0;
    while (imageOffsets.size() < static_cast<size_t>(kMaxImages) &&
           static_cast<uint64_t>(offset) + kImageHeaderSize <= size) {
        imageOffsets.push_back(offset);
        offset += readLE32(bytes + offset + kHeaderDiskSizeOffset);
        if (offset < 0 || offset > INT32_MAX) {
            break;
        }
    }
}

int32_t ReferenceReader::readSector(int32_t image, const SectorAddress& at, uint8_t* out, int32_t length) const
{
    const int64_t base = imageOffsets[static_cast<size_t>(image)];
    const uint8_t* header = bytes + base;
    if (length < 0 || at.track < 0 || at.track >= kTrackSlots) {
        return 0;
    }
    const int32_t trackOffset = readLE32(header + kHeaderTrackTableOffset + 4 * at.track);
    if (trackOffset <= 0 || trackOffset > readLE32(header + kHeaderDiskSizeOffset)) {
        return 0;
    }
    uint64_t position = static_cast<uint64_t>(base + trackOffset);
    for (int64_t i = 0;; ++i) {
        if (position + kSectorHeaderSize > size) {
            return 0;
        }
        const uint8_t* record = bytes + position;
        const int32_t count = readLE16(record + kSectorRecordCountOffset);
        const int32_t dataSize = readLE16(record + kSectorDataSizeOffset);
        if (count == 0) {
            return 0;
        }
        if (record[0] == at.id.c && record[1] == at.id.h && record[2] == at.id.r && record[3] == at.id.n) {
            const uint64_t dataStart = position + kSectorHeaderSize;
            const uint64_t present = dataStart < size ? size - dataStart : 0;
            const auto got = static_cast<int32_t>(std::min<uint64_t>(std::min(dataSize, length), present));
            std::memcpy(out, bytes + dataStart, static_cast<size_t>(got));
            return got;
        }
        if (i + 1 >= count) {
            return 0;
        }
        position += kSectorHeaderSize + static_cast<uint64_t>(dataSize);
    }
}

ReferenceReader::TrackLengths ReferenceReader::trackLengths(int32_t image, int32_t track) const
{
    const int64_t base = imageOffsets[static_cast<size_t>(image)];
    const uint8_t* header = bytes + base;
    if (track < 0 || track >= kTrackSlots) {
        return {0, 0};
    }
    const int32_t trackOffset = readLE32(header + kHeaderTrackTableOffset + 4 * track);
    if (trackOffset <= 0 || trackOffset > readLE32(header + kHeaderDiskSizeOffset)) {
        return {0, 0};
    }
    uint64_t position = static_cast<uint64_t>(base + trackOffset);
    TrackLengths lengths{0, 0};
    bool searchEnded = false;
    while (position + kSectorHeaderSize <= size) {
        const uint8_t* record = bytes + position;
        const int32_t count = readLE16(record + kSectorRecordCountOffset);
        ++lengths.walked;
        if (!searchEnded) {
            if (count == 0) {
                searchEnded = true;
            } else {
                lengths.searchable = lengths.walked;
                searchEnded = lengths.walked >= count;
            }
        }
        if (count == lengths.walked || (searchEnded && lengths.walked >= 256)) {
            break;
        }
        position += kSectorHeaderSize + static_cast<uint64_t>(readLE16(record + kSectorDataSizeOffset));
    }
    return lengths;
}

int32_t ReferenceReader::readRun(int32_t image, SectorAddress at, SectorRange range, uint8_t* out,
                                 int32_t length) const
{
    const int32_t pieceSize = sectorSizeForCode(at.id.n);
    if (pieceSize == 0) {
        return 0;
    }
    int32_t total = 0;
    while (total < length) {
        if (total > 0 && !nextInRun(at, range)) {
            return total;
        }
        const int32_t piece = std::min(pieceSize, length - total);
        if (readSector(image, at, out + total, piece) < piece) {
            return total;
        }
        total += piece;
    }
    return total;
}
