// The executables the end-to-end tests run: built here, or cross-built for
// Windows and run through an emulator, and how their text looks there.
//
// The build defines D88CUT_TOOL and D88INFO_TOOL (paths),
// D88CUT_TOOL_EMULATOR (a shell command in front of them, or empty) and
// D88CUT_TOOL_CRLF (1 when the tools' text streams end lines with CR LF).
#ifndef D88CUT_TESTS_TOOL_UNDER_TEST_H
#define D88CUT_TESTS_TOOL_UNDER_TEST_H

#include <string>
#include <vector>

#include "testsupport/tool_runner.h"

inline bool toolsAreEmulated()
{
    return std::string(D88CUT_TOOL_EMULATOR).size() > 0;
}

inline bool toolsRunUnderWine()
{
    return std::string(D88CUT_TOOL_EMULATOR).find("wine") != std::string::npos;
}

inline ToolResult runD88Cut(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                            const std::string& shellPrefix = "")
{
    return runTool(D88CUT_TOOL, args, workDir, shellPrefix, D88CUT_TOOL_EMULATOR);
}

inline ToolResult runD88Info(const std::vector<std::string>& args, const std::filesystem::path& workDir)
{
    return runTool(D88INFO_TOOL, args, workDir, "", D88CUT_TOOL_EMULATOR);
}

// text with each "\n" as the tools' standard streams write it.
inline std::string lines(const std::string& text)
{
#if D88CUT_TOOL_CRLF
    std::string converted;
    for (const char ch : text) {
        if (ch == '\n') {
            converted += '\r';
        }
        converted += ch;
    }
    return converted;
#else
    return text;
#endif
}

// The program name a tool finds in argv[0] when run from path: Wine hands
// a program its path as a DOS path on drive Z:.
inline std::string programNameSeen(const std::string& path)
{
    if (!toolsRunUnderWine()) {
        return path;
    }
    std::string dosPath = "Z:" + path;
    for (char& ch : dosPath) {
        if (ch == '/') {
            ch = '\\';
        }
    }
    return dosPath;
}

#endif
