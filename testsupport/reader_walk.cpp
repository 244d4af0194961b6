// The walk over every read, with its guard zones and its comparisons.
#include "testsupport/reader_walk.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "d88/d88_reader.h"
#include "disks/disk_kinds.h"
#include "testsupport/reference_reader.h"

namespace {

constexpr int32_t kGuardSize = 16;
constexpr uint8_t kGuardByte = 0xA5;
// How many records at the start of a track and around the end of its search
// are read back, alone and as runs.
constexpr int32_t kRecordsReadPerPlace = 2;
// A run length that crosses a few sectors of any small size code and ends in
// a partial piece for most.
constexpr int32_t kProbeRunLength = 600;

// A destination of exactly length bytes between two guard zones. A read that
// writes past either end of what it was given spoils a guard.
class GuardedBuffer {
public:
    uint8_t* reset(int32_t length)
    {
        size = length;
        bytes.assign(static_cast<size_t>(length) + 2 * kGuardSize, kGuardByte);
        return data();
    }
    uint8_t* data() { return bytes.data() + kGuardSize; }
    bool guardsIntact() const
    {
        for (int32_t i = 0; i < kGuardSize; ++i) {
            if (bytes[static_cast<size_t>(i)] != kGuardByte ||
                bytes[static_cast<size_t>(kGuardSize + size + i)] != kGuardByte) {
                return false;
            }
        }
        return true;
    }

private:
    int32_t size = 0;
    std::vector<uint8_t> bytes;
};

class Walker {
public:
    Walker(const uint8_t* bytes, size_t size) : source(bytes, size), reader(source), reference(bytes, size) {}

    std::string run()
    {
        require(reader.imageCount() == reference.imageCount(), "image count differs from the reference");
        for (int32_t i = 0; i < reader.imageCount() && fault.empty(); ++i) {
            require(reader.image(i).offset == reference.imageOffset(i), "image offset differs from the reference");
            walkImage(reader.image(i));
        }
        require(!reader.readFailed(), "a read from memory failed");
        return fault;
    }

private:
    void walkImage(const ImageHeader& image)
    {
        require(image.name.size() <= static_cast<size_t>(kDiskNameLength) &&
                    image.name.find('\0') == std::string::npos,
                "disk name longer than 16 bytes or holding a NUL");
        const Recognition recognition = recogniseImage(reader, image);
        compareSector(image, kSignatureSector, kSignatureLength, "signature sector");
        require((recognition.kind != nullptr) == (recognition.signatureRead.delivered > 0 &&
                                                  diskKindForSignature(recognition.firstByte) != nullptr),
                "recognition disagrees with the signature byte");
        for (int32_t track = 0; track < kTrackSlots && fault.empty(); ++track) {
            walkTrack(image, track);
        }
        for (int32_t k = 0; k < kDiskKindCount; ++k) {
            for (int32_t f = 0; f < kDiskKinds[k].fileCount && fault.empty(); ++f) {
                const CatalogueFile& file = kDiskKinds[k].files[f];
                compareRun(image, file.start, kCatalogueSectorRange, file.length, "catalogue run");
            }
        }
    }

    void walkTrack(const ImageHeader& image, int32_t track)
    {
        const TrackWalk* walk = reader.walk(image, track);
        require((walk != nullptr) == (D88Reader::trackPresence(image, track) == TrackPresence::Present),
                "a walk disagrees with the track's presence");
        const ReferenceReader::TrackLengths expected = reference.trackLengths(image.index, track);
        require(walk == nullptr || (walk->searchable == expected.searchable && walk->length == expected.walked),
                "a walk's length differs from the reference");
        if (walk == nullptr || walk->length == 0) {
            return;
        }
        require(walk->searchable >= 0 && walk->searchable <= walk->length, "searchable records outside the walk");
        const std::vector<TrackRecord> records = reader.records(*walk, walk->length);
        require(records.size() == static_cast<size_t>(walk->length), "a walk lists another number of records");
        std::vector<int32_t> probed;
        for (const int32_t place : {0, walk->searchable - 1, walk->length - 1}) {
            for (int32_t i = std::max(place, 0); i < walk->length && i < place + kRecordsReadPerPlace; ++i) {
                probed.push_back(i);
            }
        }
        for (const int32_t i : probed) {
            const SectorAddress at{track, records[static_cast<size_t>(i)].id};
            const int32_t size = sectorSizeForCode(at.id.n);
            compareSector(image, at, size > 0 && size < kProbeRunLength ? size : kProbeRunLength, "sector");
            compareRun(image, at, kCatalogueSectorRange, kProbeRunLength, "probe run");
        }
        // A run with the track's own first and last sector numbers as its
        // range, whatever order they come in.
        const SectorRange own{records.front().id.r, records.back().id.r};
        compareRun(image, {track, records.front().id}, own, kProbeRunLength, "probe run in the track's range");
    }

    void compareSector(const ImageHeader& image, const SectorAddress& at, int32_t length, const char* what)
    {
        const SectorLookup lookup = reader.readSector(image, at, buffer.reset(length), length);
        require(buffer.guardsIntact(), what, "wrote outside the caller's buffer");
        require(lookup.delivered >= 0 && lookup.delivered <= length, what, "result outside 0..length");
        require((lookup.status == LookupStatus::Found) == (lookup.delivered == length), what,
                "status Found disagrees with the bytes delivered");
        std::vector<uint8_t> expected(static_cast<size_t>(length));
        const int32_t got = reference.readSector(image.index, at, expected.data(), length);
        require(got == lookup.delivered, what, "delivers another count than the reference");
        require(got != lookup.delivered || std::memcmp(expected.data(), buffer.data(), static_cast<size_t>(got)) == 0,
                what, "delivers other bytes than the reference");
    }

    void compareRun(const ImageHeader& image, const SectorAddress& at, SectorRange range, int32_t length,
                    const char* what)
    {
        const RunResult run = reader.readRun(image, at, range, buffer.reset(length), length);
        require(buffer.guardsIntact(), what, "wrote outside the caller's buffer");
        require((run.stop.status == LookupStatus::Found) == (run.delivered == length), what,
                "a complete run disagrees with its status");
        std::vector<uint8_t> expected(static_cast<size_t>(length));
        const int32_t got = reference.readRun(image.index, at, range, expected.data(), length);
        require(got == run.delivered, what, "delivers another count than the reference");
        require(got != run.delivered || std::memcmp(expected.data(), buffer.data(), static_cast<size_t>(got)) == 0,
                what, "delivers other bytes than the reference");
    }

    void require(bool holds, const char* what, const char* detail = nullptr)
    {
        if (!holds && fault.empty()) {
            fault = detail != nullptr ? std::string(what) + ": " + detail : what;
        }
    }

    ByteSource source;
    D88Reader reader;
    ReferenceReader reference;
    GuardedBuffer buffer;
    std::string fault;
};

}  // namespace

std::string walkBytes(const uint8_t* bytes, size_t size)
{
    return Walker(bytes, size).run();
}
