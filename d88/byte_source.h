// The bytes of one D88 file, wherever they live: a span the caller owns, or
// an open input file read in large blocks as the reader first needs them.
// Memory grows only with the blocks a walk touches, never with what a header
// claims, and is capped: a large file's blocks are read again rather than
// kept without bound.
#ifndef D88CUT_D88_BYTE_SOURCE_H
#define D88CUT_D88_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "d88/input_file.h"

class ByteSource {
public:
    // The size of the blocks a file is read in.
    static constexpr uint64_t kViewBlockSize = 1 << 16;

    // The bytes of a file already in memory; they must outlive the source.
    ByteSource(const uint8_t* data, size_t size);
    // An open input file; the source takes it over.
    explicit ByteSource(InputFile&& file);
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    uint64_t size() const { return totalSize; }
    // Copies up to length bytes at offset into out and returns how many: fewer
    // only at the end of the bytes, or after a read error (see failed()).
    size_t read(uint64_t offset, uint8_t* out, size_t length);

    // The length bytes at offset where they lie in memory already, or null
    // (then read() copies them, or says why they are not there).
    const uint8_t* view(uint64_t offset, size_t length)
    {
        if (memory != nullptr) {
            return offset <= totalSize && length <= totalSize - offset ? memory + offset : nullptr;
        }
        if (lastBlock != nullptr && offset / kViewBlockSize == lastBlockIndex &&
            offset % kViewBlockSize + length <= lastBlock->size) {
            return lastBlock->bytes.get() + offset % kViewBlockSize;
        }
        return nullptr;
    }

    // A read error is final: once one happened every read delivers nothing,
    // so no result is ever made of bytes the error cut short.
    bool failed() const { return readError != 0; }
    int systemError() const { return readError; }
    // Bytes asked of the operating system so far.
    uint64_t bytesFetched() const { return fetched; }

private:
    const uint8_t* block(uint64_t index, size_t& available);

    const uint8_t* memory = nullptr;
    uint64_t totalSize = 0;
    InputFile file;
    struct Block {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size;  // the bytes read into it
    };
    std::unordered_map<uint64_t, Block> blocks;
    // The block of the latest read; elements of an unordered_map stay where
    // they are until erased.
    uint64_t lastBlockIndex = 0;
    const Block* lastBlock = nullptr;
    int readError = 0;
    uint64_t fetched = 0;
};

#endif
