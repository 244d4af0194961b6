#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/console.h"

namespace {

// Both forms written out here from the text, not taken from the tool.
struct ExpectedText {
    JapaneseMessage message;
    std::string shiftJis;
    std::string utf8;
};

const ExpectedText kExpected[] = {
    {JapaneseMessage::OpenError,
     "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"
     ".\n",
     "ファイルをオープンできません.\n"},
    {JapaneseMessage::DiskARecognised, "Disk A \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n",
     "Disk A を認識しました.\n"},
    {JapaneseMessage::DiskBRecognised, "Disk B \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n",
     "Disk B を認識しました.\n"},
};

std::string writtenThrough(MessageForm form, JapaneseMessage message)
{
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    if (file == nullptr) {
        return "";
    }
    EXPECT_TRUE(writeJapanese(file, form, message));
    std::rewind(file);
    std::string bytes;
    for (int ch = std::fgetc(file); ch != EOF; ch = std::fgetc(file)) {
        bytes += static_cast<char>(ch);
    }
    std::fclose(file);
    return bytes;
}

TEST(ConsoleTest, EachMessageHasItsShiftJisAndUtf8Bytes)
{
    for (const ExpectedText& expected : kExpected) {
        SCOPED_TRACE(expected.utf8);
        EXPECT_EQ(japaneseText(expected.message).shiftJis, expected.shiftJis);
        EXPECT_EQ(japaneseText(expected.message).utf8, expected.utf8);
        EXPECT_EQ(writtenThrough(MessageForm::ShiftJis, expected.message), expected.shiftJis);
        EXPECT_EQ(writtenThrough(MessageForm::Utf8, expected.message), expected.utf8);
    }
}

TEST(ConsoleTest, OnlyATerminalInAUtf8LocaleOrAWindowsConsoleGetsUnicode)
{
    struct Case {
        bool windowsConsole;
        bool terminal;
        bool utf8Locale;
        MessageForm expected;
    };
    const Case cases[] = {
        {false, false, false, MessageForm::ShiftJis},  // a file or pipe
        {false, false, true, MessageForm::ShiftJis},   // a file or pipe, whatever the locale
        {false, true, false, MessageForm::ShiftJis},   // a Shift-JIS or "C" terminal
        {false, true, true, MessageForm::Utf8},
        {true, true, false, MessageForm::WindowsConsole},  // any code page, 932 included
        {true, true, true, MessageForm::WindowsConsole},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.windowsConsole << c.terminal << c.utf8Locale);
        StreamTraits traits;
        traits.windowsConsole = c.windowsConsole;
        traits.terminal = c.terminal;
        traits.utf8Locale = c.utf8Locale;
        EXPECT_EQ(chooseMessageForm(traits), c.expected);
    }
}

TEST(ConsoleTest, AFileIsNotATerminal)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(chooseMessageForm(probeStream(file)), MessageForm::ShiftJis);
    std::fclose(file);
}

}  // namespace
