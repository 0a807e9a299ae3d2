// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The exclude patterns are the site owner's, the paths they are matched
// against are whatever names the site folder holds: whatever both are, a
// match ends soon and agrees with the plain cases it must agree with.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/glob.h"

using namespace larkspur;
using larkspur::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The glob up to the first line break, the path after it.
    const auto [glob, path] = fuzz::SplitAtFirstLine(input);

    const bool matched = GlobMatch(glob, path);
    if (glob.find_first_of("*?[\\") == std::string_view::npos)
        Check(matched == (glob == path), "a glob of plain bytes matches itself only", input);
    Check(GlobMatch("**", path), "\"**\" matches every path", path);

    // Every byte escaped: the path itself and nothing else.
    std::string escaped;
    for (const char c : path) {
        escaped += '\\';
        escaped += c;
    }
    Check(GlobMatch(escaped, path), "an escaped path matches itself", path);
    Check(!GlobMatch(escaped, std::string(path) + "x"), "an escaped path matches nothing longer", path);

    // The whole input as a list of patterns, each line one, against the path
    // as a file and as a folder.
    std::vector<std::string> patterns;
    for (std::size_t start = 0; start <= input.size();) {
        const auto end = input.find('\n', start);
        patterns.emplace_back(input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    const ExclusionList list(patterns);
    list.excludes(path, false);
    list.excludes(path, true);
    return 0;
}
