// Drives every read the reader offers over a file's bytes, the way the tools
// use it and beyond, and checks each answer against the plain reference
// rules and against what it promises about the caller's buffer. Shared by
// the damaged-image tests and the reader's fuzz target, so a fuzz finding
// and a test fail on the same grounds.
#ifndef D88CUT_TESTSUPPORT_READER_WALK_H
#define D88CUT_TESTSUPPORT_READER_WALK_H

#include <cstddef>
#include <cstdint>
#include <string>

// Reads bytes as a D88 file: every image, its signature sector, the first
// records of every track alone and as runs (also with the sector range those
// records suggest), and every catalogue run of every disk kind. Empty when
// every answer kept its promises and agreed with the reference; otherwise
// the first that did not.
std::string walkBytes(const uint8_t* bytes, size_t size);

#endif
