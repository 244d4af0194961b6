#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>

#include "testsupport/d88_fixture.h"
#include "testsupport/reader_walk.h"

namespace {

// Small, but with every structure the reader interprets: two images, a
// signature sector that makes the first Disk A, the start of a catalogue run
// across two sectors, and a second image with a record count that promises
// more records than there are.
Bytes smallValidFile()
{
    D88ImageBuilder first;
    Bytes signature = sectorPattern('S', 2, 1);
    signature[0] = 0xC3;
    first.addSector(2, sectorAt(1, 0, 1, signature));
    first.addStandardTrack(1, 'M', 2, 3);
    D88ImageBuilder second;
    SectorRecord lone = sectorAt(0, 0, 1, Bytes(16, 0x42), 0);
    lone.recordCount = 2;
    second.addSector(0, lone);
    return concatenate({first.build(), second.build()});
}

TEST(DamagedImageTest, EveryFlippedZeroedOrTruncatedByteIsReadSafely)
{
    const Bytes valid = smallValidFile();
    ASSERT_EQ(walkBytes(valid.data(), valid.size()), "");
    struct Damage {
        const char* what;
        std::function<bool(Bytes&, size_t)> apply;  // false when it changes nothing
    };
    const Damage damages[] = {
        {"flipped", [](Bytes& b, size_t i) { b[i] = static_cast<uint8_t>(~b[i]); return true; }},
        {"zeroed", [](Bytes& b, size_t i) { const bool changes = b[i] != 0; b[i] = 0; return changes; }},
        {"truncated", [](Bytes& b, size_t i) { b.resize(i); return true; }},
    };
    const auto start = std::chrono::steady_clock::now();
    int variants = 0;
    int faults = 0;
    for (const Damage& damage : damages) {
        for (size_t i = 0; i < valid.size() && faults < 10; ++i) {
            Bytes variant = valid;
            if (!damage.apply(variant, i)) {
                continue;
            }
            ++variants;
            const std::string fault = walkBytes(variant.data(), variant.size());
            if (!fault.empty()) {
                ++faults;
                ADD_FAILURE() << "byte " << i << " " << damage.what << ": " << fault;
            }
        }
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::cout << "[          ] " << variants << " variants of " << valid.size() << " bytes in " << took.count()
              << " ms\n";
}

}  // namespace
