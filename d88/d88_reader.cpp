// The image scan, the one walk per track start, and the lookups answered
// from it.
#include "d88/d88_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Records are grouped in blocks of this many to skip quickly over stretches
// where no record count ends a search.
constexpr uint32_t kBlockOfRecords = 64;

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

size_t FlatIndex::slotOf(uint64_t key) const
{
    // The top bits of a multiplicative hash: offsets a record apart spread
    // over the whole table.
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift);
}

uint32_t FlatIndex::find(uint64_t key) const
{
    if (keys.empty()) {
        return kAbsent;
    }
    const size_t mask = keys.size() - 1;
    for (size_t slot = slotOf(key);; slot = (slot + 1) & mask) {
        if (keys[slot] == 0) {
            return kAbsent;
        }
        if (keys[slot] == key + 1) {
            return values[slot];
        }
    }
}

uint32_t FlatIndex::findOrInsert(uint64_t key, uint32_t value)
{
    if (2 * (used + 1) > keys.size()) {
        grow();
    }
    const size_t mask = keys.size() - 1;
    size_t slot = slotOf(key);
    while (keys[slot] != 0) {
        if (keys[slot] == key + 1) {
            return values[slot];
        }
        slot = (slot + 1) & mask;
    }
    ++used;
    keys[slot] = key + 1;
    values[slot] = value;
    return kAbsent;
}

int FlatIndex::shiftFor(size_t slots)
{
    int bits = 0;
    while ((size_t{1} << bits) < slots) {
        ++bits;
    }
    return 64 - bits;
}

void FlatIndex::reserve(size_t count)
{
    if (used > 0 || keys.size() >= 2 * count) {
        return;
    }
    size_t slots = 1024;
    while (slots < 2 * count) {
        slots *= 2;
    }
    keys.assign(slots, 0);
    values.assign(slots, 0);
    shift = shiftFor(slots);
}

void FlatIndex::grow()
{
    std::vector<uint64_t> oldKeys = std::move(keys);
    std::vector<uint32_t> oldValues = std::move(values);
    keys.assign(oldKeys.empty() ? 1024 : 2 * oldKeys.size(), 0);
    values.assign(keys.size(), 0);
    shift = shiftFor(keys.size());
    used = 0;
    for (size_t i = 0; i < oldKeys.size(); ++i) {
        if (oldKeys[i] != 0) {
            findOrInsert(oldKeys[i] - 1, oldValues[i]);
        }
    }
}

void D88Reader::addSearched(TrackWalk& walk, uint32_t from, uint32_t to)
{
    // A stretch read while this walk went along it comes in one record at a
    // time; its records are adjacent, so they make one range.
    if (!walk.searched.empty() && walk.searched.back().second + 1 == from) {
        walk.searched.back().second = to;
    } else {
        walk.searched.emplace_back(from, to);
    }
}

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
    // Room from the start for as many records as a small file can chain
    // (one per 32 bytes, up to 65,536); more come as a walk needs them.
    const size_t expected = static_cast<size_t>(std::min<uint64_t>(source.size() / 32, 1 << 16));
    store.reserve(expected);
    stretchOf.reserve(expected);
    recordAt.reserve(expected);
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

uint32_t D88Reader::readRecord(uint64_t offset, bool& isNew)
{
    isNew = false;
    uint8_t copy[kSectorHeaderSize];
    const uint8_t* header = source.view(offset, kSectorHeaderSize);
    if (header == nullptr) {
        if (source.read(offset, copy, kSectorHeaderSize) != kSectorHeaderSize) {
            return kFileEnds;
        }
        header = copy;
    }
    const auto index = static_cast<uint32_t>(store.size());
    const uint32_t known = recordAt.findOrInsert(offset, index);
    if (known != FlatIndex::kAbsent) {
        return known;
    }
    isNew = true;
    const TrackRecord record{{header[kSectorCylinderOffset], header[kSectorHeadOffset], header[kSectorNumberOffset],
                              header[kSectorSizeCodeOffset]},
                             readLE16(header + kSectorRecordCountOffset),
                             readLE16(header + kSectorDataSizeOffset),
                             offset};
    store.push_back(record);
    const uint32_t key = idKey(record.id);
    uint32_t list = idListOf.find(key);
    if (list == FlatIndex::kAbsent) {
        list = static_cast<uint32_t>(recordsWithId.size());
        idListOf.findOrInsert(key, list);
        recordsWithId.emplace_back();
    }
    recordsWithId[list].push_back(index);
    const int64_t endsFrom = searchEndsFrom(index);
    if (index % kBlockOfRecords == 0) {
        blockMaximum.push_back(endsFrom);
    } else {
        blockMaximum.back() = std::max(blockMaximum.back(), endsFrom);
    }
    return index;
}

uint32_t D88Reader::recordAtOffset(uint64_t offset)
{
    bool isNew = false;
    const uint32_t index = readRecord(offset, isNew);
    if (isNew) {
        stretchOf.push_back(static_cast<uint32_t>(stretches.size()));
        stretches.push_back(Stretch{index, kNotRead});
    }
    return index;
}

uint32_t D88Reader::successor(uint32_t record)
{
    uint32_t stretch = stretchOf[record];
    if (record < stretches[stretch].last) {
        return record + 1;
    }
    if (stretches[stretch].link == kNotRead) {
        readAhead(stretch);
    }
    // The stretch may have grown past record, or now ends in a link.
    return record < stretches[stretch].last ? record + 1 : stretches[stretch].link;
}

void D88Reader::readAhead(uint32_t stretch)
{
    // Records are read a batch at a time, as far as the bytes already in
    // memory go: the walk that asked for one is likely to want the next ones,
    // and the search over a batch is cheap.
    for (uint32_t batch = 0; batch < kBlockOfRecords; ++batch) {
        const TrackRecord& current = store[stretches[stretch].last];
        const uint64_t next = current.headerOffset + kSectorHeaderSize + current.dataSize;
        if (batch > 0 && source.view(next, kSectorHeaderSize) == nullptr) {
            return;  // only the first record of a batch may cost a read
        }
        const bool adjacent = stretches[stretch].last + 1 == store.size();
        bool isNew = false;
        const uint32_t index = readRecord(next, isNew);
        if (!isNew) {
            // The end of the file, or a record read before: this chain joins another.
            stretches[stretch].link = index;
            return;
        }
        if (adjacent) {
            stretches[stretch].last = index;
            stretchOf.push_back(stretch);
        } else {
            // Records of another chain were stored since: this one goes on
            // in a stretch of its own.
            stretches[stretch].link = index;
            stretchOf.push_back(static_cast<uint32_t>(stretches.size()));
            stretches.push_back(Stretch{index, kNotRead});
            return;
        }
    }
}

int64_t D88Reader::searchEndsFrom(uint32_t record) const
{
    const uint16_t count = store[record].recordCount;
    return count == 0 ? INT64_MAX : int64_t{record} + 1 - int64_t{count};
}

uint32_t D88Reader::firstSearchEnd(uint32_t from, uint32_t to, int64_t fromPosition) const
{
    // Record k, met at position k - from + fromPosition, ends the search when
    // searchEndsFrom(k) >= from - fromPosition.
    const int64_t threshold = int64_t{from} - fromPosition;
    uint32_t k = from;
    while (k <= to) {
        if (k % kBlockOfRecords == 0 && uint64_t{k} + kBlockOfRecords - 1 <= to &&
            blockMaximum[k / kBlockOfRecords] < threshold) {
            k += kBlockOfRecords;
            continue;
        }
        if (searchEndsFrom(k) >= threshold) {
            return k;
        }
        ++k;
    }
    return UINT32_MAX;
}

const TrackWalk& D88Reader::walkFrom(uint64_t start)
{
    const auto known = walkAt.find(start);
    if (known != walkAt.end()) {
        return walks[known->second];
    }
    TrackWalk walk;
    walk.start = start;
    walk.firstRecord = recordAtOffset(start);
    uint32_t last = walk.firstRecord;  // the record the search ends at
    bool searchEnded = false;
    int64_t position = 0;              // of record `from` below
    for (uint32_t from = walk.firstRecord; from != kFileEnds && !searchEnded;) {
        const uint32_t to = stretches[stretchOf[from]].last;
        const uint32_t end = firstSearchEnd(from, to, position);
        if (end != UINT32_MAX) {
            searchEnded = true;
            last = end;
            const bool endsBefore = store[end].recordCount == 0;
            if (end > from || !endsBefore) {
                addSearched(walk, from, endsBefore ? end - 1 : end);
            }
            walk.searchable = static_cast<int32_t>(position + (end - from) + (endsBefore ? 0 : 1));
            walk.length = static_cast<int32_t>(position + (end - from) + 1);
            break;
        }
        addSearched(walk, from, to);
        position += to - from + 1;
        from = successor(to);
    }
    if (!searchEnded) {
        walk.searchCutShort = true;
        walk.searchable = static_cast<int32_t>(position);
        walk.length = walk.searchable;
    } else {
        // On past the search, for the listing, by the same chain.
        walk.firstAfterSearch = store[last].recordCount == 0 ? last : kFileEnds;
        uint32_t record = last;
        while (store[record].recordCount != walk.length && walk.length < kRecordsWalkedPastSearch) {
            record = successor(record);
            if (record == kFileEnds) {
                break;
            }
            if (walk.firstAfterSearch == kFileEnds) {
                walk.firstAfterSearch = record;
            }
            ++walk.length;
        }
    }
    walkAt.emplace(start, walks.size());
    walks.push_back(std::move(walk));
    return walks.back();
}

std::vector<TrackRecord> D88Reader::records(const TrackWalk& walk, int32_t limit) const
{
    std::vector<TrackRecord> listed;
    uint32_t record = walk.firstRecord;
    while (static_cast<int32_t>(listed.size()) < std::min(limit, walk.length)) {
        listed.push_back(store[record]);
        const Stretch& stretch = stretches[stretchOf[record]];
        // Every record of a walk but its last has a successor that was read.
        record = record < stretch.last ? record + 1 : stretch.link;
    }
    return listed;
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
    uint32_t match = kFileEnds;
    const uint32_t withId = idListOf.find(idKey(at.id));
    if (withId != FlatIndex::kAbsent) {
        const std::vector<uint32_t>& candidates = recordsWithId[withId];
        for (const auto& range : track.searched) {
            const auto first = std::lower_bound(candidates.begin(), candidates.end(), range.first);
            if (first != candidates.end() && *first <= range.second) {
                match = *first;
                break;
            }
        }
    }
    if (match == kFileEnds) {
        uint32_t record = track.firstAfterSearch;
        for (int32_t i = track.searchable; i < track.length; ++i) {
            if (store[record].id == at.id) {
                lookup.status = LookupStatus::PastRecordCount;
                lookup.dataSize = store[record].dataSize;
                return lookup;
            }
            const Stretch& stretch = stretches[stretchOf[record]];
            record = record < stretch.last ? record + 1 : stretch.link;
        }
        lookup.status = track.searchCutShort ? LookupStatus::HeaderCutShort : LookupStatus::NoSuchId;
        return lookup;
    }
    const TrackRecord& record = store[match];
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
