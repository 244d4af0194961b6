// Arbitrary bytes as a D88 file, reported on as d88info does: the JSON must
// parse, say what the text says, and both must stay within a bound set by
// the format's limits and the input's size. A broken promise aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "d88info/disk_report.h"

namespace {

// Per image at most a header, 164 track lines and a catalogue; per record
// listed at most one line. Records are listed once, and each takes at least
// a 16-byte header of the input.
constexpr size_t kBoundPerImage = 40000;
constexpr size_t kBoundPerInputByte = 40;

[[noreturn]] void fail(const std::string& why)
{
    std::fprintf(stderr, "report_fuzzer: %s\n", why.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ByteSource source(data, size);
    D88Reader reader(source);
    const FileReport report = buildFileReport(reader, "fuzz.d88", size);
    const std::string text = reportText(report);
    const std::string json = reportJson(report);
    const size_t bound = kBoundPerImage * (report.images.size() + 1) + kBoundPerInputByte * size;
    if (text.size() > bound || json.size() > 4 * bound) {
        fail("a report larger than its bound");
    }
    const nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
    if (document.is_discarded()) {
        fail("the JSON does not parse");
    }
    if (document["imageCount"] != report.images.size() || document["images"].size() != report.images.size()) {
        fail("the JSON counts other images");
    }
    for (const ImageReport& image : report.images) {
        const nlohmann::json& shown = document["images"][static_cast<size_t>(image.index)];
        if (shown["catalogue"].size() != image.catalogue.size()) {
            fail("the JSON lists another catalogue");
        }
        for (size_t i = 0; i < image.catalogue.size(); ++i) {
            const CatalogueReport& entry = image.catalogue[i];
            if (shown["catalogue"][i]["delivered"] != entry.delivered) {
                fail("the JSON and the model disagree on a run");
            }
            char line[64];
            std::snprintf(line, sizeof line, "    %-9s %5d of %5d bytes", entry.file.name, entry.delivered,
                          entry.file.length);
            if (text.find(line) == std::string::npos) {
                fail(std::string("the text does not say what the JSON says of ") + entry.file.name);
            }
        }
    }
    return 0;
}
