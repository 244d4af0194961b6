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

#endif
