#include "extract/disk_report.h"

#include <algorithm>

#include "extract/text_format.h"

namespace {

struct MediaNameRow {
    int32_t media;
    const char* name;
};

constexpr MediaNameRow kMediaNames[] = {
    {0x00, "2D"}, {0x10, "2DD"}, {0x20, "2HD"}, {0x30, "1D"}, {0x40, "1DD"},
};

// The records of a track as lookups see them. Empty when the track is absent.
std::vector<SectorReport> listTrack(D88Reader& reader, int32_t track)
{
    std::vector<SectorRecordInfo> records(kMaxListedRecords);
    records.resize(static_cast<size_t>(reader.listSectorRecords(track, records.data(), kMaxListedRecords)));
    std::vector<SectorReport> sectors;
    // Mirrors readSector: a record count of 0 ends the search at that record,
    // and a record whose count is at most its own position ends it after it.
    bool reachable = true;
    for (size_t i = 0; i < records.size(); ++i) {
        const SectorRecordInfo& record = records[i];
        SectorReport sector{};
        sector.record = record;
        sector.offPosition = record.c != track / 2 || record.h != track % 2;
        sector.sizeCodeNotOne = record.n != kCatalogueSizeCode;
        sector.dataSizeDiffers = record.dataSize != sectorSizeForCode(record.n);
        sector.unreachable = !reachable || record.recordCount == 0;
        if (record.recordCount == 0 || static_cast<int64_t>(i) + 1 >= record.recordCount) {
            reachable = false;
        }
        sectors.push_back(sector);
    }
    return sectors;
}

// Asks the reader for wanted bytes of the sector at position, as a run
// does, and works out why fewer arrive.
SectorDiagnosis diagnoseSector(D88Reader& reader, const RunPosition& at, int32_t wanted)
{
    SectorDiagnosis diagnosis{SectorProblem::None, at, wanted, 0, 0, reader.trackOffset(at.track)};
    std::vector<uint8_t> buffer(static_cast<size_t>(std::max(wanted, 0)));
    diagnosis.delivered = reader.readSector(at.track, at.c, at.h, at.r, at.n, buffer.data(), wanted);
    if (diagnosis.delivered >= wanted) {
        return diagnosis;
    }
    if (diagnosis.trackOffset == 0) {
        diagnosis.problem = SectorProblem::TrackAbsent;
        return diagnosis;
    }
    if (!reader.trackPresent(at.track)) {
        diagnosis.problem = SectorProblem::TrackOutside;
        return diagnosis;
    }
    const std::vector<SectorReport> sectors = listTrack(reader, at.track);
    if (sectors.empty()) {
        diagnosis.problem = SectorProblem::TrackUnreadable;
        return diagnosis;
    }
    const auto found = std::find_if(sectors.begin(), sectors.end(), [&at](const SectorReport& sector) {
        return sector.record.c == at.c && sector.record.h == at.h && sector.record.r == at.r &&
               sector.record.n == at.n;
    });
    if (found == sectors.end()) {
        // Something arrived from a record past the listing limit: how much is all that is known.
        diagnosis.problem = diagnosis.delivered > 0 ? SectorProblem::DeliversLess : SectorProblem::SectorMissing;
        return diagnosis;
    }
    diagnosis.dataSize = found->record.dataSize;
    if (found->unreachable) {
        diagnosis.problem = SectorProblem::PastRecordCount;
    } else if (found->record.dataSize < wanted) {
        diagnosis.problem = SectorProblem::DataShort;
    } else {
        diagnosis.problem = SectorProblem::FileEnds;
    }
    return diagnosis;
}

std::vector<TrackReport> reportTracks(D88Reader& reader)
{
    std::vector<TrackReport> tracks;
    for (int32_t track = 0; track < kTrackSlots; ++track) {
        const int32_t offset = reader.trackOffset(track);
        if (offset == 0) {
            continue;
        }
        TrackReport report{track, offset, TrackState::Listed, {}, false};
        if (!reader.trackPresent(track)) {
            report.state = TrackState::OffsetOutside;
        } else {
            report.sectors = listTrack(reader, track);
            report.listingFull = report.sectors.size() == static_cast<size_t>(kMaxListedRecords);
            if (report.sectors.empty()) {
                report.state = TrackState::NoHeader;
            }
        }
        tracks.push_back(std::move(report));
    }
    return tracks;
}

// Reads each catalogue run the way cutFile does and explains the short ones.
std::vector<CatalogueReport> reportCatalogue(D88Reader& reader, DiskKind kind)
{
    std::vector<CatalogueReport> entries;
    std::vector<uint8_t> buffer;
    for (const CatalogueFile& file : catalogueFor(kind)) {
        buffer.resize(static_cast<size_t>(file.length));
        CatalogueReport entry{file, 0, {}};
        entry.delivered = reader.readSectors(file.track, file.c, file.h, file.r, file.n, buffer.data(), file.length);
        entry.stop = SectorDiagnosis{SectorProblem::None, {file.track, file.c, file.h, file.r, file.n}, 0, 0, 0, 0};
        if (entry.delivered < file.length) {
            // A run counts only whole pieces, so delivered is a multiple of
            // the sector size and names the sector it stopped at.
            const int32_t chunk = sectorSizeForCode(file.n);
            RunPosition at{file.track, file.c, file.h, file.r, file.n};
            for (int32_t piece = 0; piece < entry.delivered / chunk; ++piece) {
                at = nextInRun(at, kFirstSector, kLastSector);
            }
            entry.stop = diagnoseSector(reader, at, std::min(chunk, file.length - entry.delivered));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

ImageReport reportImage(D88Reader& reader, int32_t index)
{
    ImageReport image{};
    image.index = index;
    image.offset = reader.imageOffset(index);
    image.headerRead = reader.selectImage(index);
    image.signature = SignatureReading{0, 0, DiskKind::Neither};
    if (!image.headerRead) {
        image.media = reader.mediaType();
        return image;
    }
    reader.setSectorRange(kFirstSector, kLastSector);
    image.diskSize = reader.currentDiskSize();
    image.name = reader.diskName();
    image.media = reader.mediaType();
    uint8_t signature[kSignatureLength];
    image.signature = readSignature(reader, signature);
    if (image.signature.bytesRead == 0) {
        image.signatureMissing = diagnoseSector(
            reader, {kSignatureTrack, kSignatureCylinder, kSignatureHead, kSignatureSector, kSignatureSizeCode},
            kSignatureLength);
    }
    image.tracks = reportTracks(reader);
    image.catalogue = reportCatalogue(reader, image.signature.kind);
    return image;
}

}  // namespace

const char* mediaName(int32_t media)
{
    for (const MediaNameRow& row : kMediaNames) {
        if (row.media == media) {
            return row.name;
        }
    }
    return "unknown";
}

RunOutcome CatalogueReport::outcome() const
{
    // cutFile writes nothing when no byte arrived, and pads a short run.
    if (delivered == 0) {
        return RunOutcome::Skipped;
    }
    return delivered < file.length ? RunOutcome::Short : RunOutcome::Complete;
}

std::string describeStop(const SectorDiagnosis& stop)
{
    const RunPosition& at = stop.at;
    const std::string sector = formatted("sector C %d H %d R %d N %d", at.c, at.h, at.r, at.n);
    switch (stop.problem) {
    case SectorProblem::None:
        break;
    case SectorProblem::TrackAbsent:
        return formatted("track %d is not in the image", at.track);
    case SectorProblem::TrackOutside:
        return formatted("track %d is treated as absent: its offset %d lies outside the disk", at.track,
                         stop.trackOffset);
    case SectorProblem::TrackUnreadable:
        return formatted("track %d has no sector header that can be read (the file ends first)", at.track);
    case SectorProblem::SectorMissing:
        return formatted("track %d has no %s", at.track, sector.c_str());
    case SectorProblem::PastRecordCount:
        return formatted("%s of track %d lies past a record count that ends the search", sector.c_str(),
                         at.track);
    case SectorProblem::DataShort:
        return formatted("%s of track %d holds %d bytes, not %d", sector.c_str(), at.track, stop.dataSize,
                         stop.wanted);
    case SectorProblem::FileEnds:
        return formatted("the file ends %d bytes into %s of track %d", stop.delivered, sector.c_str(), at.track);
    case SectorProblem::DeliversLess:
        return formatted("%s of track %d delivers %d of %d bytes", sector.c_str(), at.track, stop.delivered,
                         stop.wanted);
    }
    return "";
}

std::string describeMarks(const SectorReport& sector, int32_t track)
{
    const SectorRecordInfo& record = sector.record;
    std::string text;
    const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (sector.offPosition) {
        add(formatted("its ID says C %d H %d, the track is C %d H %d", record.c, record.h, track / 2, track % 2));
    }
    if (sector.sizeCodeNotOne) {
        add(formatted("N is %d, not %d", record.n, kCatalogueSizeCode));
    }
    if (sector.dataSizeDiffers) {
        const int32_t nominal = sectorSizeForCode(record.n);
        add(nominal > 0 ? formatted("data size %d, not %d", record.dataSize, nominal)
                        : formatted("data size %d, and N %d gives no sector size", record.dataSize, record.n));
    }
    if (sector.unreachable) {
        add(record.recordCount == 0 ? std::string("its record count is 0, which ends every search here")
                                    : std::string("searches end before it (record count)"));
    }
    return text;
}

FileReport buildFileReport(D88Reader& reader, const std::string& path)
{
    FileReport report{path, {}};
    for (int32_t i = 0; i < reader.imageCount(); ++i) {
        report.images.push_back(reportImage(reader, i));
    }
    reader.selectImage(-1);
    return report;
}
