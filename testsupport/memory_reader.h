// A reader over bytes it keeps alive, for tests that need no file. Not
// copyable or movable: the source and the reader point into it.
#ifndef D88CUT_TESTSUPPORT_MEMORY_READER_H
#define D88CUT_TESTSUPPORT_MEMORY_READER_H

#include <utility>

#include "d88/d88_reader.h"
#include "testsupport/d88_fixture.h"

struct MemoryReader {
    explicit MemoryReader(Bytes content) : bytes(std::move(content)), source(bytes.data(), bytes.size()), reader(source)
    {
    }
    MemoryReader(const MemoryReader&) = delete;
    MemoryReader& operator=(const MemoryReader&) = delete;

    Bytes bytes;
    ByteSource source;
    D88Reader reader;
};

#endif
