// The Japanese messages and how each is written to a stream: UTF-8 to a
// terminal whose locale is UTF-8, UTF-16 through the console API to a Windows
// console, and the original Shift-JIS bytes everywhere else (files, pipes,
// Shift-JIS terminals), so that what a script captures never changes.
#ifndef D88CUT_CLI_CONSOLE_H
#define D88CUT_CLI_CONSOLE_H

#include <cstdio>

enum class JapaneseMessage { OpenError, DiskARecognised, DiskBRecognised };

// One message in both byte forms; each ends with "\n".
struct JapaneseText {
    const char* shiftJis;
    const char* utf8;
};

const JapaneseText& japaneseText(JapaneseMessage message);

enum class MessageForm { ShiftJis, Utf8, WindowsConsole };

// What the start-up probe learns about one stream.
struct StreamTraits {
    bool windowsConsole = false;  // a console handle the console API accepts
    bool terminal = false;        // POSIX isatty
    bool utf8Locale = false;      // the environment's LC_CTYPE character set is UTF-8
};

MessageForm chooseMessageForm(const StreamTraits& traits);

// Probes stream (stdout or stderr) once; the environment's locale is looked
// at and the process's own locale is left as it was.
StreamTraits probeStream(std::FILE* stream);

// The form for each standard stream, decided once at start-up. Both default
// to Shift-JIS, the form for anything that is not a terminal.
struct MessageForms {
    MessageForm out = MessageForm::ShiftJis;
    MessageForm err = MessageForm::ShiftJis;
};

MessageForms probeStandardStreams();

// Writes the message to stream in form. False when the write fails.
bool writeJapanese(std::FILE* stream, MessageForm form, JapaneseMessage message);

#endif
