// Drives every read the reader offers over whatever file it has open, the
// way the tool uses it and beyond, and checks what each read promises about
// its result and the caller's buffer. Shared by the damaged-image tests and
// the reader's fuzz target, so a fuzz finding and a test fail on the same
// grounds.
#ifndef D88CUT_TESTSUPPORT_READER_WALK_H
#define D88CUT_TESTSUPPORT_READER_WALK_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "d88/d88_reader.h"

struct ReaderWalk {
    // Empty while every read kept its promises; otherwise the first broken one.
    std::string fault;
    // Of every result and every byte delivered, in order: two walks over the
    // same file must agree, whatever state the first one left behind.
    uint64_t digest = 0xCBF29CE484222325ull;
};

// Walks every image: selects it, reads the signature sector, lists the IDs of
// every track, reads the first sectors listed alone and as runs (also with
// the sector range those IDs suggest) and reads each catalogue run of both
// disks. Leaves the sector range at the tool's.
ReaderWalk walkReader(D88Reader& reader);

// Puts bytes in a temporary stream, opens it with a reader of its own and
// walks it twice. Empty when the stream opened, every read kept its promises
// and both walks agreed; otherwise what went wrong.
std::string walkBytes(const uint8_t* bytes, size_t size);

#endif
