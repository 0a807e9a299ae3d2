// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Character tests shared by the head reader and the URL comparison: HTML's
// white space and ASCII case, whatever the locale says.
#pragma once

#include <string_view>

namespace larkspur::head_text {

inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

inline bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsLower(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (Lower(text[i]) != lower[i])
            return false;
    }
    return true;
}

inline std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace larkspur::head_text
