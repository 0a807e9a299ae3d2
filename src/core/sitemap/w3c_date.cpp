// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "sitemap/w3c_date.h"

#include <algorithm>
#include <chrono>

namespace larkspur {

bool ParseW3cDate(std::string_view text, std::int64_t& earliest, std::int64_t& latest)
{
    // Digits at a place, as a number; -1 when any is not a digit.
    const auto number = [&](std::size_t at, std::size_t count) {
        if (at + count > text.size())
            return -1;
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto at = [&](std::size_t i, char c) { return i < text.size() && text[i] == c; };
    using namespace std::chrono;
    const int y = number(0, 4);
    if (y < 0)
        return false;
    int m = 1, d = 1;
    std::size_t end = 4;
    if (at(4, '-')) {
        m = number(5, 2);
        end = 7;
        if (at(7, '-')) {
            d = number(8, 2);
            end = 10;
        }
    }
    const year_month_day date{year{y}, month{static_cast<unsigned>(std::max(m, 0))},
                              day{static_cast<unsigned>(std::max(d, 0))}};
    if (m < 0 || d < 0 || !date.ok())
        return false;
    const std::int64_t start = duration_cast<seconds>(sys_days{date}.time_since_epoch()).count();
    if (end == text.size()) {
        // A day, month or year: in any time zone from UTC-12 to UTC+14.
        const year_month_day next = end == 4 ? date + years{1} : end == 7 ? date + months{1}
                                                                          : year_month_day{sys_days{date} + days{1}};
        earliest = start - 14 * 3600;
        latest = duration_cast<seconds>(sys_days{next}.time_since_epoch()).count() + 12 * 3600;
        return true;
    }
    // A time needs the full date, hours and minutes, and a time zone.
    if (end != 10 || !at(10, 'T'))
        return false;
    const int hours = number(11, 2), minutes = at(13, ':') ? number(14, 2) : -1;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return false;
    std::int64_t time = start + hours * 3600 + minutes * 60;
    std::int64_t precision = 59;  // a time in minutes means any second of that minute
    std::size_t i = 16;
    if (at(16, ':')) {
        precision = 0;
        const int secondsValue = number(17, 2);
        if (secondsValue < 0 || secondsValue > 59)
            return false;
        time += secondsValue;
        i = 19;
        if (at(19, '.')) {
            i = 20;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9')
                ++i;
            if (i == 20)
                return false;
        }
    }
    if (at(i, 'Z') && i + 1 == text.size()) {
        earliest = time;
        latest = time + precision;
        return true;
    }
    if (!(at(i, '+') || at(i, '-')) || i + 6 != text.size() || !at(i + 3, ':'))
        return false;
    const int zoneHours = number(i + 1, 2), zoneMinutes = number(i + 4, 2);
    if (zoneHours < 0 || zoneHours > 23 || zoneMinutes < 0 || zoneMinutes > 59)
        return false;
    const int offset = (zoneHours * 3600 + zoneMinutes * 60) * (text[i] == '+' ? 1 : -1);
    earliest = time - offset;
    latest = earliest + precision;
    return true;
}

}  // namespace larkspur
