#include "d88/d88_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

D88Reader d88Reader;
uint8_t transferBuffer[kTransferBufferSize];

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

RunPosition nextInRun(const RunPosition& position, int32_t first, int32_t last)
{
    RunPosition next = position;
    if (position.r != last) {
        ++next.r;
        return next;
    }
    ++next.track;
    if (position.h == 0) {
        next.h = 1;
    } else {
        next.h = 0;
        ++next.c;
    }
    next.r = first;
    return next;
}

D88Reader::~D88Reader()
{
    close();
}

void D88Reader::close()
{
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
}

void D88Reader::closeAndForget()
{
    close();
    count = 0;
    forgetImage();
}

bool D88Reader::open(const char* path)
{
    if (path == nullptr) {
        closeAndForget();
        return true;
    }
    // Some C libraries open a directory for reading and only fail on read.
    std::error_code error;
    if (std::filesystem::is_directory(std::filesystem::path(path), error)) {
        closeAndForget();
        return false;
    }
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        closeAndForget();
        return false;
    }
    return open(stream);
}

bool D88Reader::open(std::FILE* stream)
{
    closeAndForget();
    if (stream == nullptr) {
        return false;
    }
    file = stream;
    count = 0;
    int64_t offset = 0;
    uint8_t header[kImageHeaderSize];
    while (count < kMaxImages) {
        imageOffsets[count] = static_cast<int32_t>(offset);
        if (!seekTo(offset)) {
            // Any position within 31 bits can be sought in a file, even past
            // its end, so only a stream that cannot seek (a pipe, a terminal)
            // lands here. Its images cannot be read: passing it off as a file
            // without a disk would report success for a run that did nothing.
            closeAndForget();
            return false;
        }
        if (!readExactly(header, kImageHeaderSize)) {
            break;
        }
        ++count;
        offset += readLE32(header + kHeaderDiskSizeOffset);
        if (offset < 0 || offset > INT32_MAX) {
            break;  // image offsets are 31-bit; a disk size that leaves that range ends the file
        }
    }
    if (std::ferror(file)) {
        closeAndForget();
        return false;
    }
    return true;
}

int64_t D88Reader::imageOffset(int32_t index) const
{
    return index >= 0 && index < count ? imageOffsets[index] : -1;
}

int32_t D88Reader::trackOffset(int32_t track) const
{
    return track >= 0 && track < kTrackSlots ? trackOffsets[track] : 0;
}

void D88Reader::forgetImage()
{
    imageBase = -1;
    selected = -1;
    media = -1;
    diskSize = 0;
    std::memset(name, 0, sizeof name);
    std::memset(trackOffsets, 0, sizeof trackOffsets);
}

bool D88Reader::selectImage(int32_t index)
{
    if (file == nullptr) {
        return false;
    }
    forgetImage();
    if (index < 0 || index >= count) {
        return false;
    }
    uint8_t header[kImageHeaderSize];
    if (!seekTo(imageOffsets[index]) || !readExactly(header, kImageHeaderSize)) {
        return false;
    }
    imageBase = imageOffsets[index];
    for (int32_t i = 0; i < kTrackSlots; ++i) {
        trackOffsets[i] = readLE32(header + kHeaderTrackTableOffset + 4 * i);
    }
    media = header[kHeaderMediaOffset];
    diskSize = readLE32(header + kHeaderDiskSizeOffset);
    const auto* nameEnd = static_cast<const uint8_t*>(std::memchr(header, 0, kDiskNameLength));
    const size_t nameLength = nameEnd != nullptr ? static_cast<size_t>(nameEnd - header) : kDiskNameLength;
    std::memcpy(name, header, nameLength);
    selected = index;
    return true;
}

void D88Reader::setSectorRange(int32_t first, int32_t last)
{
    firstSector = first;
    lastSector = last;
}

bool D88Reader::seekTo(int64_t position)
{
    // fseek takes a long, which is 32 bits on some platforms.
    if (position < 0 || position > LONG_MAX) {
        return false;
    }
    return std::fseek(file, static_cast<long>(position), SEEK_SET) == 0;
}

bool D88Reader::seekForward(int64_t distance)
{
    const long position = std::ftell(file);
    if (position < 0) {
        return false;
    }
    return seekTo(int64_t{position} + distance);
}

bool D88Reader::readExactly(uint8_t* buffer, int32_t length)
{
    return std::fread(buffer, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length);
}

bool D88Reader::trackPresent(int32_t track) const
{
    if (track < 0 || track >= kTrackSlots) {
        return false;
    }
    const int32_t offset = trackOffsets[track];
    // Slot 0 marks an absent track; a negative or oversized one is as good as absent.
    return offset > 0 && offset <= diskSize;
}

bool D88Reader::seekToTrack(int32_t track)
{
    if (file == nullptr || !trackPresent(track)) {
        return false;
    }
    return seekTo(int64_t{imageBase} + trackOffsets[track]);
}

int32_t D88Reader::readSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                              uint8_t* buffer, int32_t length)
{
    if (length < 0 || !seekToTrack(track)) {
        return 0;
    }
    uint8_t header[kSectorHeaderSize];
    for (int32_t i = 0;; ++i) {
        if (!readExactly(header, kSectorHeaderSize)) {
            return 0;
        }
        const int32_t recordCount = readLE16(header + kSectorRecordCountOffset);
        const int32_t dataSize = readLE16(header + kSectorDataSizeOffset);
        if (recordCount == 0) {
            return 0;
        }
        if (header[kSectorCylinderOffset] == c && header[kSectorHeadOffset] == h &&
            header[kSectorNumberOffset] == r && header[kSectorSizeCodeOffset] == n) {
            const int32_t wanted = std::min(dataSize, length);
            return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(wanted), file));
        }
        if (!seekForward(dataSize) || i + 1 >= recordCount) {
            return 0;
        }
    }
}

int32_t D88Reader::readSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                               uint8_t* buffer, int32_t length)
{
    int32_t chunk = sectorSizeForCode(n);
    if (chunk == 0 || length < 0) {
        return 0;
    }
    RunPosition position{track, c, h, r, n};
    int32_t total = 0;
    while (total < length) {
        chunk = std::min(chunk, length - total);
        if (readSector(position.track, position.c, position.h, position.r, position.n, buffer + total, chunk) <
            chunk) {
            return total;
        }
        total += chunk;
        // A successful read matched c, h and r against ID bytes, so stepping
        // on cannot overflow.
        position = nextInRun(position, firstSector, lastSector);
    }
    return total;
}

template <typename Visit>
int32_t D88Reader::walkRecords(int32_t track, int32_t capacity, Visit visit)
{
    if (capacity <= 0 || !seekToTrack(track)) {
        return 0;
    }
    uint8_t header[kSectorHeaderSize];
    int32_t visited = 0;
    while (visited < capacity) {
        if (!readExactly(header, kSectorHeaderSize)) {
            break;
        }
        visit(visited, header);
        ++visited;
        if (!seekForward(readLE16(header + kSectorDataSizeOffset)) ||
            readLE16(header + kSectorRecordCountOffset) == visited) {
            break;
        }
    }
    return visited;
}

int32_t D88Reader::listSectorIds(int32_t track, uint8_t* buffer, int32_t length)
{
    if (length < 0) {
        return 0;
    }
    const int32_t listed = walkRecords(track, length / kSectorIdSize, [buffer](int32_t i, const uint8_t* header) {
        std::memcpy(buffer + i * kSectorIdSize, header, kSectorIdSize);
    });
    return listed * kSectorIdSize;
}

int32_t D88Reader::listSectorRecords(int32_t track, SectorRecordInfo* records, int32_t capacity)
{
    return walkRecords(track, capacity, [records](int32_t i, const uint8_t* header) {
        records[i] = SectorRecordInfo{header[kSectorCylinderOffset],
                                      header[kSectorHeadOffset],
                                      header[kSectorNumberOffset],
                                      header[kSectorSizeCodeOffset],
                                      readLE16(header + kSectorRecordCountOffset),
                                      readLE16(header + kSectorDataSizeOffset)};
    });
}
