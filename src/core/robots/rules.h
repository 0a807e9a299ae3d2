// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The Allow and Disallow rules of a robots.txt (RFC 9309) for one crawler:
// which paths of a host it may fetch. A sitemap that lists a page robots.txt
// forbids is reported by every search engine as an error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// Crawlers read no more of a robots.txt than this.
constexpr std::size_t kRobotsTxtParseLimit = 500 * 1024;

// A crawler's product token: letters, "-" and "_" (RFC 9309, 2.2.1).
bool IsProductToken(std::string_view agent);

class RobotsRules {
public:
    RobotsRules() = default;
    // The rules `text` gives the crawler `agent`: those of every group that
    // names it (compared without regard to case), else those of the "*"
    // group. An empty agent, or "*", takes the "*" group.
    RobotsRules(std::string_view text, std::string_view agent);

    // Whether the crawler may fetch `path` (a URL's path and query, "/" first):
    // the rule with the longest pattern that matches decides, Allow when an
    // Allow and a Disallow rule are as long; no matching rule allows.
    bool allows(std::string_view path) const;
    bool empty() const { return m_rules.empty(); }

private:
    struct Rule {
        std::string pattern;  // compared form; '*' stands for any bytes
        bool anchored;        // ended in "$": the path must end where it ends
        bool allow;
        std::size_t length;   // the pattern's octets, "$" included
        std::size_t prefix;   // the bytes before the first '*'
    };
    std::vector<Rule> m_rules;  // longest first, Allow before Disallow
};

// The rules of `siteFolder`/robots.txt for `agent`, read up to the parse
// limit, when the site folder is its host's root (`base`, the site's URL as
// NormalizeBaseUrl gives it, has no path): crawlers read robots.txt there
// only. 0 with the rules (none when the file is missing), or -1 with the
// reason they cannot be known.
int ReadSiteRobotsRules(const std::string& siteFolder, std::string_view base, std::string_view agent,
                        RobotsRules& rules, std::string& reason);

// The path and query of an absolute URL, "/" when it has no path.
std::string UrlPathAndQuery(std::string_view url);

}  // namespace larkspur
