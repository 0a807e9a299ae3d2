// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "options/options.h"

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "robots/rules.h"
#include "text/glob.h"

namespace larkspur {

namespace {

constexpr const char* kProtocolWords[] = {"0.84", "0.9"};
constexpr const char* kUrlStyleWords[] = {"file", "folder", "clean"};
constexpr const char* kLastmodWords[] = {"mtime", "git", "none"};
constexpr const char* kNewlineWords[] = {"crlf", "lf"};

std::string_view Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int OneValue(const std::vector<std::string>& values, const char* key, std::string& error)
{
    if (values.size() == 1)
        return 0;
    error = std::string("--") + key + " takes one value";
    return -1;
}

template <std::size_t N>
int ChoiceIndex(const char* const (&words)[N], const std::vector<std::string>& values, const char* key,
                std::string& error)
{
    if (OneValue(values, key, error) != 0)
        return -1;
    for (std::size_t i = 0; i < N; ++i) {
        if (values.front() == words[i])
            return static_cast<int>(i);
    }
    error = std::string("--") + key + " must be ";
    for (std::size_t i = 0; i < N; ++i)
        error += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + words[i];
    error += ", not '" + values.front() + "'";
    return -1;
}

int ParseFlag(const std::vector<std::string>& values, const char* key, bool& flag, std::string& error)
{
    if (OneValue(values, key, error) != 0)
        return -1;
    const std::string& v = values.front();
    if (v == "yes" || v == "true" || v == "on" || v == "1") {
        flag = true;
        return 0;
    }
    if (v == "no" || v == "false" || v == "off" || v == "0") {
        flag = false;
        return 0;
    }
    error = std::string("--") + key + " is yes or no, not '" + v + "'";
    return -1;
}

// A field's key as a template argument, so that the plain functions a field
// holds can name their own option in messages.
template <std::size_t N>
struct Key {
    constexpr Key(const char (&text)[N]) { std::copy_n(text, N, this->text); }
    char text[N];
};

// A yes / no option stored in `Member`.
template <Key K, bool SitemapOptions::*Member>
OptionField FlagField(const char* caption, const char* help)
{
    return {
        K.text, OptionKind::Flag, nullptr, caption, help, {},
        [](const SitemapOptions& o) { return std::vector<std::string>{o.*Member ? "yes" : "no"}; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            return ParseFlag(v, K.text, o.*Member, error);
        },
    };
}

// One of `Words`, stored in the enum `Member` as its index.
template <Key K, auto Member, const auto& Words>
OptionField ChoiceField(const char* valueName, const char* caption, const char* help)
{
    return {
        K.text, OptionKind::Choice, valueName, caption, help, {std::begin(Words), std::end(Words)},
        [](const SitemapOptions& o) {
            return std::vector<std::string>{Words[static_cast<int>(o.*Member)]};
        },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            const int index = ChoiceIndex(Words, v, K.text, error);
            if (index < 0)
                return -1;
            o.*Member = static_cast<std::remove_reference_t<decltype(o.*Member)>>(index);
            return 0;
        },
    };
}

std::vector<OptionField> MakeFields()
{
    std::vector<OptionField> fields;
    fields.push_back(ChoiceField<"protocol", &SitemapOptions::protocol, kProtocolWords>(
        "VERSION", "Protocol:", "0.84 (default) or 0.9 (sitemaps.org, 50 MiB files)"));
    fields.push_back({
        "exclude", OptionKind::List, "GLOB", "Exclude:",
        "leave out matching pages, .gitignore style; repeatable",
        {},
        [](const SitemapOptions& o) { return o.exclude; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            std::vector<std::string> patterns;
            for (const std::string& pattern : v) {
                if (CheckGlobPattern(pattern, error) != 0)
                    return -1;
                if (!pattern.empty())
                    patterns.push_back(pattern);
            }
            o.exclude = std::move(patterns);
            return 0;
        },
    });
    fields.push_back({
        "extensions", OptionKind::Text, "LIST", "Extensions:",
        "extensions of the pages (default html,htm)",
        {},
        [](const SitemapOptions& o) {
            std::string text;
            for (const std::string& e : o.extensions)
                text += (text.empty() ? "" : ",") + e;
            return std::vector<std::string>{text};
        },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            if (OneValue(v, "extensions", error) != 0)
                return -1;
            return ParseExtensions(v.front(), o.extensions, error);
        },
    });
    fields.push_back(ChoiceField<"url-style", &SitemapOptions::urlStyle, kUrlStyleWords>(
        "STYLE", "URL style:", "file (default), folder or clean"));
    fields.push_back(FlagField<"omit-hints", &SitemapOptions::omitHints>(
        "Leave out priority and change frequency", "no <priority> and <changefreq> in XML"));
    fields.push_back(ChoiceField<"lastmod", &SitemapOptions::lastmod, kLastmodWords>(
        "SOURCE", "Last modified:", "mtime (default), git (the newest commit) or none"));
    fields.push_back(FlagField<"respect-robots", &SitemapOptions::respectRobots>(
        "Leave out pages marked noindex or disallowed by robots.txt",
        "leave out pages whose robots meta says noindex or that robots.txt disallows"));
    fields.push_back({
        "robots-agent", OptionKind::Text, "NAME", "robots.txt agent:",
        "with --respect-robots, the crawler whose robots.txt rules apply (default *)",
        {},
        [](const SitemapOptions& o) { return std::vector<std::string>{o.robotsAgent}; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            if (OneValue(v, "robots-agent", error) != 0)
                return -1;
            const std::string_view agent = Trimmed(v.front());
            if (!agent.empty() && agent != "*" && !IsProductToken(agent)) {
                error = "--robots-agent is a crawler's name of letters, '-' and '_' (such as Googlebot), or *, not '"
                      + v.front() + "'";
                return -1;
            }
            o.robotsAgent = agent.empty() ? "*" : std::string(agent);
            return 0;
        },
    });
    fields.push_back(FlagField<"canonical-only", &SitemapOptions::canonicalOnly>(
        "Leave out pages whose canonical URL is another page's",
        "leave out pages whose canonical link names another URL"));
    fields.push_back(FlagField<"robots-txt", &SitemapOptions::robotsTxt>(
        "List the sitemap in robots.txt", "name the sitemap in the site's robots.txt"));
    fields.push_back(FlagField<"gzip", &SitemapOptions::gzip>(
        "Compress sitemaps (.gz)", "write .xml.gz / .txt.gz files (not CSV)"));
    fields.push_back(ChoiceField<"newline", &SitemapOptions::newline, kNewlineWords>(
        "ENDING", "Line ends:", "crlf (default, in files and on standard output) or lf"));
    return fields;
}

}  // namespace

const char* const kPriorityTexts[kPriorityCount] = {"0.0", "0.1", "0.2", "0.3", "0.4", "0.5",
                                                     "0.6", "0.7", "0.8", "0.9", "1.0"};
const char* const kFrequencyTexts[kFrequencyCount] = {"always",  "hourly", "daily", "weekly",
                                                       "monthly", "yearly", "never"};

const char* PriorityText(int index)
{
    return index >= 0 && index < kPriorityCount ? kPriorityTexts[index]
                                                : kPriorityTexts[kDefaultPriority];
}

const char* FrequencyText(int index)
{
    return index >= 0 && index < kFrequencyCount ? kFrequencyTexts[index]
                                                 : kFrequencyTexts[kDefaultFrequency];
}

int PriorityIndex(std::string_view text)
{
    for (int i = 0; i < kPriorityCount; ++i) {
        if (text == kPriorityTexts[i])
            return i;
    }
    return -1;
}

int FrequencyIndex(std::string_view text)
{
    for (int i = 0; i < kFrequencyCount; ++i) {
        if (text == kFrequencyTexts[i])
            return i;
    }
    return -1;
}

std::size_t ProtocolByteLimit(Protocol protocol)
{
    return protocol == Protocol::Sitemaps09 ? 50 * 1024 * 1024 : 10 * 1024 * 1024;
}

const std::vector<OptionField>& SitemapOptionFields()
{
    static const std::vector<OptionField> fields = MakeFields();
    return fields;
}

const OptionField* FindOptionField(std::string_view key)
{
    const auto& fields = SitemapOptionFields();
    const auto found = std::find_if(fields.begin(), fields.end(),
                                    [&](const OptionField& f) { return key == f.key; });
    return found == fields.end() ? nullptr : &*found;
}

int ParseExtensions(std::string_view text, std::vector<std::string>& extensions, std::string& error)
{
    std::vector<std::string> parsed;
    for (;;) {
        const auto comma = text.find(',');
        std::string_view item = Trimmed(text.substr(0, comma));
        if (!item.empty() && item.front() == '.')
            item.remove_prefix(1);
        if (item.find_first_of("./\\") != std::string_view::npos) {
            error = "an extension is the text after a file name's last dot, not '" + std::string(item) + "'";
            return -1;
        }
        for (const char c : item) {
            if (static_cast<unsigned char>(c) < 0x20) {
                error = "an extension may not hold control characters";
                return -1;
            }
        }
        if (!item.empty())
            parsed.emplace_back(item);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    if (parsed.empty()) {
        error = "--extensions needs at least one extension, such as html,htm";
        return -1;
    }
    extensions = std::move(parsed);
    return 0;
}

}  // namespace larkspur
