// What d88info tells about a D88 file: each image's header, whether it is
// Disk A or Disk B, the sector records of its tracks, and how many bytes each
// catalogue run would deliver and why a run stops short.
//
// Everything here is read through D88Reader with the recognition and the
// catalogue that d88cut uses, so the report describes exactly what d88cut
// would do with the same file.
#ifndef D88CUT_EXTRACT_DISK_REPORT_H
#define D88CUT_EXTRACT_DISK_REPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "d88/d88_reader.h"
#include "extract/catalogue.h"

// A track listing stops here; real tracks hold a few dozen records at most.
constexpr int32_t kMaxListedRecords = 256;

// The common name of a media-type byte, or "unknown".
const char* mediaName(int32_t media);

struct SectorReport {
    SectorRecordInfo record;
    bool offPosition;      // its C or H is not the track's cylinder or head
    bool sizeCodeNotOne;   // its N is not the catalogue's 1
    bool dataSizeDiffers;  // its data size is not 128 << N
    bool unreachable;      // a record count at or before it ends every lookup first
    bool marked() const { return offPosition || sizeCodeNotOne || dataSizeDiffers || unreachable; }
};

enum class TrackState {
    Listed,
    OffsetOutside,  // the offset is negative or beyond the disk size: the reader treats the track as absent
    NoHeader,       // not even a whole first sector header can be read there
};

struct TrackReport {
    int32_t index;
    int32_t offset;
    TrackState state;
    std::vector<SectorReport> sectors;
    bool listingFull;  // kMaxListedRecords were listed; there may be more
};

// Why a sector delivers fewer bytes than a run needs from it.
enum class SectorProblem {
    None,
    TrackAbsent,        // the track's table slot is 0, or the index is past the table
    TrackOutside,       // the track's offset lies outside the disk
    TrackUnreadable,    // no sector header of the track can be read
    SectorMissing,      // no record of the track carries the ID
    PastRecordCount,    // a record carries the ID, but a record count ends lookups before it
    DataShort,          // the record's data size is smaller than the bytes wanted
    FileEnds,           // the file ends inside the record's data
    DeliversLess,       // a record past the listing limit delivers too little
};

struct SectorDiagnosis {
    SectorProblem problem;
    RunPosition at;     // the sector asked for
    int32_t wanted;     // bytes the run needed from it
    int32_t delivered;  // bytes the reader delivered
    int32_t dataSize;   // the record's data-size field, when a record was found
    int32_t trackOffset;
};

enum class RunOutcome { Complete, Short, Skipped };

struct CatalogueReport {
    CatalogueFile file;
    int32_t delivered;     // bytes the run delivers; d88cut writes the rest as zeros
    SectorDiagnosis stop;  // where and why the run stops; problem None when complete
    RunOutcome outcome() const;
};

struct ImageReport {
    int32_t index;
    int64_t offset;
    bool headerRead;  // false when the header could not be read again on selection
    int32_t diskSize;
    std::string name;
    int32_t media;
    SignatureReading signature;
    SectorDiagnosis signatureMissing;  // why no signature was read, when none was
    std::vector<TrackReport> tracks;
    std::vector<CatalogueReport> catalogue;  // empty unless the disk was recognised
};

struct FileReport {
    std::string path;
    std::vector<ImageReport> images;
};

// Reports on every image of the file reader has open. Leaves no image
// selected.
FileReport buildFileReport(D88Reader& reader, const std::string& path);

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
