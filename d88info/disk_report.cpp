// Builds the report from the reader's answers; nothing here re-derives how a
// lookup goes.
#include "d88info/disk_report.h"

#include <algorithm>
#include <unordered_map>

#include "cli/text_format.h"

namespace {

struct MediaNameRow {
    int32_t media;
    const char* name;
};

constexpr MediaNameRow kMediaNames[] = {
    {0x00, "2D"}, {0x10, "2DD"}, {0x20, "2HD"}, {0x30, "1D"}, {0x40, "1DD"},
};

// The report being built, with the places records were first listed.
class ReportBuilder {
public:
    explicit ReportBuilder(D88Reader& imageReader) : reader(imageReader) {}

    ImageReport image(int32_t index)
    {
        const ImageHeader& header = reader.image(index);
        ImageReport report{};
        report.index = index;
        report.offset = header.offset;
        report.diskSize = header.diskSize;
        report.name = header.name;
        report.media = header.media;
        report.sameTracksAs = -1;
        report.recognition = recogniseImage(reader, header);
        if (report.recognition.signatureRead.delivered == 0) {
            report.signatureMissing =
                diagnosis(header, kSignatureSector, kSignatureLength, report.recognition.signatureRead);
        }
        for (int32_t earlier = 0; earlier < index; ++earlier) {
            if (reader.image(earlier).offset == header.offset) {
                report.sameTracksAs = earlier;
                break;
            }
        }
        if (report.sameTracksAs < 0) {
            report.tracks = tracks(header);
        }
        if (report.recognition.kind != nullptr) {
            report.catalogue = catalogue(header, *report.recognition.kind);
        }
        return report;
    }

private:
    SectorDiagnosis diagnosis(const ImageHeader& image, const SectorAddress& at, int32_t wanted,
                              const SectorLookup& lookup)
    {
        const TrackWalk* walk = reader.walk(image, at.track);
        return SectorDiagnosis{lookup.status,       at,
                               wanted,              lookup.delivered,
                               lookup.dataSize,     lookup.trackOffset,
                               walk != nullptr ? walk->length : 0};
    }

    std::vector<SectorReport> listing(const TrackWalk& walk, int32_t track)
    {
        std::vector<SectorReport> sectors;
        const std::vector<TrackRecord> records = reader.records(walk, kMaxListedRecords);
        for (size_t i = 0; i < records.size(); ++i) {
            const TrackRecord& record = records[i];
            SectorReport sector{};
            sector.record = record;
            sector.offPosition = record.id.c != track / 2 || record.id.h != track % 2;
            sector.sizeCodeNotOne = record.id.n != kCatalogueSizeCode;
            sector.dataSizeDiffers = record.dataSize != sectorSizeForCode(record.id.n);
            sector.unreachable = static_cast<int64_t>(i) >= walk.searchable;
            sectors.push_back(sector);
        }
        return sectors;
    }

    std::vector<TrackReport> tracks(const ImageHeader& image)
    {
        std::vector<TrackReport> tracks;
        for (int32_t track = 0; track < kTrackSlots && !reader.readFailed(); ++track) {
            const TrackPresence presence = D88Reader::trackPresence(image, track);
            if (presence == TrackPresence::Absent) {
                continue;
            }
            TrackReport report{track, image.trackOffsets[track], TrackState::Listed, {}, false, {-1, -1}};
            const TrackWalk* walk = reader.walk(image, track);
            if (walk == nullptr) {
                report.state = TrackState::OffsetOutside;
            } else if (walk->length == 0) {
                report.state = TrackState::NoHeader;
            } else {
                const auto first = listedAt.emplace(walk->start, ListingPlace{image.index, track});
                if (!first.second) {
                    report.state = TrackState::SameAsEarlier;
                    report.sameAs = first.first->second;
                } else {
                    report.sectors = listing(*walk, track);
                    report.listingFull = walk->length >= kMaxListedRecords;
                }
            }
            tracks.push_back(std::move(report));
        }
        return tracks;
    }

    std::vector<CatalogueReport> catalogue(const ImageHeader& image, const DiskKind& kind)
    {
        std::vector<CatalogueReport> entries;
        for (int32_t f = 0; f < kind.fileCount; ++f) {
            const CatalogueFile& file = kind.files[f];
            buffer.resize(static_cast<size_t>(file.length));
            const RunResult run = reader.readRun(image, file.start, kCatalogueSectorRange, buffer.data(), file.length);
            entries.push_back(CatalogueReport{file, run.delivered, diagnosis(image, run.stoppedAt, run.wanted, run.stop)});
        }
        return entries;
    }

    D88Reader& reader;
    std::vector<uint8_t> buffer;
    std::unordered_map<uint64_t, ListingPlace> listedAt;
};

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

const char* diskLabel(const DiskKind* kind)
{
    return kind != nullptr ? kind->name : "neither disk";
}

RunOutcome CatalogueReport::outcome() const
{
    // d88cut writes nothing when no byte arrived, and pads a short run.
    if (delivered == 0) {
        return RunOutcome::Skipped;
    }
    return delivered < file.length ? RunOutcome::Short : RunOutcome::Complete;
}

std::string describeStop(const SectorDiagnosis& stop)
{
    const SectorAddress& at = stop.at;
    const std::string sector = formatted("sector C %d H %d R %d N %d", at.id.c, at.id.h, at.id.r, at.id.n);
    switch (stop.problem) {
    case LookupStatus::Found:
        break;
    case LookupStatus::TrackAbsent:
        return formatted("track %d is not in the image", at.track);
    case LookupStatus::TrackOutside:
        return formatted("track %d is treated as absent: its offset %d lies outside the disk", at.track,
                         stop.trackOffset);
    case LookupStatus::HeaderCutShort:
        if (stop.trackRecords == 0) {
            return formatted("track %d has no sector header that can be read (the image file ends first)", at.track);
        }
        return formatted("track %d has no %s before the image file ends inside its sector headers", at.track,
                         sector.c_str());
    case LookupStatus::NoSuchId:
        return formatted("track %d has no %s", at.track, sector.c_str());
    case LookupStatus::PastRecordCount:
        return formatted("%s of track %d lies past a record count that ends the search", sector.c_str(),
                         at.track);
    case LookupStatus::DataShort:
        return formatted("%s of track %d holds %d bytes, not %d", sector.c_str(), at.track, stop.dataSize,
                         stop.wanted);
    case LookupStatus::DataCutShort:
        return formatted("the image file ends %d bytes into %s of track %d", stop.delivered, sector.c_str(),
                         at.track);
    case LookupStatus::SizeCodeUnusable:
        return formatted("N %d gives no sector size", at.id.n);
    case LookupStatus::ReadError:
        return "the image file could not be read";
    }
    return "";
}

std::string describeMarks(const SectorReport& sector, int32_t track)
{
    const TrackRecord& record = sector.record;
    std::string text;
    const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (sector.offPosition) {
        add(formatted("its ID says C %d H %d, the track is C %d H %d", record.id.c, record.id.h, track / 2,
                      track % 2));
    }
    if (sector.sizeCodeNotOne) {
        add(formatted("N is %d, not %d", record.id.n, kCatalogueSizeCode));
    }
    if (sector.dataSizeDiffers) {
        const int32_t nominal = sectorSizeForCode(record.id.n);
        add(nominal > 0 ? formatted("data size %d, not %d", record.dataSize, nominal)
                        : formatted("data size %d, and N %d gives no sector size", record.dataSize, record.id.n));
    }
    if (sector.unreachable) {
        add(record.recordCount == 0 ? std::string("its record count is 0, which ends every search here")
                                    : std::string("searches end before it (record count)"));
    }
    return text;
}

FileReport buildFileReport(D88Reader& reader, const std::string& path, uint64_t fileSize)
{
    FileReport report{path, {}, false, 0, {}};
    report.notD88 = notD88Reasons(reader.imageCount() > 0 ? &reader.image(0) : nullptr, fileSize);
    ReportBuilder builder(reader);
    for (int32_t i = 0; i < reader.imageCount() && !reader.readFailed() && report.notD88.empty(); ++i) {
        report.images.push_back(builder.image(i));
        report.images.back().headerProblems = checkHeader(reader.image(i), fileSize);
        report.images.back().missingBytes = missingBytes(reader.image(i), fileSize);
    }
    report.readFailed = reader.readFailed();
    report.readError = reader.readErrorNumber();
    return report;
}
