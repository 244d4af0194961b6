// printf-style formatting into a std::string, and the one way both tools
// show bytes of unknown encoding (paths, disk names) as plain ASCII.
#ifndef D88CUT_CLI_TEXT_FORMAT_H
#define D88CUT_CLI_TEXT_FORMAT_H

#include <string>

#if defined(__GNUC__)
#define D88CUT_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define D88CUT_PRINTF_LIKE(formatIndex, firstArgument)
#endif

std::string formatted(const char* format, ...) D88CUT_PRINTF_LIKE(1, 2);
void appendFormatted(std::string& text, const char* format, ...) D88CUT_PRINTF_LIKE(2, 3);

// bytes as ASCII: '"' and '\\' behind a backslash, printable ASCII as it is,
// and any other byte through otherByteFormat (a printf format taking the
// byte as an unsigned int).
std::string escapedAscii(const std::string& bytes, const char* otherByteFormat);
// The same in double quotes.
std::string quotedAscii(const std::string& bytes, const char* otherByteFormat);

// A path or name echoed in a message or a report: quoted, and escaped as
// \xNN where it is not printable ASCII, so that no byte of it can act on a
// terminal.
std::string echoed(const std::string& bytes);

#endif
