// Formatting helpers shared by both tools' messages and reports.
#include "cli/text_format.h"

#include <cstdarg>
#include <cstdio>

namespace {

void appendFormattedList(std::string& text, const char* format, std::va_list arguments)
{
    // Most pieces are short: format straight into room at the end, and only a
    // longer one a second time.
    constexpr size_t kFirstTry = 256;
    std::va_list again;
    va_copy(again, arguments);
    const size_t start = text.size();
    text.resize(start + kFirstTry);
    const int length = std::vsnprintf(&text[start], kFirstTry, format, arguments);
    if (length < 0) {
        text.resize(start);
    } else if (static_cast<size_t>(length) < kFirstTry) {
        text.resize(start + static_cast<size_t>(length));
    } else {
        text.resize(start + static_cast<size_t>(length) + 1);
        std::vsnprintf(&text[start], static_cast<size_t>(length) + 1, format, again);
        text.resize(start + static_cast<size_t>(length));
    }
    va_end(again);
}

}  // namespace

std::string formatted(const char* format, ...)
{
    std::string text;
    std::va_list arguments;
    va_start(arguments, format);
    appendFormattedList(text, format, arguments);
    va_end(arguments);
    return text;
}

void appendFormatted(std::string& text, const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    appendFormattedList(text, format, arguments);
    va_end(arguments);
}

std::string escapedAscii(const std::string& bytes, const char* otherByteFormat)
{
    std::string text;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += ch;
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += ch;
        } else {
            appendFormatted(text, otherByteFormat, static_cast<unsigned>(byte));
        }
    }
    return text;
}

std::string quotedAscii(const std::string& bytes, const char* otherByteFormat)
{
    return "\"" + escapedAscii(bytes, otherByteFormat) + "\"";
}

std::string echoed(const std::string& bytes)
{
    return quotedAscii(bytes, "\\x%02X");
}
