// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What a fuzz target does when a property does not hold: say which, show the
// input's size, and abort so that libFuzzer keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace larkspur::fuzz {

[[noreturn]] inline void Fail(const char* what, std::string_view detail = {})
{
    std::fprintf(stderr, "property failed: %s\n", what);
    if (!detail.empty()) {
        std::string shown;
        for (const char c : detail.substr(0, 400)) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x20 || b >= 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", b);
                shown += hex;
            } else {
                shown += c;
            }
        }
        std::fprintf(stderr, "  %s%s\n", shown.c_str(), detail.size() > 400 ? "..." : "");
    }
    std::abort();
}

// Two inputs in one: up to the first line break, and after it.
struct TwoParts {
    std::string_view first;
    std::string_view rest;
};

inline TwoParts SplitAtFirstLine(std::string_view input)
{
    const auto newline = input.find('\n');
    return {input.substr(0, newline),
            newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1)};
}

inline void Check(bool holds, const char* what, std::string_view detail = {})
{
    if (!holds)
        Fail(what, detail);
}

}  // namespace larkspur::fuzz
