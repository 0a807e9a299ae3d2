// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/plain_values.h"

#include <cstddef>

#include "text/text.h"

namespace larkspur::check_detail {

namespace {

bool PlainDigits(std::string_view text, std::size_t at, std::size_t count, int low, int high)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return value >= low && value <= high;
}

}  // namespace

bool PlainLoc(std::string_view url)
{
    const std::size_t scheme = url.starts_with("https://") ? 8 : url.starts_with("http://") ? 7 : 0;
    if (scheme == 0 || url.size() < 12 || url.size() > 2048)
        return false;
    const auto hostChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    };
    std::size_t i = scheme;
    while (i < url.size() && hostChar(url[i]))
        ++i;
    if (i == scheme)
        return false;
    if (i < url.size() && url[i] == ':') {  // a port, not empty
        const std::size_t digits = ++i;
        while (i < url.size() && url[i] >= '0' && url[i] <= '9')
            ++i;
        if (i == digits)
            return false;
    }
    bool fragment = false;
    for (; i < url.size(); ++i) {
        const char c = url[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || std::string_view("-._~!$&'()*+,;=:@/?").find(c) != std::string_view::npos)
            continue;
        if (c == '#' && !fragment) {
            fragment = true;
            continue;
        }
        if (PercentEscapeAt(url, i) < 0)
            return false;
        i += 2;
    }
    return true;
}

bool PlainLastmod(std::string_view text)
{
    if (!PlainDigits(text, 0, 4, 1000, 9999) || text.size() < 10 || text[4] != '-' || text[7] != '-'
        || !PlainDigits(text, 5, 2, 1, 12))
        return false;
    const int year = (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
    const int month = (text[5] - '0') * 10 + (text[6] - '0');
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!PlainDigits(text, 8, 2, 1, days[month - 1]))
        return false;
    if (text.size() == 10)
        return true;
    if (text.size() < 20 || text[10] != 'T' || !PlainDigits(text, 11, 2, 0, 23) || text[13] != ':'
        || !PlainDigits(text, 14, 2, 0, 59) || text[16] != ':' || !PlainDigits(text, 17, 2, 0, 59))
        return false;
    std::size_t i = 19;
    if (text[i] == '.') {
        while (++i < text.size() && text[i] >= '0' && text[i] <= '9') {
        }
        if (i == 20)
            return false;
    }
    const std::string_view zone = text.substr(i);
    return zone == "Z"
           || (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && PlainDigits(zone, 1, 2, 0, 13)
               && zone[3] == ':' && PlainDigits(zone, 4, 2, 0, 59));
}

bool PlainPriority(std::string_view text)
{
    if (text == "0" || text == "1")
        return true;
    if (text.size() < 3 || text.size() > 8 || text[1] != '.' || (text[0] != '0' && text[0] != '1'))
        return false;
    for (const char c : text.substr(2)) {
        if (c < '0' || c > (text[0] == '1' ? '0' : '9'))
            return false;
    }
    return true;
}

}  // namespace larkspur::check_detail
