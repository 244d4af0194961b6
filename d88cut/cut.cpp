// One catalogue file: its run read, announced, padded and written.
#include "d88cut/cut.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "d88cut/output_file.h"

namespace {

const char kCuttingMessage[] = "cutting ... %s\n";

}  // namespace

CutOutcome cutFile(D88Reader& reader, const ImageHeader& image, const CatalogueFile& file,
                   std::vector<uint8_t>& buffer, OutputDirectory& output, const std::filesystem::path& inputPath)
{
    buffer.resize(static_cast<size_t>(file.length));
    const RunResult run =
        reader.readRun(image, file.start, kCatalogueSectorRange, buffer.data(), file.length);
    if (run.stop.status == LookupStatus::ReadError) {
        return CutOutcome::ReadError;
    }
    if (run.delivered == 0) {
        std::fprintf(stderr, "d88cut: warning: %s: its first sector cannot be read; not written\n", file.name);
        return CutOutcome::NothingRead;
    }
    std::printf(kCuttingMessage, file.name);
    if (run.delivered < file.length) {
        // Never let bytes of an earlier file or of a piece cut short stand in
        // for sectors that are missing here.
        std::memset(buffer.data() + run.delivered, 0, static_cast<size_t>(file.length - run.delivered));
        std::fprintf(stderr, "d88cut: warning: %s: read %d of %d bytes; the rest is zero\n", file.name,
                     run.delivered, file.length);
    }
    const OutputResult result = output.write(file.name, buffer.data(), buffer.size(), inputPath);
    if (result.outcome == OutputOutcome::IsInput) {
        std::fprintf(stderr, "d88cut: %s is the disk image being read; not overwritten\n", file.name);
    } else if (result.outcome == OutputOutcome::Failed) {
        std::fprintf(stderr, "d88cut: cannot write %s: %s\n", file.name, result.reason.c_str());
    }
    return result.outcome == OutputOutcome::Written ? CutOutcome::Written : CutOutcome::Failed;
}
