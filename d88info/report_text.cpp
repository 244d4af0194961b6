// The report as plain ASCII text, one line a fact.
#include <cstddef>

#include "cli/text_format.h"
#include "d88info/disk_report.h"
#include "d88info/printing.h"

namespace {

// R values in record order: runs of unmarked records numbered one after
// another become "first-last", a marked record stands alone with a "!".
std::string compactIds(const std::vector<SectorReport>& sectors)
{
    std::string text;
    size_t i = 0;
    while (i < sectors.size()) {
        if (!text.empty()) {
            text += ' ';
        }
        const int32_t first = sectors[i].record.id.r;
        if (sectors[i].marked()) {
            appendFormatted(text, "%d!", first);
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < sectors.size() && !sectors[end].marked() &&
               sectors[end].record.id.r == sectors[end - 1].record.id.r + 1) {
            ++end;
        }
        const int32_t last = sectors[end - 1].record.id.r;
        if (last == first) {
            appendFormatted(text, "%d", first);
        } else {
            appendFormatted(text, "%d-%d", first, last);
        }
        i = end;
    }
    return text;
}

std::string joinedReasons(const std::vector<HeaderProblem>& problems)
{
    std::string text;
    for (const HeaderProblem& problem : problems) {
        text += (text.empty() ? "" : "; ") + problem.reason;
    }
    return text;
}

void appendTrack(std::string& text, const TrackReport& track)
{
    appendFormatted(text, "    track %3d  C %2d H %d  ", track.index, track.index / 2, track.index % 2);
    if (track.state == TrackState::OffsetOutside) {
        appendFormatted(text, "offset %d lies outside the disk: treated as absent\n", track.offset);
        return;
    }
    if (track.state == TrackState::NoHeader) {
        appendFormatted(text, "offset %d: no sector header can be read there\n", track.offset);
        return;
    }
    if (track.state == TrackState::SameAsEarlier) {
        appendFormatted(text, "offset %d: the same records as image %d track %d\n", track.offset, track.sameAs.image,
                        track.sameAs.track);
        return;
    }
    appendFormatted(text, "%2d %s  %s%s\n", countOf(track.sectors), plural(countOf(track.sectors), "sector ", "sectors"),
                    compactIds(track.sectors).c_str(),
                    track.listingFull ? formatted(" (listing stops at %d)", kMaxListedRecords).c_str() : "");
    for (const SectorReport& sector : track.sectors) {
        if (sector.marked()) {
            const SectorId& id = sector.record.id;
            appendFormatted(text, "        %d! C %d H %d R %d N %d: %s\n", id.r, id.c, id.h, id.r, id.n,
                            describeMarks(sector, track.index).c_str());
        }
    }
}

void appendRecognition(std::string& text, const ImageReport& image)
{
    text += std::string("  recognition  ") + diskLabel(image.recognition.kind);
    if (image.recognition.signatureRead.delivered > 0) {
        appendFormatted(text, " (signature byte 0x%02X)\n", image.recognition.firstByte);
    } else {
        text += ": no signature sector, " + describeStop(image.signatureMissing) + "\n";
    }
}

void appendCatalogue(std::string& text, const ImageReport& image)
{
    appendFormatted(text, "  catalogue    %d files of %s\n", countOf(image.catalogue),
                    diskLabel(image.recognition.kind));
    int written = 0;
    int shortOnes = 0;
    for (const CatalogueReport& entry : image.catalogue) {
        appendFormatted(text, "    %-9s %5d of %5d bytes", entry.file.name, entry.delivered,
                        entry.file.length);
        switch (entry.outcome()) {
        case RunOutcome::Complete:
            ++written;
            text += "\n";
            break;
        case RunOutcome::Short:
            ++written;
            ++shortOnes;
            text += "  short, the rest is zeros: " + describeStop(entry.stop) + "\n";
            break;
        case RunOutcome::Skipped:
            text += "  not written: " + describeStop(entry.stop) + "\n";
            break;
        }
    }
    appendFormatted(text, "  d88cut writes %d %s (%d short) and skips %d\n", written, plural(written, "file", "files"),
                    shortOnes, countOf(image.catalogue) - written);
}

void appendImage(std::string& text, const ImageReport& image)
{
    appendFormatted(text, "\nimage %d at offset %lld\n", image.index, static_cast<long long>(image.offset));
    appendFormatted(text, "  disk size    %d bytes\n", image.diskSize);
    if (image.missingBytes > 0) {
        appendFormatted(text, "  cut short    the image file ends %lld bytes before this disk's end\n",
                        static_cast<long long>(image.missingBytes));
    }
    text += "  disk name    " + echoed(image.name) + "\n";
    appendFormatted(text, "  media        0x%02X (%s)\n", image.media, mediaName(image.media));
    appendRecognition(text, image);
    if (image.sameTracksAs >= 0) {
        appendFormatted(text, "  tracks       the same as image %d's: it starts at the same offset\n",
                        image.sameTracksAs);
    } else {
        appendFormatted(text, "  tracks       %d with data; ! marks a sector a run may stop at\n",
                        countOf(image.tracks));
    }
    for (const TrackReport& track : image.tracks) {
        appendTrack(text, track);
    }
    if (image.recognition.kind != nullptr) {
        appendCatalogue(text, image);
    }
}

}  // namespace

std::string reportText(const FileReport& report)
{
    std::string text = echoed(report.path);
    if (!report.notD88.empty()) {
        return text + ": not a D88 image: " + joinedReasons(report.notD88) + "\n";
    }
    appendFormatted(text, ": %d %s", countOf(report.images), plural(countOf(report.images), "image", "images"));
    if (report.images.empty()) {
        appendFormatted(text, " (an image starts with a %d-byte header)", kImageHeaderSize);
    } else if (countOf(report.images) == kMaxImages) {
        appendFormatted(text, " (no more are looked for)");
    }
    text += "\n";
    for (const ImageReport& image : report.images) {
        appendImage(text, image);
    }
    return text;
}
