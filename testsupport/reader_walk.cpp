#include "testsupport/reader_walk.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "extract/catalogue.h"

namespace {

constexpr int32_t kGuardSize = 16;
constexpr uint8_t kGuardByte = 0xA5;
// Enough for the 16 or so records of a usual track and then some; an odd
// length, so that only whole groups of four may be written.
constexpr int32_t kIdListLength = 4 * 40 + 3;
// How many of a track's listed IDs are read back, alone and as runs.
constexpr int32_t kIdsReadPerTrack = 2;
// A run length that crosses a few sectors of any small size code and ends in
// a partial piece for most.
constexpr int32_t kProbeRunLength = 600;

// A destination of exactly length bytes between two guard zones. A read that
// writes past either end of what it was given spoils a guard. Reused from read
// to read: fresh memory for each one makes the sanitizer build crawl.
class GuardedBuffer {
public:
    GuardedBuffer& reset(int32_t length)
    {
        size = length;
        bytes.assign(static_cast<size_t>(length) + 2 * kGuardSize, kGuardByte);
        return *this;
    }
    uint8_t* data() { return bytes.data() + kGuardSize; }
    const uint8_t* data() const { return bytes.data() + kGuardSize; }
    int32_t length() const { return size; }
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
    explicit Walker(D88Reader& walked) : reader(walked)
    {
        for (DiskKind kind : {DiskKind::DiskA, DiskKind::DiskB}) {
            const std::vector<CatalogueFile> files = catalogueFor(kind);
            catalogue.insert(catalogue.end(), files.begin(), files.end());
        }
    }

    ReaderWalk run()
    {
        const int32_t images = reader.imageCount();
        note(images);
        require(images >= 0 && images <= kMaxImages, "image count outside 0..kMaxImages");
        for (int32_t i = -1; i <= images; ++i) {
            const bool inside = i >= 0 && i < images;
            require((reader.imageOffset(i) >= 0) == inside, "image offset disagrees with the image count");
        }
        require(!reader.selectImage(-1) && !reader.selectImage(images), "selected an image that is not there");
        require(reader.currentImage() == -1, "a failed select left an image current");
        for (int32_t i = 0; i < images && result.fault.empty(); ++i) {
            walkImage(i);
        }
        reader.setSectorRange(kFirstSector, kLastSector);
        return result;
    }

private:
    void walkImage(int32_t index)
    {
        const bool selected = reader.selectImage(index);
        note(selected ? 1 : 0);
        require(reader.currentImage() == (selected ? index : -1), "current image disagrees with select");
        const char* name = reader.diskName();
        require(name != nullptr && std::memchr(name, 0, kDiskNameLength + 1) != nullptr,
                "disk name not terminated within 17 bytes");
        require(reader.mediaType() >= (selected ? 0 : -1) && reader.mediaType() <= 255, "media type outside a byte");
        reader.setSectorRange(kFirstSector, kLastSector);

        GuardedBuffer& signature = buffer.reset(kSignatureLength);
        const SignatureReading reading = readSignature(reader, signature.data());
        checkRead(signature, reading.bytesRead, "signature sector");

        for (int32_t track = 0; track < kTrackSlots && result.fault.empty(); ++track) {
            walkTrack(track);
        }
        for (const CatalogueFile& file : catalogue) {
            GuardedBuffer& run = buffer.reset(file.length);
            const int32_t got = reader.readSectors(file.track, file.c, file.h, file.r, file.n, run.data(), run.length());
            checkRun(run, got, file.n, "catalogue run");
        }
    }

    void walkTrack(int32_t track)
    {
        GuardedBuffer& ids = idList.reset(kIdListLength);
        const int32_t listed = reader.listSectorIds(track, ids.data(), ids.length());
        checkRead(ids, listed, "ID list");
        require(listed % kSectorIdSize == 0, "ID list ends in a partial group");
        if (!result.fault.empty() || listed == 0) {
            return;
        }
        const uint8_t* id = ids.data();
        const int32_t groups = listed / kSectorIdSize;
        for (int32_t g = 0; g < groups && g < kIdsReadPerTrack; ++g) {
            const uint8_t* at = id + kSectorIdSize * g;
            readAt(track, at[0], at[1], at[2], at[3]);
        }
        // A run with the track's own first and last sector numbers as its
        // range, whatever order they come in.
        reader.setSectorRange(id[2], id[kSectorIdSize * (groups - 1) + 2]);
        readAt(track, id[0], id[1], id[2], id[3]);
        reader.setSectorRange(kFirstSector, kLastSector);
    }

    void readAt(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n)
    {
        const int32_t size = sectorSizeForCode(n);
        GuardedBuffer& sector = buffer.reset(size > 0 && size < kProbeRunLength ? size : kProbeRunLength);
        checkRead(sector, reader.readSector(track, c, h, r, n, sector.data(), sector.length()), "sector");
        GuardedBuffer& run = buffer.reset(kProbeRunLength);
        checkRun(run, reader.readSectors(track, c, h, r, n, run.data(), run.length()), n, "probe run");
    }

    void checkRead(const GuardedBuffer& into, int32_t got, const char* what)
    {
        note(got);
        require(got >= 0 && got <= into.length(), what, "result outside 0..length");
        require(into.guardsIntact(), what, "wrote outside the caller's buffer");
        if (result.fault.empty()) {
            for (int32_t i = 0; i < got; ++i) {
                mix(into.data()[i]);
            }
        }
    }

    // A run is made of whole sectors, except that the last piece may be cut
    // to the length asked for.
    void checkRun(const GuardedBuffer& into, int32_t got, int32_t n, const char* what)
    {
        checkRead(into, got, what);
        const int32_t size = sectorSizeForCode(n);
        if (size == 0) {
            require(got == 0, what, "read with a size code that has no length");
        } else {
            require(got == into.length() || got % size == 0, what, "stopped inside a sector");
        }
    }

    void note(int64_t value)
    {
        for (int i = 0; i < 8; ++i) {
            mix(static_cast<uint8_t>(value >> (8 * i)));
        }
    }

    void mix(uint8_t byte) { result.digest = (result.digest ^ byte) * 0x100000001B3ull; }

    void require(bool holds, const char* what, const char* detail = nullptr)
    {
        if (!holds && result.fault.empty()) {
            result.fault = detail != nullptr ? std::string(what) + ": " + detail : what;
        }
    }

    D88Reader& reader;
    std::vector<CatalogueFile> catalogue;  // of both disks
    GuardedBuffer idList;                  // read from while buffer is read into
    GuardedBuffer buffer;
    ReaderWalk result;
};

}  // namespace

ReaderWalk walkReader(D88Reader& reader)
{
    return Walker(reader).run();
}

std::string walkBytes(const uint8_t* bytes, size_t size)
{
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) {
        return "cannot create a temporary file";
    }
    if (size > 0 && std::fwrite(bytes, 1, size, stream) != size) {
        std::fclose(stream);
        return "cannot write the temporary file";
    }
    D88Reader reader;
    if (!reader.open(stream)) {
        return "a readable file was refused";
    }
    const ReaderWalk first = walkReader(reader);
    if (!first.fault.empty()) {
        return first.fault;
    }
    return walkReader(reader).digest == first.digest ? "" : "a second walk read something else";
}
