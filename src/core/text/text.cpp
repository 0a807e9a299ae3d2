// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "text/text.h"

namespace larkspur {

void TrimSpaces(std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && ascii::IsCSpace(text[end - 1]))
        --end;
    std::size_t start = 0;
    while (start < end && ascii::IsCSpace(text[start]))
        ++start;
    text.erase(end);
    text.erase(0, start);
}

void AppendPercentEscape(std::string& out, unsigned char byte)
{
    constexpr const char* kHex = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

void PercentDecode(std::string_view text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int byte = PercentEscapeAt(text, i);
        if (byte < 0) {
            out += text[i];
        } else {
            out += static_cast<char>(byte);
            i += 2;
        }
    }
}

std::string PercentDecoded(std::string_view text)
{
    std::string out;
    PercentDecode(text, out);
    return out;
}

}  // namespace larkspur
