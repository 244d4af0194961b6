// d88info's picture of a file: one SVG panel per image, one row of cells per
// track, each cell coloured by the catalogue file its sector feeds. It is
// drawn from the report model alone; every name reaches the document quoted
// to ASCII and escaped for XML, and the document holds no script and no
// reference to anything outside it.
#include <cstddef>
#include <map>
#include <utility>

#include "cli/text_format.h"
#include "d88info/disk_report.h"
#include "d88info/printing.h"

namespace {

// Geometry, in pixels. Text is 11-pixel monospace, about 7 pixels a character.
constexpr int kMargin = 10;
constexpr int kLineHeight = 16;
constexpr int kCharWidth = 7;
constexpr int kLabelWidth = 136;
constexpr int kCellWidth = 20;
constexpr int kCellHeight = 14;
constexpr int kCellPitch = kCellWidth + 2;
constexpr int kRowPitch = kCellHeight + 3;
constexpr int kExtraGap = 8;  // between slot 16 and the records outside the slots
constexpr int kKeyWidth = 150;
constexpr int kKeysPerLine = 5;
constexpr int kPanelGap = 24;
constexpr int kSlotCount = kCatalogueSectorRange.last - kCatalogueSectorRange.first + 1;

// Catalogue files take these in turn; none is close to the warning colour.
const char* const kFilePalette[] = {
    "#1f77b4", "#2ca02c", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf", "#aec7e8", "#98df8a",
    "#c5b0d5", "#c49c94", "#f7b6d2", "#dbdb8d", "#9edae5", "#393b79", "#637939", "#8c6d31", "#7b4173", "#3182bd",
};
constexpr int kPaletteSize = static_cast<int>(sizeof kFilePalette / sizeof kFilePalette[0]);
const char kNoFileColour[] = "#e6e6e6";
const char kWarningColour[] = "#ff2020";
const char kPlaceholderColour[] = "#ffffff";

const char* fileColour(int fileIndex)
{
    return kFilePalette[fileIndex % kPaletteSize];
}

// Names and paths as the text report quotes them, then made safe as XML
// character data or attribute values.
std::string xmlEscaped(const std::string& text)
{
    std::string escaped;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (ch) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            if (byte == '\n' || (byte >= 0x20 && byte < 0x7F)) {
                escaped += ch;
            } else {
                appendFormatted(escaped, "\\x%02X", static_cast<unsigned>(byte));
            }
        }
    }
    return escaped;
}

std::string sectorId(int32_t c, int32_t h, int32_t r, int32_t n)
{
    return formatted("C %d H %d R %d N %d", c, h, r, n);
}

// What the catalogue makes of one cell: the files it feeds (catalogue index,
// offset in the file) and the runs that stop at it.
struct CellUse {
    std::vector<std::pair<int, int32_t>> feeds;
    std::vector<int> stops;
};

// The uses of one track's cells: one per listed record, one per empty slot,
// and the stops at a track that cannot be listed.
struct TrackUse {
    std::vector<CellUse> records;
    CellUse slots[kSlotCount];
    CellUse wholeTrack;
};

// The record a lookup of (c, h, r, n) finds on a listed track, or -1.
int findRecord(const TrackReport& track, const SectorAddress& at, bool reachableOnly)
{
    for (size_t i = 0; i < track.sectors.size(); ++i) {
        const SectorReport& sector = track.sectors[i];
        if (sector.record.id == at.id &&
            !(reachableOnly && sector.unreachable)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The record shown in slot r of a track: the first one numbered r.
int slotRecord(const TrackReport& track, int32_t r)
{
    for (size_t i = 0; i < track.sectors.size(); ++i) {
        if (track.sectors[i].record.id.r == r) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Whether record index of track is the one recognition reads.
bool isSignatureRecord(const TrackReport& track, size_t index)
{
    return track.index == kSignatureSector.track && findRecord(track, kSignatureSector, true) == static_cast<int>(index);
}

struct ImageUse {
    std::map<int32_t, size_t> rowOfTrack;           // track index to its place in image.tracks
    std::vector<TrackUse> tracks;                   // parallel to image.tracks
    std::map<int32_t, std::vector<int>> absentStops;  // stops at tracks not in the image
};

void noteStop(const ImageReport& image, ImageUse& use, int fileIndex)
{
    const SectorAddress& at = image.catalogue[static_cast<size_t>(fileIndex)].stop.at;
    const auto row = use.rowOfTrack.find(at.track);
    if (row == use.rowOfTrack.end()) {
        use.absentStops[at.track].push_back(fileIndex);
        return;
    }
    const TrackReport& track = image.tracks[row->second];
    TrackUse& trackUse = use.tracks[row->second];
    if (track.state != TrackState::Listed) {
        trackUse.wholeTrack.stops.push_back(fileIndex);
        return;
    }
    int record = findRecord(track, at, false);
    if (record < 0 && at.id.r >= kCatalogueSectorRange.first && at.id.r <= kCatalogueSectorRange.last) {
        record = slotRecord(track, at.id.r);
        if (record < 0) {
            trackUse.slots[at.id.r - kCatalogueSectorRange.first].stops.push_back(fileIndex);
            return;
        }
    }
    if (record >= 0) {
        trackUse.records[static_cast<size_t>(record)].stops.push_back(fileIndex);
    }
}

// Walks each run over the whole sectors it delivered, as the reader read
// them, and records which cell each one came from and where each run stops.
ImageUse catalogueUse(const ImageReport& image)
{
    ImageUse use;
    use.tracks.resize(image.tracks.size());
    for (size_t i = 0; i < image.tracks.size(); ++i) {
        use.rowOfTrack[image.tracks[i].index] = i;
        use.tracks[i].records.resize(image.tracks[i].sectors.size());
    }
    for (int fileIndex = 0; fileIndex < countOf(image.catalogue); ++fileIndex) {
        const CatalogueReport& entry = image.catalogue[static_cast<size_t>(fileIndex)];
        const CatalogueFile& file = entry.file;
        const int32_t chunk = sectorSizeForCode(file.start.id.n);
        if (chunk > 0) {
            const int32_t pieces = entry.delivered / chunk + (entry.delivered % chunk != 0 ? 1 : 0);
            SectorAddress at = file.start;
            for (int32_t piece = 0; piece < pieces; ++piece) {
                const auto row = use.rowOfTrack.find(at.track);
                if (row != use.rowOfTrack.end()) {
                    const int record = findRecord(image.tracks[row->second], at, true);
                    if (record >= 0) {
                        use.tracks[row->second].records[static_cast<size_t>(record)].feeds.emplace_back(
                            fileIndex, piece * chunk);
                    }
                }
                if (!nextInRun(at, kCatalogueSectorRange)) {
                    break;
                }
            }
        }
        if (entry.outcome() != RunOutcome::Complete) {
            noteStop(image, use, fileIndex);
        }
    }
    return use;
}

// What becomes of a file whose run stops, in the text report's words.
std::string stopWords(const CatalogueReport& entry)
{
    return (entry.outcome() == RunOutcome::Skipped ? "not written: " : "short, the rest is zeros: ") +
           describeStop(entry.stop);
}

std::string stopLine(const CatalogueReport& entry)
{
    return formatted("%s stops here, %d of %d bytes: ", entry.file.name, entry.delivered,
                     entry.file.length) +
           stopWords(entry);
}

// The tooltip lines a cell's uses add.
void appendUses(std::string& tip, const ImageReport& image, const CellUse& use)
{
    for (const auto& [fileIndex, offset] : use.feeds) {
        appendFormatted(tip, "\n%s at offset %d", image.catalogue[static_cast<size_t>(fileIndex)].file.name,
                        offset);
    }
    for (const int fileIndex : use.stops) {
        tip += "\n" + stopLine(image.catalogue[static_cast<size_t>(fileIndex)]);
    }
}

class SvgWriter {
public:
    void rect(int x, int y, int width, int height, const char* fill, const char* extra = "")
    {
        appendFormatted(body, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"%s/>", x, y, width,
                        height, fill, extra);
    }
    void text(int x, int y, const std::string& words, const char* extra = "")
    {
        appendFormatted(body, "<text x=\"%d\" y=\"%d\"%s>", x, y, extra);
        body += xmlEscaped(words) + "</text>\n";
        widen(x + kCharWidth * countOf(words));
    }
    void open(const char* className, const std::string& tip = "")
    {
        appendFormatted(body, "<g class=\"%s\">", className);
        if (!tip.empty()) {
            body += "<title>" + xmlEscaped(tip) + "</title>";
        }
    }
    void close() { body += "</g>\n"; }
    void widen(int right)
    {
        if (right > rightEdge) {
            rightEdge = right;
        }
    }

    std::string document(int documentHeight) const
    {
        const int fullWidth = rightEdge + kMargin;
        std::string svg = "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n";
        appendFormatted(svg,
                        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                        "font-family=\"monospace\" font-size=\"11\">\n",
                        fullWidth, documentHeight, fullWidth, documentHeight);
        appendFormatted(svg, "<rect x=\"0\" y=\"0\" width=\"%d\" height=\"%d\" fill=\"#ffffff\"/>\n", fullWidth,
                        documentHeight);
        return svg + body + "</svg>\n";
    }

private:
    std::string body;
    int rightEdge = 0;
};

// Lays out the document top to bottom.
class MapDrawer {
public:
    std::string draw(const FileReport& report)
    {
        std::string line = echoed(report.path);
        if (!report.notD88.empty()) {
            // The same single verdict as the text report, and no panel.
            line += ": not a D88 image";
            for (size_t i = 0; i < report.notD88.size(); ++i) {
                line += (i == 0 ? ": " : "; ") + report.notD88[i].reason;
            }
            svg.text(kMargin, nextLine(), line, " font-weight=\"bold\"");
            return svg.document(y + kMargin);
        }
        appendFormatted(line, ": %d %s", countOf(report.images), plural(countOf(report.images), "image", "images"));
        if (report.images.empty()) {
            appendFormatted(line, " (an image starts with a %d-byte header)", kImageHeaderSize);
        } else if (countOf(report.images) == kMaxImages) {
            line += " (no more are looked for)";
        }
        svg.text(kMargin, nextLine(), line, " font-weight=\"bold\"");
        for (const ImageReport& image : report.images) {
            y += kPanelGap - kLineHeight;
            drawImage(image);
        }
        return svg.document(y + kMargin);
    }

private:
    int nextLine()
    {
        y += kLineHeight;
        return y - 4;
    }

    void drawImage(const ImageReport& image)
    {
        svg.open("panel");
        std::string heading = formatted("image %d at offset %lld", image.index, static_cast<long long>(image.offset));
        appendFormatted(heading, ", disk name %s, media 0x%02X (%s)", echoed(image.name).c_str(), image.media,
                        mediaName(image.media));
        if (image.missingBytes > 0) {
            appendFormatted(heading, "; the image file ends %lld bytes before this disk's end",
                            static_cast<long long>(image.missingBytes));
        }
        svg.text(kMargin, nextLine(), heading, " font-weight=\"bold\"");
        std::string verdict = std::string("recognition: ") + diskLabel(image.recognition.kind);
        if (image.recognition.signatureRead.delivered > 0) {
            appendFormatted(verdict, " (signature byte 0x%02X)", image.recognition.firstByte);
        } else {
            verdict += ": no signature sector, " + describeStop(image.signatureMissing);
        }
        svg.text(kMargin, nextLine(), verdict);
        svg.text(kMargin, nextLine(),
                 formatted("%d %s with data, disk size %d bytes", countOf(image.tracks),
                           plural(countOf(image.tracks), "track", "tracks"), image.diskSize));
        drawKeys(image);
        const ImageUse use = catalogueUse(image);
        drawRows(image, use);
        if (image.recognition.kind != nullptr) {
            drawSummary(image);
        }
        svg.close();
    }

    void key(int& slot, const char* fill, const std::string& label, const char* extra = "")
    {
        const int x = kMargin + (slot % kKeysPerLine) * kKeyWidth;
        if (slot % kKeysPerLine == 0) {
            y += kLineHeight;
        }
        svg.open("key");
        svg.rect(x, y - kLineHeight + 1, kCellWidth, kCellHeight - 2, fill, extra);
        svg.text(x + kCellWidth + 4, y - 4, label);
        svg.close();
        ++slot;
    }

    void drawKeys(const ImageReport& image)
    {
        int slot = 0;
        for (int i = 0; i < countOf(image.catalogue); ++i) {
            key(slot, fileColour(i), image.catalogue[static_cast<size_t>(i)].file.name);
        }
        slot += (kKeysPerLine - slot % kKeysPerLine) % kKeysPerLine;
        key(slot, kNoFileColour, "in no file");
        key(slot, kWarningColour, "a run stops / lost");
        key(slot, kPlaceholderColour, "no such sector", " stroke=\"#999999\" stroke-dasharray=\"2 2\"");
        key(slot, kNoFileColour, "signature sector", " stroke=\"#000000\" stroke-width=\"2\"");
        key(slot, kNoFileColour, "! may stop a run", " stroke=\"#ff8c00\" stroke-width=\"2\"");
        y += 4;
    }

    void drawRows(const ImageReport& image, const ImageUse& use)
    {
        auto absent = use.absentStops.begin();
        for (size_t i = 0; i < image.tracks.size(); ++i) {
            for (; absent != use.absentStops.end() && absent->first < image.tracks[i].index; ++absent) {
                drawAbsentRow(image, absent->first, absent->second);
            }
            drawRow(image, image.tracks[i], use.tracks[i]);
        }
        for (; absent != use.absentStops.end(); ++absent) {
            drawAbsentRow(image, absent->first, absent->second);
        }
    }

    int rowTop()
    {
        const int top = y + 2;
        y += kRowPitch;
        return top;
    }

    void rowLabel(int32_t track, int top)
    {
        svg.text(kMargin, top + kCellHeight - 3, formatted("track %d C %d H %d", track, track / 2, track % 2));
    }

    // A band across the slots for a track whose records cannot be shown.
    void drawLostRow(const ImageReport& image, int32_t track, const std::string& why, const CellUse& use)
    {
        const int top = rowTop();
        std::string tip = formatted("track %d: ", track) + why;
        appendUses(tip, image, use);
        svg.open("row lost", tip);
        rowLabel(track, top);
        svg.rect(kLabelWidth, top, kSlotCount * kCellPitch - 2, kCellHeight, kWarningColour);
        // The words start a cell in, so the band's colour shows plainly at its start.
        svg.text(kLabelWidth + kCellPitch, top + kCellHeight - 3, why);
        svg.close();
    }

    void drawAbsentRow(const ImageReport& image, int32_t track, const std::vector<int>& stops)
    {
        CellUse use;
        use.stops = stops;
        drawLostRow(image, track, "not in the image", use);
    }

    void drawRow(const ImageReport& image, const TrackReport& track, const TrackUse& use)
    {
        if (track.state == TrackState::OffsetOutside) {
            drawLostRow(image, track.index, formatted("offset %d lies outside the disk: treated as absent", track.offset),
                        use.wholeTrack);
            return;
        }
        if (track.state == TrackState::NoHeader) {
            drawLostRow(image, track.index, formatted("offset %d: no sector header can be read there", track.offset),
                        use.wholeTrack);
            return;
        }
        const int top = rowTop();
        svg.open("row");
        rowLabel(track.index, top);
        std::vector<bool> inSlot(track.sectors.size(), false);
        for (int32_t r = kCatalogueSectorRange.first; r <= kCatalogueSectorRange.last; ++r) {
            const int x = kLabelWidth + (r - kCatalogueSectorRange.first) * kCellPitch;
            const int record = slotRecord(track, r);
            if (record >= 0) {
                inSlot[static_cast<size_t>(record)] = true;
                drawCell(image, track, static_cast<size_t>(record), use.records[static_cast<size_t>(record)], x, top);
            } else {
                drawPlaceholder(image, track, r, use.slots[r - kCatalogueSectorRange.first], x, top);
            }
        }
        int x = kLabelWidth + kSlotCount * kCellPitch + kExtraGap;
        for (size_t i = 0; i < track.sectors.size(); ++i) {
            if (!inSlot[i]) {
                drawCell(image, track, i, use.records[i], x, top);
                x += kCellPitch;
            }
        }
        if (track.listingFull) {
            svg.text(x + 4, top + kCellHeight - 3, formatted("listing stops at %d", kMaxListedRecords));
        }
        svg.close();
    }

    void drawPlaceholder(const ImageReport& image, const TrackReport& track, int32_t r, const CellUse& use, int x,
                         int top)
    {
        std::string tip = formatted("track %d has no sector numbered %d", track.index, r);
        appendUses(tip, image, use);
        const bool stop = !use.stops.empty();
        svg.open(stop ? "cell missing stop" : "cell missing", tip);
        svg.rect(x, top, kCellWidth, kCellHeight, stop ? kWarningColour : kPlaceholderColour,
                 " stroke=\"#999999\" stroke-dasharray=\"2 2\"");
        svg.close();
        svg.widen(x + kCellWidth);
    }

    void drawCell(const ImageReport& image, const TrackReport& track, size_t index, const CellUse& use, int x, int top)
    {
        const SectorReport& sector = track.sectors[index];
        const TrackRecord& record = sector.record;
        std::string tip = formatted("track %d, record %d: ", track.index, static_cast<int>(index) + 1) +
                          sectorId(record.id.c, record.id.h, record.id.r, record.id.n) +
                          formatted(", data size %d", record.dataSize);
        const bool signature = isSignatureRecord(track, index);
        if (signature) {
            tip += "\nthe signature sector";
        }
        if (sector.marked()) {
            tip += "\n! " + describeMarks(sector, track.index);
        }
        appendUses(tip, image, use);
        const bool stop = !use.stops.empty();
        std::string className = "cell";
        className += stop ? " stop" : "";
        className += use.feeds.size() > 1 ? " shared" : "";
        className += signature ? " signature" : "";
        svg.open(className.c_str(), tip);
        const char* outline = signature          ? " stroke=\"#000000\" stroke-width=\"2\""
                              : sector.marked() ? " stroke=\"#ff8c00\" stroke-width=\"2\""
                                                : "";
        const char* fill = stop ? kWarningColour : use.feeds.empty() ? kNoFileColour : fileColour(use.feeds[0].first);
        svg.rect(x, top, kCellWidth, kCellHeight, fill, outline);
        if (!stop && use.feeds.size() > 1) {
            // A sector two runs share: the second file fills the lower half.
            svg.rect(x, top + kCellHeight / 2, kCellWidth, kCellHeight - kCellHeight / 2,
                     fileColour(use.feeds[1].first));
        }
        svg.close();
        svg.widen(x + kCellWidth);
    }

    void drawSummary(const ImageReport& image)
    {
        int written = 0;
        int shortOnes = 0;
        for (const CatalogueReport& entry : image.catalogue) {
            written += entry.outcome() != RunOutcome::Skipped ? 1 : 0;
            shortOnes += entry.outcome() == RunOutcome::Short ? 1 : 0;
        }
        svg.open("summary");
        y += 4;
        svg.text(kMargin, nextLine(),
                 formatted("d88cut writes %d %s (%d short) and skips %d", written, plural(written, "file", "files"),
                           shortOnes, countOf(image.catalogue) - written),
                 " font-weight=\"bold\"");
        for (const CatalogueReport& entry : image.catalogue) {
            if (entry.outcome() == RunOutcome::Complete) {
                continue;
            }
            svg.text(kMargin, nextLine(),
                     formatted("%s %d of %d bytes ", entry.file.name, entry.delivered, entry.file.length) +
                         stopWords(entry));
        }
        svg.close();
    }

    SvgWriter svg;
    int y = kMargin;
};

}  // namespace

std::string reportSvg(const FileReport& report)
{
    MapDrawer drawer;
    return drawer.draw(report);
}
