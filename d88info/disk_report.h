// What d88info tells about a D88 file: each image's header, whether it is a
// known disk, the sector records of its tracks, and how many bytes each
// catalogue run delivers and why a run stops short.
//
// Every fact comes from the reader's own answers, the same lookups d88cut
// makes, so the report describes exactly what d88cut does with the same
// file. Records are listed once: a track or image whose records were already
// listed refers to the earlier listing.
#ifndef D88CUT_D88INFO_DISK_REPORT_H
#define D88CUT_D88INFO_DISK_REPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "d88/d88_reader.h"
#include "d88info/header_check.h"
#include "disks/disk_kinds.h"

// A track listing stops here; real tracks hold a few dozen records at most.
constexpr int32_t kMaxListedRecords = kRecordsWalkedPastSearch;

// The common name of a media-type byte, or "unknown".
const char* mediaName(int32_t media);

struct SectorReport {
    TrackRecord record;
    bool offPosition;      // its C or H is not the track's cylinder or head
    bool sizeCodeNotOne;   // its N is not the catalogue's 1
    bool dataSizeDiffers;  // its data size is not 128 << N
    bool unreachable;      // a record count at or before it ends every lookup first
    bool marked() const { return offPosition || sizeCodeNotOne || dataSizeDiffers || unreachable; }
};

enum class TrackState {
    Listed,
    OffsetOutside,  // the offset is negative or beyond the disk size: lookups treat the track as absent
    NoHeader,       // not even a whole first sector header can be read there
    SameAsEarlier,  // its records start at the same byte as an earlier listed track's
};

// Where a listing was given first.
struct ListingPlace {
    int32_t image;
    int32_t track;
};

struct TrackReport {
    int32_t index;
    int32_t offset;
    TrackState state;
    std::vector<SectorReport> sectors;
    bool listingFull;     // kMaxListedRecords were listed; there may be more
    ListingPlace sameAs;  // for SameAsEarlier
};

// Why a sector delivers fewer bytes than a run needs from it: the reader's
// answer for that sector.
struct SectorDiagnosis {
    LookupStatus problem;  // Found when nothing is missing
    SectorAddress at;      // the sector asked for
    int32_t wanted;        // bytes the run needed from it
    int32_t delivered;     // bytes the reader delivered
    int32_t dataSize;      // the record's data-size field, when a record carries the ID
    int32_t trackOffset;
    int32_t trackRecords;  // whole sector headers walked on the track
};

enum class RunOutcome { Complete, Short, Skipped };

struct CatalogueReport {
    CatalogueFile file;
    int32_t delivered;     // bytes the run delivers; d88cut writes the rest as zeros
    SectorDiagnosis stop;  // where and why the run stops; problem Found when complete
    RunOutcome outcome() const;
};

struct ImageReport {
    int32_t index;
    int64_t offset;
    int32_t diskSize;
    std::string name;
    int32_t media;
    Recognition recognition;
    SectorDiagnosis signatureMissing;  // why no signature was read, when none was
    int32_t sameTracksAs;              // an earlier image at the same offset, or -1
    std::vector<TrackReport> tracks;   // empty when sameTracksAs names an image
    std::vector<CatalogueReport> catalogue;  // empty unless the disk was recognised
    std::vector<HeaderProblem> headerProblems;  // what its header alone gets wrong
    int64_t missingBytes;                       // of the disk, past the file's end; 0 when whole
};

struct FileReport {
    std::string path;
    std::vector<ImageReport> images;
    bool readFailed;  // the file could not be read to the end: the report stops there
    int readError;
    // Why the file is not taken for a D88 file; when set, images is empty.
    std::vector<HeaderProblem> notD88;
};

// Reports on every image reader found in a file of fileSize bytes, or, when
// the file does not look like a D88 file, on nothing but why.
FileReport buildFileReport(D88Reader& reader, const std::string& path, uint64_t fileSize);

// The name a report gives a disk kind: "Disk A", or "neither disk" for none.
const char* diskLabel(const DiskKind* kind);
// Why the sector a diagnosis names delivered too little, in words.
std::string describeStop(const SectorDiagnosis& stop);
// What is wrong with a marked record of track, in words.
std::string describeMarks(const SectorReport& sector, int32_t track);

// The report as plain ASCII text, as one JSON document, and as a map of
// the disk: one self-contained SVG document.
std::string reportText(const FileReport& report);
std::string reportJson(const FileReport& report);
std::string reportSvg(const FileReport& report);

// The whole command: [--json | --svg] FILE. Returns the exit status.
int runD88Info(int argc, char* argv[]);

#endif
