#include "testsupport/d88_fixture.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kHeaderSize = 688;
constexpr size_t kSectorHeaderBytes = 16;
constexpr int kTrackCount = 164;

void putLE16(Bytes& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void putLE32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

SectorRecord sectorAt(uint8_t c, uint8_t h, uint8_t r, Bytes data, uint8_t n)
{
    SectorRecord sector;
    sector.c = c;
    sector.h = h;
    sector.r = r;
    sector.n = n;
    sector.data = std::move(data);
    return sector;
}

D88ImageBuilder& D88ImageBuilder::setName(const std::string& newName)
{
    name = newName.substr(0, 16);
    return *this;
}

D88ImageBuilder& D88ImageBuilder::setMedia(uint8_t newMedia)
{
    media = newMedia;
    return *this;
}

D88ImageBuilder& D88ImageBuilder::addSector(int track, const SectorRecord& sector)
{
    tracks[track].push_back(sector);
    return *this;
}

D88ImageBuilder& D88ImageBuilder::addStandardTrack(int track, uint8_t tag, int first, int last)
{
    for (int r = first; r <= last; ++r) {
        SectorRecord sector;
        sector.c = static_cast<uint8_t>(track / 2);
        sector.h = static_cast<uint8_t>(track % 2);
        sector.r = static_cast<uint8_t>(r);
        sector.n = 1;
        sector.data = sectorPattern(tag, track, r);
        addSector(track, sector);
    }
    return *this;
}

D88ImageBuilder& D88ImageBuilder::setSectorData(int track, int r, const Bytes& data)
{
    for (SectorRecord& sector : tracks[track]) {
        if (sector.r == r) {
            sector.data = data;
            break;
        }
    }
    return *this;
}

D88ImageBuilder& D88ImageBuilder::removeSector(int track, int r)
{
    auto& sectors = tracks[track];
    const auto found = std::find_if(sectors.begin(), sectors.end(), [r](const SectorRecord& s) { return s.r == r; });
    if (found != sectors.end()) {
        sectors.erase(found);
    }
    return *this;
}

D88ImageBuilder& D88ImageBuilder::removeTrack(int track)
{
    tracks.erase(track);
    return *this;
}

D88ImageBuilder& D88ImageBuilder::overrideTrackOffset(int track, int32_t offset)
{
    trackOffsetOverrides[track] = offset;
    return *this;
}

D88ImageBuilder& D88ImageBuilder::overrideDiskSize(int32_t diskSize)
{
    diskSizeOverride = diskSize;
    return *this;
}

const Bytes* D88ImageBuilder::sectorData(int track, int r) const
{
    const auto found = tracks.find(track);
    if (found == tracks.end()) {
        return nullptr;
    }
    for (const SectorRecord& sector : found->second) {
        if (sector.r == r) {
            return &sector.data;
        }
    }
    return nullptr;
}

Bytes D88ImageBuilder::build() const
{
    Bytes image(kHeaderSize, 0);
    std::copy(name.begin(), name.end(), image.begin());
    image[0x1B] = media;
    for (const auto& [track, sectors] : tracks) {
        if (track < 0 || track >= kTrackCount || sectors.empty()) {
            continue;
        }
        putLE32(image, 0x20 + 4 * static_cast<size_t>(track), static_cast<uint32_t>(image.size()));
        for (const SectorRecord& sector : sectors) {
            const size_t at = image.size();
            image.resize(at + kSectorHeaderBytes, 0);
            image[at] = sector.c;
            image[at + 1] = sector.h;
            image[at + 2] = sector.r;
            image[at + 3] = sector.n;
            putLE16(image, at + 4, sector.recordCount.value_or(static_cast<uint16_t>(sectors.size())));
            putLE16(image, at + 14, sector.dataSizeField.value_or(static_cast<uint16_t>(sector.data.size())));
            image.insert(image.end(), sector.data.begin(), sector.data.end());
        }
    }
    for (const auto& [track, offset] : trackOffsetOverrides) {
        putLE32(image, 0x20 + 4 * static_cast<size_t>(track), static_cast<uint32_t>(offset));
    }
    putLE32(image, 0x1C, static_cast<uint32_t>(diskSizeOverride.value_or(static_cast<int32_t>(image.size()))));
    return image;
}

Bytes sectorPattern(uint8_t tag, int track, int r)
{
    Bytes data(256);
    data[0] = tag;
    data[1] = static_cast<uint8_t>(track);
    data[2] = static_cast<uint8_t>(r);
    for (size_t i = 3; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(tag * 7 + track * 31 + r * 17 + i);
    }
    return data;
}

D88ImageBuilder standardDisk(uint8_t tag, uint8_t signature, const std::string& name)
{
    D88ImageBuilder disk;
    disk.setName(name).setMedia(0x00);
    for (int track = 0; track < 80; ++track) {
        disk.addStandardTrack(track, tag);
    }
    Bytes signatureSector = sectorPattern(tag, 2, 1);
    signatureSector[0] = signature;
    disk.setSectorData(2, 1, signatureSector);
    return disk;
}

Bytes concatenate(const std::vector<Bytes>& images)
{
    Bytes all;
    for (const Bytes& image : images) {
        all.insert(all.end(), image.begin(), image.end());
    }
    return all;
}

bool writeBytes(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool readBytes(const std::string& path, Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.clear();
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool clean = !std::ferror(file);
    std::fclose(file);
    return clean;
}
