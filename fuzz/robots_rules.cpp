// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// A robots.txt is whatever its site's owner wrote, and the paths matched
// against it whatever names the site folder holds: whatever both are, the
// rules are read and matched soon, and agree with the cases they must.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "robots/rules.h"

using namespace larkspur;
using larkspur::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The path up to the first line break, robots.txt after it.
    const auto [path, robots] = fuzz::SplitAtFirstLine(input);

    for (const char* agent : {"*", "foobot"}) {
        const RobotsRules rules(robots, agent);
        rules.allows(path);
        Check(rules.allows("/robots.txt"), "robots.txt itself is always allowed", input);
        if (rules.empty())
            Check(rules.allows(path), "no rules allow every path", input);
    }

    // The path as a rule of its own disallows it, unless it is robots.txt
    // in another spelling, or ends in what a rule line cannot hold as it is.
    const bool plain = path.starts_with("/") && path.find_first_of("#\r") == std::string_view::npos
                       && path.find_last_not_of(" \t$") == path.size() - 1;
    if (plain && !RobotsRules("User-agent: *\nDisallow: /\n", "*").allows(path)) {
        const std::string own = "User-agent: *\nDisallow: " + std::string(path) + "\n";
        Check(!RobotsRules(own, "*").allows(path), "a path's own rule disallows it", path);
        Check(RobotsRules(own + "Allow: " + std::string(path) + "\n", "*").allows(path),
              "Allow wins a tie", path);
    }
    return 0;
}
