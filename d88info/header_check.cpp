// Judges image headers by their fields and the file's length alone; every
// field is untrusted and worked in 64 bits.
#include "d88info/header_check.h"

#include "cli/text_format.h"
#include "d88info/disk_report.h"

namespace {

struct ProblemNameRow {
    HeaderProblemKind kind;
    const char* name;
};

constexpr ProblemNameRow kProblemNames[] = {
    {HeaderProblemKind::FileBelowHeader, "file-below-header"},
    {HeaderProblemKind::DiskSizeBelowHeader, "disk-size-below-header"},
    {HeaderProblemKind::DiskSizeBeyondFile, "disk-size-beyond-file"},
    {HeaderProblemKind::TrackOffsetsMisplaced, "track-offsets-misplaced"},
    {HeaderProblemKind::NoTrackInFile, "no-track-in-file"},
    {HeaderProblemKind::UnknownMedia, "unknown-media"},
    {HeaderProblemKind::NameNotText, "name-not-text"},
};

bool has(const std::vector<HeaderProblem>& problems, HeaderProblemKind kind)
{
    for (const HeaderProblem& problem : problems) {
        if (problem.kind == kind) {
            return true;
        }
    }
    return false;
}

// Disk names are text in any encoding, Shift JIS among them: only the
// control bytes are out of place.
bool nameIsText(const std::string& name)
{
    for (const char ch : name) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

// Whether a track of header starts after the header and before the file ends.
bool anyTrackInFile(const ImageHeader& header, uint64_t fileSize)
{
    const int64_t left = static_cast<int64_t>(fileSize) - header.offset;
    for (const int32_t trackOffset : header.trackOffsets) {
        if (trackOffset >= kImageHeaderSize && trackOffset < left) {
            return true;
        }
    }
    return false;
}

}  // namespace

const char* headerProblemName(HeaderProblemKind kind)
{
    for (const ProblemNameRow& row : kProblemNames) {
        if (row.kind == kind) {
            return row.name;
        }
    }
    return "unknown";
}

std::vector<HeaderProblem> checkHeader(const ImageHeader& header, uint64_t fileSize)
{
    std::vector<HeaderProblem> problems;
    const auto add = [&problems](HeaderProblemKind kind, std::string reason) {
        problems.push_back(HeaderProblem{kind, std::move(reason)});
    };
    const int64_t left = static_cast<int64_t>(fileSize) - header.offset;
    const int64_t diskSize = header.diskSize;
    const bool sizeUsable = diskSize >= kImageHeaderSize;
    if (!sizeUsable) {
        add(HeaderProblemKind::DiskSizeBelowHeader,
            formatted("its disk size %lld is smaller than the %d-byte header", static_cast<long long>(diskSize),
                      kImageHeaderSize));
    } else if (diskSize > 2 * left) {
        add(HeaderProblemKind::DiskSizeBeyondFile,
            formatted("its disk size %lld is more than twice the %lld bytes left in the input file",
                      static_cast<long long>(diskSize), static_cast<long long>(left)));
    }
    int32_t setTracks = 0;
    int32_t misplaced = 0;
    int32_t firstMisplaced = -1;
    for (int32_t track = 0; track < kTrackSlots; ++track) {
        const int64_t trackOffset = header.trackOffsets[track];
        if (trackOffset == 0) {
            continue;
        }
        ++setTracks;
        if (trackOffset < kImageHeaderSize || (sizeUsable && trackOffset > diskSize)) {
            ++misplaced;
            firstMisplaced = firstMisplaced < 0 ? track : firstMisplaced;
        }
    }
    if (misplaced > 0) {
        add(HeaderProblemKind::TrackOffsetsMisplaced,
            formatted("%d track %s into the header or past the disk's end (track %d at %d)", misplaced,
                      misplaced == 1 ? "offset points" : "offsets point", firstMisplaced,
                      header.trackOffsets[firstMisplaced]));
    }
    if (setTracks > 0 && !anyTrackInFile(header, fileSize)) {
        add(HeaderProblemKind::NoTrackInFile,
            formatted("none of its %d track offsets starts after the header inside the input file", setTracks));
    }
    if (std::string(mediaName(header.media)) == "unknown") {
        add(HeaderProblemKind::UnknownMedia, formatted("its media byte 0x%02X is none of the known ones", header.media));
    }
    if (!nameIsText(header.name)) {
        add(HeaderProblemKind::NameNotText, "its disk name holds control bytes");
    }
    return problems;
}

int64_t missingBytes(const ImageHeader& header, uint64_t fileSize)
{
    if (header.diskSize < kImageHeaderSize) {
        return 0;
    }
    const int64_t end = header.offset + header.diskSize;
    const auto size = static_cast<int64_t>(fileSize);
    return end > size ? end - size : 0;
}

std::vector<HeaderProblem> notD88Reasons(const ImageHeader* first, uint64_t fileSize)
{
    if (first == nullptr) {
        return {HeaderProblem{HeaderProblemKind::FileBelowHeader,
                              formatted("the input file holds %llu bytes, fewer than an image header's %d",
                                        static_cast<unsigned long long>(fileSize), kImageHeaderSize)}};
    }
    std::vector<HeaderProblem> problems = checkHeader(*first, fileSize);
    const bool sizeBelowHeader = has(problems, HeaderProblemKind::DiskSizeBelowHeader);
    const bool noTrackInFile = has(problems, HeaderProblemKind::NoTrackInFile);
    // A disk size below the header leads nowhere, but tracks that still lie
    // inside the file can be read: only with none of them is it conclusive.
    if (sizeBelowHeader && !anyTrackInFile(*first, fileSize)) {
        return problems;
    }
    const bool fileShort = has(problems, HeaderProblemKind::DiskSizeBeyondFile) || noTrackInFile;
    const int independent = (sizeBelowHeader ? 1 : 0) + (fileShort ? 1 : 0) +
                            (has(problems, HeaderProblemKind::TrackOffsetsMisplaced) ? 1 : 0) +
                            (has(problems, HeaderProblemKind::UnknownMedia) ? 1 : 0) +
                            (has(problems, HeaderProblemKind::NameNotText) ? 1 : 0);
    if (independent < 2) {
        problems.clear();
    }
    return problems;
}
