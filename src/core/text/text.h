// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Text at the byte level, whatever the locale says: ASCII character tests
// and case, HTML's white space, and the %XX escapes of URLs.
#pragma once

#include <string>
#include <string_view>

namespace larkspur {

namespace ascii {

// HTML's white space: space, tab, LF, CR and FF.
inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// C's white space: HTML's and the vertical tab.
inline bool IsCSpace(char c)
{
    return IsSpace(c) || c == '\v';
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

}  // namespace ascii

// Equal when ASCII letters are compared without regard to case.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii::Lower(a[i]) != ascii::Lower(b[i]))
            return false;
    }
    return true;
}

namespace ascii {

// `text` without HTML white space at either end.
inline std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// The value of a hex digit in either case, -1 for any other byte.
inline int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace ascii

// The byte that a complete %XX escape at text[at] stands for (digits in
// either case); -1 when no such escape starts there.
inline int PercentEscapeAt(std::string_view text, std::size_t at)
{
    if (at + 2 >= text.size() || text[at] != '%')
        return -1;
    const int high = ascii::HexValue(text[at + 1]);
    const int low = ascii::HexValue(text[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Removes leading and trailing C white space in place.
void TrimSpaces(std::string& text);

// "%" and the byte in two upper-case hex digits.
void AppendPercentEscape(std::string& out, unsigned char byte);

// Every complete %XX escape as its byte; a "%" that starts none stays.
void PercentDecode(std::string_view text, std::string& out);
std::string PercentDecoded(std::string_view text);

}  // namespace larkspur
