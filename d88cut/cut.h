// Cutting the catalogue files of the recognised disks out of a D88 file,
// and the d88cut command around it. The caller owns the reader and the
// buffer each file is read into.
#ifndef D88CUT_D88CUT_CUT_H
#define D88CUT_D88CUT_CUT_H

#include <cstdint>
#include <filesystem>
#include <vector>

#include "d88/d88_reader.h"
#include "cli/console.h"
#include "d88cut/output_file.h"
#include "disks/disk_kinds.h"

enum class CutOutcome {
    Written,
    NothingRead,  // not one whole sector of the run could be read: no file
    Failed,       // the file could not be written, or would have replaced the input
    ReadError,    // the image file could not be read: nothing more can be cut
};

// Reads file's run from image into buffer (grown to the file's length) and
// writes it to the file of that name in output. A run that
// stops early is written with zeros in place of the bytes that could not be
// read. An existing file of that name is replaced only once the new one is
// completely written, and never when it is inputPath itself. Progress goes to
// standard output, warnings and errors to standard error.
CutOutcome cutFile(D88Reader& reader, const ImageHeader& image, const CatalogueFile& file,
                   std::vector<uint8_t>& buffer, OutputDirectory& output, const std::filesystem::path& inputPath);

// The whole command: the D88 file, and -d DIR or --directory=DIR for where
// the files go. Returns the exit status.
// Japanese messages go out in the forms given (Shift-JIS by default).
int runD88Cut(int argc, char* argv[], const MessageForms& forms = MessageForms());

#endif
