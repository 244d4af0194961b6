// The image file as the operating system gives it: opened for reading only
// when it is a regular file, then read at any offset. The only code that
// touches the input file; it keeps no state beyond the open handle.
#ifndef D88CUT_D88_INPUT_FILE_H
#define D88CUT_D88_INPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

enum class OpenFailure {
    None,
    NoSuchFile,
    IsDirectory,
    NotRegularFile,  // a FIFO, socket, terminal or device: refused before any read can block
    PermissionDenied,
    Other,           // see the system's reason
};

// "no such file", "is a directory", ...; for Other, the system's own words for
// the error number kept with the failure.
std::string openFailureReason(OpenFailure failure, int systemError);

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens path; on failure the file stays closed and systemError holds the
    // error number behind the failure.
    OpenFailure open(const char* path, int& systemError);
    bool isOpen() const;
    // The size the file had when it was opened.
    uint64_t size() const { return fileSize; }
    // Reads up to length bytes at offset into out. Returns the bytes read,
    // fewer only at the end of the file; -1 on a read error, with the error
    // number in systemError.
    int64_t readAt(uint64_t offset, uint8_t* out, size_t length, int& systemError);

private:
    void close();

    int descriptor = -1;
    uint64_t fileSize = 0;
};

#endif
