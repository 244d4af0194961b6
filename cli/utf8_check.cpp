#include "cli/utf8_check.h"

bool isValidUtf8(const std::string& bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t continuation = 0;
        unsigned char low = 0x80;  // bounds of the first continuation byte
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            continuation = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuation = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;   // overlong below U+0800
            high = lead == 0xED ? 0x9F : 0xBF;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuation = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;   // overlong below U+10000
            high = lead == 0xF4 ? 0x8F : 0xBF;  // past U+10FFFF
        } else {
            return false;
        }
        if (bytes.size() - i - 1 < continuation) {
            return false;
        }
        for (size_t k = 1; k <= continuation; ++k) {
            const auto byte = static_cast<unsigned char>(bytes[i + k]);
            const unsigned char min = k == 1 ? low : 0x80;
            const unsigned char max = k == 1 ? high : 0xBF;
            if (byte < min || byte > max) {
                return false;
            }
        }
        i += continuation + 1;
    }
    return true;
}
