// What an image header alone says about whether the file is a D88 image at
// all, and how many bytes of the disk the file lacks. Only the header's own
// fields and the file's length are looked at: no track is walked.
#ifndef D88CUT_D88INFO_HEADER_CHECK_H
#define D88CUT_D88INFO_HEADER_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "d88/d88_reader.h"

enum class HeaderProblemKind {
    FileBelowHeader,        // the file is shorter than one image header
    DiskSizeBelowHeader,    // the disk size is smaller than its own header
    DiskSizeBeyondFile,     // the disk size is more than twice what is left of the file
    TrackOffsetsMisplaced,  // a track offset points into the header or past the disk's end
    NoTrackInFile,          // track offsets are set, and none starts after the header inside the file
    UnknownMedia,           // the media byte is none of the five known ones
    NameNotText,            // the disk name holds control bytes
};

// One name per kind, for JSON: "file-below-header", ...
const char* headerProblemName(HeaderProblemKind kind);

struct HeaderProblem {
    HeaderProblemKind kind;
    std::string reason;  // the facts, in words
};

// The problems of header, an image of a file of fileSize bytes, in the
// order of HeaderProblemKind.
std::vector<HeaderProblem> checkHeader(const ImageHeader& header, uint64_t fileSize);

// Bytes of header's disk the file lacks: offset + disk size past the file's
// end, or 0 when the disk is whole or its size is below the header's.
int64_t missingBytes(const ImageHeader& header, uint64_t fileSize);

// The problems that make a file implausible as a D88 file, judged on its
// first image header (null when the scan found none): empty when the file
// may well be a D88 file, however damaged.
//
// A damaged or cut-short image has one thing wrong with its header at most,
// or several that all follow from the file ending early: a disk size far
// beyond the file and no track inside it count as one problem. So a file is
// called not D88 when it is shorter than a header, when its disk size is
// below the header's and no track starts inside the file, or when two
// independent problems come together.
std::vector<HeaderProblem> notD88Reasons(const ImageHeader* first, uint64_t fileSize);

#endif
