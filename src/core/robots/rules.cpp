// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "robots/rules.h"

#include <algorithm>

#include "platform/paths.h"
#include "platform/read_file.h"
#include "text/text.h"

namespace larkspur {

namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_' || c == '~';
}

// The form in which paths and patterns are compared (RFC 9309, 2.2.2): an
// escape of an unreserved character becomes the character, every other
// escape is written in upper-case hex, and bytes that may not stand in a URL
// are escaped. In a pattern a bare '*' stays the wildcard; everywhere else
// '*' and '$' are plain characters, compared in their escaped form, so that
// a pattern names a literal one as "%2A" or "%24".
std::string Compared(std::string_view text, bool pattern)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const int escaped = PercentEscapeAt(text, i); escaped >= 0) {
            const auto decoded = static_cast<unsigned char>(escaped);
            if (IsUnreserved(decoded))
                out += static_cast<char>(decoded);
            else
                AppendPercentEscape(out, decoded);
            i += 2;
        } else if (c == '*' && pattern) {
            out += '*';
        } else if (c <= 0x20 || c >= 0x7F || c == '*' || c == '$') {
            AppendPercentEscape(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// `pattern` ('*' any bytes) against the start of `path`, or all of it when
// anchored. Backtracks to the last '*' only, so the time stays linear in the
// path for each star.
bool Matches(std::string_view pattern, bool anchored, std::string_view path)
{
    std::size_t p = 0;
    std::size_t s = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    for (;;) {
        if (p == pattern.size() && (!anchored || s == path.size()))
            return true;
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = s;
            continue;
        }
        if (p < pattern.size() && s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        if (star == std::string_view::npos || resume >= path.size())
            return false;
        p = star + 1;
        s = ++resume;
    }
}

// The product token a user-agent line names: "*", or its leading letters,
// "-" and "_" ("Googlebot/2.1" names Googlebot).
std::string_view AgentToken(std::string_view value)
{
    if (!value.empty() && value.front() == '*' && (value.size() == 1 || value[1] == ' ' || value[1] == '\t'))
        return "*";
    std::size_t end = 0;
    while (end < value.size() && IsProductToken(value.substr(end, 1)))
        ++end;
    return value.substr(0, end);
}

}  // namespace

bool IsProductToken(std::string_view agent)
{
    return !agent.empty() && std::all_of(agent.begin(), agent.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
    });
}

RobotsRules::RobotsRules(std::string_view text, std::string_view agent)
{
    text = text.substr(0, kRobotsTxtParseLimit);
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    const bool anyAgent = agent.empty() || agent == "*";
    // Rules of the groups that name the agent, and of the "*" groups.
    std::vector<Rule> named, everyone;
    bool groupNamesAgent = false, groupIsEveryone = false;
    bool inRules = false;  // a rule has been read since the last user-agent line
    bool sawNamed = false;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = Trim(line.substr(0, line.find('#')));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsIgnoringCase(key, "user-agent")) {
            // A user-agent line after rules starts the next group.
            if (inRules)
                groupNamesAgent = groupIsEveryone = inRules = false;
            const std::string_view token = AgentToken(value);
            if (token == "*")
                groupIsEveryone = true;
            else if (!anyAgent && !token.empty() && EqualsIgnoringCase(token, agent))
                groupNamesAgent = sawNamed = true;
            continue;
        }
        const bool allow = EqualsIgnoringCase(key, "allow");
        if (!allow && !EqualsIgnoringCase(key, "disallow"))
            continue;  // Sitemap lines and records of other programs
        inRules = true;
        // An empty pattern matches nothing: "Disallow:" allows everything.
        if (value.empty() || (!groupNamesAgent && !groupIsEveryone))
            continue;
        Rule rule;
        const bool anchored = value.back() == '$';
        rule.pattern = Compared(anchored ? value.substr(0, value.size() - 1) : value, true);
        rule.anchored = anchored;
        rule.allow = allow;
        rule.length = rule.pattern.size() + (anchored ? 1 : 0);
        rule.prefix = std::min(rule.pattern.find('*'), rule.pattern.size());
        if (groupNamesAgent)
            named.push_back(rule);
        if (groupIsEveryone)
            everyone.push_back(std::move(rule));
    }
    m_rules = sawNamed ? std::move(named) : std::move(everyone);
    std::stable_sort(m_rules.begin(), m_rules.end(), [](const Rule& a, const Rule& b) {
        return a.length != b.length ? a.length > b.length : a.allow && !b.allow;
    });
}

bool RobotsRules::allows(std::string_view path) const
{
    if (m_rules.empty())
        return true;
    const std::string compared = Compared(path, false);
    // Crawlers may always fetch robots.txt itself.
    if (compared == "/robots.txt")
        return true;
    for (const Rule& rule : m_rules) {
        if (compared.compare(0, rule.prefix, rule.pattern, 0, rule.prefix) != 0)
            continue;
        if (Matches(rule.pattern, rule.anchored, compared))
            return rule.allow;
    }
    return true;
}

std::string UrlPathAndQuery(std::string_view url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t path = std::min(url.find_first_of("/?#", start), url.size());
    const std::string_view rest = url.substr(path, std::min(url.find('#', path), url.size()) - path);
    return rest.empty() || rest.front() != '/' ? "/" + std::string(rest) : std::string(rest);
}

int ReadSiteRobotsRules(const std::string& siteFolder, std::string_view base, std::string_view agent,
                        RobotsRules& rules, std::string& reason)
{
    rules = RobotsRules();
    const std::size_t hostEnd = base.find('/', base.find("://") + 3);
    if (hostEnd + 1 != base.size()) {
        reason = "robots.txt not read: crawlers read it only at " + std::string(base.substr(0, hostEnd))
                 + "/robots.txt, which is not in the site folder";
        return -1;
    }
    const std::string path = platform::JoinPath(siteFolder, "robots.txt");
    // A folder of that name serves no file: as for a missing one, no rules.
    if (!platform::Exists(path) || platform::IsDirectory(path))
        return 0;
    std::string text, error;
    if (platform::ReadFile(path, text, error, kRobotsTxtParseLimit) != 0) {
        reason = "robots.txt not read: " + error;
        return -1;
    }
    rules = RobotsRules(text, agent);
    return 0;
}

}  // namespace larkspur
