#include "cli/console.h"

#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#endif

namespace {

// One row a message: the Shift-JIS bytes the tool has always written, and
// the same text in UTF-8.
const JapaneseText kJapaneseTexts[] = {
    // ファイルをオープンできません.
    {"\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93"
     "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n",
     u8"\u30D5\u30A1\u30A4\u30EB\u3092\u30AA\u30FC\u30D7\u30F3\u3067\u304D\u307E\u305B\u3093.\n"},
    // Disk A を認識しました.
    {"Disk A \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n",
     u8"Disk A \u3092\u8A8D\u8B58\u3057\u307E\u3057\u305F.\n"},
    // Disk B を認識しました.
    {"Disk B \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n",
     u8"Disk B \u3092\u8A8D\u8B58\u3057\u307E\u3057\u305F.\n"},
};

bool writeBytes(std::FILE* stream, const char* text)
{
    return std::fputs(text, stream) >= 0;
}

#ifdef _WIN32
HANDLE consoleHandleOf(std::FILE* stream)
{
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    return handle == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(handle);
}

// A console shows UTF-16 whatever its code page; the bytes already in the
// stream's buffer go first so the lines keep their order.
bool writeToConsole(std::FILE* stream, const char* utf8)
{
    if (std::fflush(stream) != 0) {
        return false;
    }
    const int length = static_cast<int>(std::strlen(utf8));
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, nullptr, 0);
    if (units <= 0) {
        return false;
    }
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, &wide[0], units);
    // The console moves to a new line on LF alone; CR LF is what text streams write there.
    std::wstring withCr;
    for (const wchar_t unit : wide) {
        if (unit == L'\n') {
            withCr += L'\r';
        }
        withCr += unit;
    }
    DWORD written = 0;
    return WriteConsoleW(consoleHandleOf(stream), withCr.data(), static_cast<DWORD>(withCr.size()), &written,
                         nullptr) != 0 &&
           written == withCr.size();
}
#endif

}  // namespace

const JapaneseText& japaneseText(JapaneseMessage message)
{
    return kJapaneseTexts[static_cast<int>(message)];
}

MessageForm chooseMessageForm(const StreamTraits& traits)
{
    if (traits.windowsConsole) {
        return MessageForm::WindowsConsole;
    }
    if (traits.terminal && traits.utf8Locale) {
        return MessageForm::Utf8;
    }
    return MessageForm::ShiftJis;
}

StreamTraits probeStream(std::FILE* stream)
{
    StreamTraits traits;
#ifdef _WIN32
    DWORD mode = 0;
    const HANDLE handle = consoleHandleOf(stream);
    traits.windowsConsole = handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
    traits.terminal = traits.windowsConsole;
#else
    traits.terminal = isatty(fileno(stream)) == 1;
    if (traits.terminal) {
        // Only the character set is wanted; the tool itself keeps running in
        // the "C" locale, so its numbers and messages do not change.
        const char* current = std::setlocale(LC_CTYPE, nullptr);
        const std::string previous = current != nullptr ? current : "C";
        if (std::setlocale(LC_CTYPE, "") != nullptr) {
            const char* codeset = nl_langinfo(CODESET);
            traits.utf8Locale = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 ||
                                                       std::strcmp(codeset, "utf8") == 0);
        }
        std::setlocale(LC_CTYPE, previous.c_str());
    }
#endif
    return traits;
}

MessageForms probeStandardStreams()
{
    MessageForms forms;
    forms.out = chooseMessageForm(probeStream(stdout));
    forms.err = chooseMessageForm(probeStream(stderr));
    return forms;
}

bool writeJapanese(std::FILE* stream, MessageForm form, JapaneseMessage message)
{
    const JapaneseText& text = japaneseText(message);
    switch (form) {
    case MessageForm::Utf8:
        return writeBytes(stream, text.utf8);
    case MessageForm::WindowsConsole:
#ifdef _WIN32
        return writeToConsole(stream, text.utf8);
#else
        return writeBytes(stream, text.utf8);
#endif
    case MessageForm::ShiftJis:
        break;
    }
    return writeBytes(stream, text.shiftJis);
}
