// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The dates a sitemap's <lastmod> may give.
#pragma once

#include <cstdint>
#include <string_view>

namespace larkspur {

// The earliest and latest instants (seconds since 1970 UTC) a W3C date or
// date-time may mean: a date's day in any time zone. False when the text is
// none of the W3C forms (YYYY, YYYY-MM, YYYY-MM-DD, and with hh:mm,
// hh:mm:ss or hh:mm:ss.s and a time zone).
bool ParseW3cDate(std::string_view text, std::int64_t& earliest, std::int64_t& latest);

}  // namespace larkspur
