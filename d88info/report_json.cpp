// The report as one compact JSON document.
#include <cstddef>

#include "cli/text_format.h"
#include "cli/utf8_check.h"
#include "d88info/disk_report.h"

namespace {

// Writes one JSON document, compact, putting the commas between members and
// elements itself.
class JsonWriter {
public:
    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    void key(const char* name)
    {
        separate();
        appendString(name);
        text += ':';
        afterKey = true;
    }
    void value(int64_t number)
    {
        separate();
        appendFormatted(text, "%lld", static_cast<long long>(number));
    }
    void value(bool truth)
    {
        separate();
        text += truth ? "true" : "false";
    }
    void value(const std::string& string)
    {
        separate();
        appendString(string);
    }
    void value(const char* string) { value(std::string(string)); }
    void null()
    {
        separate();
        text += "null";
    }

    template <typename Value>
    void member(const char* name, const Value& content)
    {
        key(name);
        value(content);
    }
    void member(const char* name, int32_t number) { member(name, static_cast<int64_t>(number)); }

    // name's string, followed by "<name>Bytes": true when it is not valid
    // UTF-8 and its characters stand for bytes.
    void textMember(const std::string& name, const std::string& bytes)
    {
        member(name.c_str(), bytes);
        if (!isValidUtf8(bytes)) {
            member((name + "Bytes").c_str(), true);
        }
    }

    const std::string& document() const { return text; }

private:
    void open(char bracket)
    {
        separate();
        text += bracket;
        firstInContainer = true;
    }
    void close(char bracket)
    {
        text += bracket;
        firstInContainer = false;
    }
    void separate()
    {
        if (afterKey) {
            afterKey = false;
        } else if (!firstInContainer && !text.empty()) {
            text += ',';
        }
        firstInContainer = false;
    }
    // Names and paths that hold text (valid UTF-8) are written as that text.
    // Any other string keeps every byte: each byte outside printable ASCII
    // becomes the character \u00XX, and textMember marks such a string so
    // that a reader knows to take its characters back as bytes.
    void appendString(const std::string& bytes)
    {
        if (!isValidUtf8(bytes)) {
            text += quotedAscii(bytes, "\\u%04x");
            return;
        }
        text += '"';
        for (const char ch : bytes) {
            const auto byte = static_cast<unsigned char>(ch);
            if (byte == '"' || byte == '\\') {
                text += '\\';
                text += ch;
            } else if (byte < 0x20 || byte == 0x7F) {
                appendFormatted(text, "\\u%04x", static_cast<unsigned>(byte));
            } else {
                text += ch;
            }
        }
        text += '"';
    }

    std::string text;
    bool firstInContainer = true;
    bool afterKey = false;
};

const char* markName(int index)
{
    static const char* const kMarkNames[] = {"off-position", "size-code", "data-size", "unreachable"};
    return kMarkNames[index];
}

const char* trackStateName(TrackState state)
{
    switch (state) {
    case TrackState::Listed:
        return "listed";
    case TrackState::OffsetOutside:
        return "offset-outside";
    case TrackState::NoHeader:
        return "no-header";
    case TrackState::SameAsEarlier:
        return "same-as-earlier";
    }
    return "";
}

const char* outcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Complete:
        return "complete";
    case RunOutcome::Short:
        return "short";
    case RunOutcome::Skipped:
        return "skipped";
    }
    return "";
}

void writeStop(JsonWriter& json, const SectorDiagnosis& stop)
{
    json.beginObject();
    json.member("problem", lookupStatusName(stop.problem));
    json.member("reason", describeStop(stop));
    json.member("track", stop.at.track);
    json.member("c", int32_t{stop.at.id.c});
    json.member("h", int32_t{stop.at.id.h});
    json.member("r", int32_t{stop.at.id.r});
    json.member("n", int32_t{stop.at.id.n});
    json.member("trackOffset", stop.trackOffset);
    json.member("wanted", stop.wanted);
    json.member("delivered", stop.delivered);
    json.member("dataSize", stop.dataSize);
    json.endObject();
}

void writeSector(JsonWriter& json, const SectorReport& sector, int32_t track)
{
    const TrackRecord& record = sector.record;
    json.beginObject();
    json.member("c", int32_t{record.id.c});
    json.member("h", int32_t{record.id.h});
    json.member("r", int32_t{record.id.r});
    json.member("n", int32_t{record.id.n});
    json.member("recordCount", int32_t{record.recordCount});
    json.member("dataSize", int32_t{record.dataSize});
    json.key("marks");
    json.beginArray();
    const bool marks[] = {sector.offPosition, sector.sizeCodeNotOne, sector.dataSizeDiffers, sector.unreachable};
    for (int i = 0; i < 4; ++i) {
        if (marks[i]) {
            json.value(markName(i));
        }
    }
    json.endArray();
    if (sector.marked()) {
        json.member("note", describeMarks(sector, track));
    }
    json.endObject();
}

void writeTrack(JsonWriter& json, const TrackReport& track)
{
    json.beginObject();
    json.member("index", track.index);
    json.member("cylinder", track.index / 2);
    json.member("head", track.index % 2);
    json.member("offset", track.offset);
    json.member("state", trackStateName(track.state));
    json.member("listingFull", track.listingFull);
    if (track.state == TrackState::SameAsEarlier) {
        json.key("sameAs");
        json.beginObject();
        json.member("image", track.sameAs.image);
        json.member("track", track.sameAs.track);
        json.endObject();
    }
    json.key("sectors");
    json.beginArray();
    for (const SectorReport& sector : track.sectors) {
        writeSector(json, sector, track.index);
    }
    json.endArray();
    json.endObject();
}

void writeRecognition(JsonWriter& json, const ImageReport& image)
{
    json.beginObject();
    const Recognition& recognition = image.recognition;
    json.key("disk");
    if (recognition.kind == nullptr) {
        json.null();
    } else {
        json.value(recognition.kind->name);
    }
    json.key("signatureByte");
    if (recognition.signatureRead.delivered > 0) {
        json.value(int64_t{recognition.firstByte});
    } else {
        json.null();
    }
    json.key("missing");
    if (recognition.signatureRead.delivered == 0) {
        writeStop(json, image.signatureMissing);
    } else {
        json.null();
    }
    json.endObject();
}

void writeCatalogueEntry(JsonWriter& json, const CatalogueReport& entry)
{
    const CatalogueFile& file = entry.file;
    json.beginObject();
    json.member("name", file.name);
    json.member("track", file.start.track);
    json.member("c", int32_t{file.start.id.c});
    json.member("h", int32_t{file.start.id.h});
    json.member("r", int32_t{file.start.id.r});
    json.member("n", int32_t{file.start.id.n});
    json.member("length", file.length);
    json.member("delivered", entry.delivered);
    json.member("outcome", outcomeName(entry.outcome()));
    json.key("stop");
    if (entry.outcome() == RunOutcome::Complete) {
        json.null();
    } else {
        writeStop(json, entry.stop);
    }
    json.endObject();
}

void writeHeaderProblems(JsonWriter& json, const std::vector<HeaderProblem>& problems)
{
    json.beginArray();
    for (const HeaderProblem& problem : problems) {
        json.beginObject();
        json.member("problem", headerProblemName(problem.kind));
        json.member("reason", problem.reason);
        json.endObject();
    }
    json.endArray();
}

void writeImage(JsonWriter& json, const ImageReport& image)
{
    json.beginObject();
    json.member("index", image.index);
    json.member("offset", image.offset);
    // Every image's header is read once, in the scan that finds it; the
    // member stays for readers of earlier reports.
    json.member("headerRead", true);
    json.member("diskSize", image.diskSize);
    json.textMember("name", image.name);
    json.member("media", image.media);
    json.member("mediaName", mediaName(image.media));
    json.member("missingBytes", image.missingBytes);
    json.key("headerProblems");
    writeHeaderProblems(json, image.headerProblems);
    if (image.sameTracksAs >= 0) {
        json.member("tracksSameAs", image.sameTracksAs);
    }
    json.key("recognition");
    writeRecognition(json, image);
    json.key("tracks");
    json.beginArray();
    for (const TrackReport& track : image.tracks) {
        writeTrack(json, track);
    }
    json.endArray();
    json.key("catalogue");
    json.beginArray();
    for (const CatalogueReport& entry : image.catalogue) {
        writeCatalogueEntry(json, entry);
    }
    json.endArray();
    json.endObject();
}

}  // namespace

std::string reportJson(const FileReport& report)
{
    JsonWriter json;
    json.beginObject();
    json.textMember("file", report.path);
    json.member("verdict", report.notD88.empty() ? "d88" : "not-d88");
    json.key("problems");
    writeHeaderProblems(json, report.notD88);
    json.member("imageCount", static_cast<int64_t>(report.images.size()));
    json.key("images");
    json.beginArray();
    for (const ImageReport& image : report.images) {
        writeImage(json, image);
    }
    json.endArray();
    json.endObject();
    return json.document() + "\n";
}
