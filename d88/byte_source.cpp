// Block reading and caching for a file, and plain copying for memory.
#include "d88/byte_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Large enough that an ordinary image takes a handful of reads, small enough
// that a track in a far corner of a sparse file costs little.
constexpr uint64_t kBlockSize = ByteSource::kViewBlockSize;
// Past this many blocks (32 MiB) the cache starts again empty: the reader
// moves through a file image by image, so what it needs again is mostly recent.
constexpr size_t kMaxCachedBlocks = 512;

}  // namespace

ByteSource::ByteSource(const uint8_t* data, size_t size) : memory(data), totalSize(data != nullptr ? size : 0)
{
}

ByteSource::ByteSource(InputFile&& opened) : totalSize(opened.size()), file(std::move(opened))
{
}

const uint8_t* ByteSource::block(uint64_t index, size_t& available)
{
    // Most reads fall in the block the one before used.
    if (lastBlock != nullptr && index == lastBlockIndex) {
        available = lastBlock->size;
        return lastBlock->bytes.get();
    }
    auto found = blocks.find(index);
    if (found == blocks.end()) {
        if (blocks.size() >= kMaxCachedBlocks) {
            blocks.clear();
            lastBlock = nullptr;
        }
        const uint64_t start = index * kBlockSize;
        const auto wanted = static_cast<size_t>(std::min(kBlockSize, totalSize - start));
        // Left uninitialised: the read fills what the block will say it holds.
        Block block{std::unique_ptr<uint8_t[]>(new uint8_t[wanted]), 0};
        int error = 0;
        const int64_t got = file.readAt(start, block.bytes.get(), wanted, error);
        if (got < 0) {
            readError = error != 0 ? error : -1;
            return nullptr;
        }
        fetched += wanted;
        // A file that shrank since it was opened ends here.
        block.size = static_cast<size_t>(got);
        found = blocks.emplace(index, std::move(block)).first;
    }
    lastBlockIndex = index;
    lastBlock = &found->second;
    available = found->second.size;
    return found->second.bytes.get();
}

size_t ByteSource::read(uint64_t offset, uint8_t* out, size_t length)
{
    if (failed() || offset >= totalSize || length == 0) {
        return 0;
    }
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(length, totalSize - offset));
    if (memory != nullptr) {
        std::memcpy(out, memory + offset, wanted);
        return wanted;
    }
    size_t copied = 0;
    while (copied < wanted) {
        const uint64_t at = offset + copied;
        size_t available = 0;
        const uint8_t* bytes = block(at / kBlockSize, available);
        if (bytes == nullptr) {
            return 0;
        }
        const size_t inBlock = static_cast<size_t>(at % kBlockSize);
        if (inBlock >= available) {
            break;
        }
        const size_t piece = std::min(wanted - copied, available - inBlock);
        std::memcpy(out + copied, bytes + inBlock, piece);
        copied += piece;
    }
    return copied;
}
