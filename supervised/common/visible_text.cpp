#include "visible_text.h"

#include <cstdio>

std::string EscapedBytes(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\0') {
            text += "\\0";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c >= 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            text += escape;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

std::string VisibleBloqText(const std::string& bytes)
{
    size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == '\0')
        --end;
    const size_t trailingZeros = bytes.size() - end;

    std::string text = EscapedBytes(bytes.substr(0, end));
    if (trailingZeros == 1)
        text += "\\0";
    else if (trailingZeros > 1)
        text += "\\0 x " + std::to_string(trailingZeros);
    return text;
}
