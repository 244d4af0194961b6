// Whether a string of bytes is well-formed UTF-8 (no overlong forms, no
// surrogates, nothing past U+10FFFF), for writing names and paths as text.
#ifndef D88CUT_CLI_UTF8_CHECK_H
#define D88CUT_CLI_UTF8_CHECK_H

#include <string>

bool isValidUtf8(const std::string& bytes);

#endif
