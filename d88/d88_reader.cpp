// The image scan, the one walk per track start, and the lookups answered
// from it.
#include "d88/d88_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

uint32_t idKey(const SectorId& id)
{
    return (uint32_t{id.c} << 24) | (uint32_t{id.h} << 16) | (uint32_t{id.r} << 8) | id.n;
}

struct StatusName {
    LookupStatus status;
    const char* name;
};

constexpr StatusName kStatusNames[] = {
    {LookupStatus::Found, "found"},
    {LookupStatus::TrackAbsent, "track-absent"},
    {LookupStatus::TrackOutside, "track-outside"},
    {LookupStatus::HeaderCutShort, "header-cut-short"},
    {LookupStatus::PastRecordCount, "past-record-count"},
    {LookupStatus::NoSuchId, "sector-missing"},
    {LookupStatus::DataShort, "data-short"},
    {LookupStatus::DataCutShort, "file-ends"},
    {LookupStatus::SizeCodeUnusable, "size-code-unusable"},
    {LookupStatus::ReadError, "read-error"},
};

}  // namespace

const char* lookupStatusName(LookupStatus status)
{
    for (const StatusName& row : kStatusNames) {
        if (row.status == status) {
            return row.name;
        }
    }
    return "unknown";
}

D88Reader::D88Reader(ByteSource& bytes) : source(bytes)
{
    int64_t offset = 0;
    uint8_t header[kImageHeaderSize];
    while (static_cast<int32_t>(images.size()) < kMaxImages) {
        if (source.read(static_cast<uint64_t>(offset), header, kImageHeaderSize) != kImageHeaderSize) {
            break;
        }
        ImageHeader image{};
        image.index = static_cast<int32_t>(images.size());
        image.offset = offset;
        image.diskSize = readLE32(header + kHeaderDiskSizeOffset);
        image.media = header[kHeaderMediaOffset];
        const auto* nameEnd = static_cast<const uint8_t*>(std::memchr(header, 0, kDiskNameLength));
        image.name.assign(reinterpret_cast<const char*>(header),
                          nameEnd != nullptr ? static_cast<size_t>(nameEnd - header) : size_t{kDiskNameLength});
        for (int32_t i = 0; i < kTrackSlots; ++i) {
            image.trackOffsets[i] = readLE32(header + kHeaderTrackTableOffset + 4 * i);
        }
        images.push_back(image);
        offset += image.diskSize;
        if (offset < 0 || offset > INT32_MAX) {
            break;  // image offsets are 31-bit; a disk size that leaves that range ends the file
        }
    }
}

TrackPresence D88Reader::trackPresence(const ImageHeader& image, int32_t track)
{
    if (track < 0 || track >= kTrackSlots || image.trackOffsets[track] == 0) {
        return TrackPresence::Absent;
    }
    const int32_t offset = image.trackOffsets[track];
    return offset > 0 && offset <= image.diskSize ? TrackPresence::Present : TrackPresence::Outside;
}

const TrackWalk* D88Reader::walk(const ImageHeader& image, int32_t track)
{
    if (trackPresence(image, track) != TrackPresence::Present) {
        return nullptr;
    }
    return &walkFrom(static_cast<uint64_t>(image.offset + image.trackOffsets[track]));
}

const TrackWalk& D88Reader::walkFrom(uint64_t start)
{
    const auto known = walkAt.find(start);
    if (known != walkAt.end()) {
        return walks[known->second];
    }
    walkAt.emplace(start, walks.size());
    walks.emplace_back();
    TrackWalk& walk = walks.back();
    walk.start = start;
    bool searchEnded = false;
    uint64_t position = start;
    uint8_t header[kSectorHeaderSize];
    for (;;) {
        if (source.read(position, header, kSectorHeaderSize) != kSectorHeaderSize) {
            walk.searchCutShort = !searchEnded;
            break;
        }
        const TrackRecord record{{header[kSectorCylinderOffset], header[kSectorHeadOffset], header[kSectorNumberOffset],
                                  header[kSectorSizeCodeOffset]},
                                 readLE16(header + kSectorRecordCountOffset),
                                 readLE16(header + kSectorDataSizeOffset),
                                 position};
        walk.records.push_back(record);
        const auto walked = static_cast<int32_t>(walk.records.size());
        if (!searchEnded) {
            if (record.recordCount == 0) {
                searchEnded = true;
                walk.searchable = walked - 1;
            } else if (walked >= record.recordCount) {
                searchEnded = true;
                walk.searchable = walked;
            }
        }
        if (record.recordCount == walked || (searchEnded && walked >= kRecordsWalkedPastSearch)) {
            break;
        }
        position += kSectorHeaderSize + uint64_t{record.dataSize};
    }
    if (!searchEnded) {
        walk.searchable = static_cast<int32_t>(walk.records.size());
    }
    walk.byId.reserve(static_cast<size_t>(walk.searchable));
    for (int32_t i = 0; i < walk.searchable; ++i) {
        walk.byId.emplace_back(idKey(walk.records[static_cast<size_t>(i)].id), i);
    }
    std::sort(walk.byId.begin(), walk.byId.end());
    return walk;
}

SectorLookup D88Reader::readSector(const ImageHeader& image, const SectorAddress& at, uint8_t* buffer,
                                   int32_t length)
{
    SectorLookup lookup{LookupStatus::Found, 0, 0, 0};
    if (at.track >= 0 && at.track < kTrackSlots) {
        lookup.trackOffset = image.trackOffsets[at.track];
    }
    switch (trackPresence(image, at.track)) {
    case TrackPresence::Absent:
        lookup.status = LookupStatus::TrackAbsent;
        return lookup;
    case TrackPresence::Outside:
        lookup.status = LookupStatus::TrackOutside;
        return lookup;
    case TrackPresence::Present:
        break;
    }
    const TrackWalk& track = *walk(image, at.track);
    if (source.failed()) {
        lookup.status = LookupStatus::ReadError;
        return lookup;
    }
    const uint32_t key = idKey(at.id);
    const auto match = std::lower_bound(track.byId.begin(), track.byId.end(), std::make_pair(key, INT32_MIN));
    if (match == track.byId.end() || match->first != key) {
        const auto hidden = std::find_if(track.records.begin() + track.searchable, track.records.end(),
                                         [&at](const TrackRecord& record) { return record.id == at.id; });
        if (hidden != track.records.end()) {
            lookup.status = LookupStatus::PastRecordCount;
            lookup.dataSize = hidden->dataSize;
        } else {
            lookup.status = track.searchCutShort ? LookupStatus::HeaderCutShort : LookupStatus::NoSuchId;
        }
        return lookup;
    }
    const TrackRecord& record = track.records[static_cast<size_t>(match->second)];
    lookup.dataSize = record.dataSize;
    const int32_t wanted = std::max(0, std::min<int32_t>(record.dataSize, length));
    lookup.delivered =
        static_cast<int32_t>(source.read(record.headerOffset + kSectorHeaderSize, buffer, static_cast<size_t>(wanted)));
    if (source.failed()) {
        lookup.status = LookupStatus::ReadError;
        lookup.delivered = 0;
    } else if (lookup.delivered >= length) {
        lookup.status = LookupStatus::Found;
    } else if (record.dataSize < length) {
        lookup.status = LookupStatus::DataShort;
    } else {
        lookup.status = LookupStatus::DataCutShort;
    }
    return lookup;
}

RunResult D88Reader::readRun(const ImageHeader& image, SectorAddress start, SectorRange range, uint8_t* buffer,
                             int32_t length)
{
    RunResult run{0, start, 0, {LookupStatus::Found, 0, 0, 0}};
    const int32_t pieceSize = sectorSizeForCode(start.id.n);
    if (pieceSize == 0) {
        run.wanted = length;
        run.stop.status = LookupStatus::SizeCodeUnusable;
        return run;
    }
    SectorAddress at = start;
    while (run.delivered < length) {
        if (run.delivered > 0 && !nextInRun(at, range)) {
            // No record can carry the ID that would come next.
            run.stoppedAt = at;
            run.wanted = std::min(pieceSize, length - run.delivered);
            run.stop = SectorLookup{LookupStatus::NoSuchId, 0, 0, 0};
            return run;
        }
        const int32_t piece = std::min(pieceSize, length - run.delivered);
        const SectorLookup lookup = readSector(image, at, buffer + run.delivered, piece);
        if (lookup.delivered < piece) {
            run.stoppedAt = at;
            run.wanted = piece;
            run.stop = lookup;
            return run;
        }
        run.delivered += piece;
    }
    return run;
}
