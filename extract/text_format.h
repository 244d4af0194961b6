// printf-style formatting into a std::string, for the reports.
#ifndef D88CUT_EXTRACT_TEXT_FORMAT_H
#define D88CUT_EXTRACT_TEXT_FORMAT_H

#include <string>

#if defined(__GNUC__)
#define D88CUT_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define D88CUT_PRINTF_LIKE(formatIndex, firstArgument)
#endif

std::string formatted(const char* format, ...) D88CUT_PRINTF_LIKE(1, 2);
void appendFormatted(std::string& text, const char* format, ...) D88CUT_PRINTF_LIKE(2, 3);

// bytes in double quotes as ASCII: '"' and '\\' behind a backslash,
// printable ASCII as it is, and any other byte through otherByteFormat
// (a printf format taking the byte as an unsigned int).
std::string quotedAscii(const std::string& bytes, const char* otherByteFormat);

#endif
