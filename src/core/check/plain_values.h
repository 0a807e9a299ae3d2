// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Values a urlset's schema certainly takes, in the plainest of their forms:
// what is not plain is left to the schema itself to judge.
#pragma once

#include <string_view>

namespace larkspur::check_detail {

// An http(s) URL of the characters RFC 3986 allows unescaped, without user
// or port quirks, of 12 to 2,048 characters.
bool PlainLoc(std::string_view url);
// YYYY-MM-DD, or with Thh:mm:ss, a fraction of a second and a time zone.
bool PlainLastmod(std::string_view text);
// 0, 1, or 0.d to six places (1.0 to six).
bool PlainPriority(std::string_view text);

}  // namespace larkspur::check_detail
