#include "options/options.h"

#include <algorithm>

namespace larkspur {

namespace {

constexpr const char* kProtocolWords[] = {"0.84", "0.9"};
constexpr const char* kUrlStyleWords[] = {"file", "folder", "clean"};
constexpr const char* kLastmodWords[] = {"mtime", "git", "none"};

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

std::vector<OptionField> MakeFields()
{
    std::vector<OptionField> fields;
    fields.push_back({
        "protocol", OptionKind::Choice, "VERSION", "Protocol:",
        "0.84 (default) or 0.9 (sitemaps.org, 50 MiB files)",
        {kProtocolWords[0], kProtocolWords[1]},
        [](const SitemapOptions& o) {
            return std::vector<std::string>{kProtocolWords[static_cast<int>(o.protocol)]};
        },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            const int index = ChoiceIndex(kProtocolWords, v, "protocol", error);
            if (index < 0)
                return -1;
            o.protocol = static_cast<Protocol>(index);
            return 0;
        },
    });
    fields.push_back({
        "exclude", OptionKind::List, "GLOB", "Exclude:",
        "leave out matching pages, .gitignore style; repeatable",
        {},
        [](const SitemapOptions& o) { return o.exclude; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string&) {
            o.exclude.clear();
            for (const std::string& pattern : v) {
                if (!pattern.empty())
                    o.exclude.push_back(pattern);
            }
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
    fields.push_back({
        "url-style", OptionKind::Choice, "STYLE", "URL style:",
        "file (default), folder or clean",
        {kUrlStyleWords[0], kUrlStyleWords[1], kUrlStyleWords[2]},
        [](const SitemapOptions& o) {
            return std::vector<std::string>{kUrlStyleWords[static_cast<int>(o.urlStyle)]};
        },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            const int index = ChoiceIndex(kUrlStyleWords, v, "url-style", error);
            if (index < 0)
                return -1;
            o.urlStyle = static_cast<UrlStyle>(index);
            return 0;
        },
    });
    fields.push_back({
        "omit-hints", OptionKind::Flag, nullptr, "Leave out priority and change frequency",
        "no <priority> and <changefreq> in XML",
        {},
        [](const SitemapOptions& o) { return std::vector<std::string>{o.omitHints ? "yes" : "no"}; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            return ParseFlag(v, "omit-hints", o.omitHints, error);
        },
    });
    fields.push_back({
        "lastmod", OptionKind::Choice, "SOURCE", "Last modified:",
        "mtime (default), git (the newest commit) or none",
        {kLastmodWords[0], kLastmodWords[1], kLastmodWords[2]},
        [](const SitemapOptions& o) {
            return std::vector<std::string>{kLastmodWords[static_cast<int>(o.lastmod)]};
        },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            const int index = ChoiceIndex(kLastmodWords, v, "lastmod", error);
            if (index < 0)
                return -1;
            o.lastmod = static_cast<LastmodSource>(index);
            return 0;
        },
    });
    fields.push_back({
        "respect-robots", OptionKind::Flag, nullptr, "Leave out pages marked noindex",
        "leave out pages whose robots meta says noindex",
        {},
        [](const SitemapOptions& o) { return std::vector<std::string>{o.respectRobots ? "yes" : "no"}; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            return ParseFlag(v, "respect-robots", o.respectRobots, error);
        },
    });
    fields.push_back({
        "canonical-only", OptionKind::Flag, nullptr, "Leave out pages whose canonical URL is another",
        "leave out pages whose canonical URL is another",
        {},
        [](const SitemapOptions& o) { return std::vector<std::string>{o.canonicalOnly ? "yes" : "no"}; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            return ParseFlag(v, "canonical-only", o.canonicalOnly, error);
        },
    });
    fields.push_back({
        "robots-txt", OptionKind::Flag, nullptr, "List the sitemap in robots.txt",
        "name the sitemap in the site's robots.txt",
        {},
        [](const SitemapOptions& o) { return std::vector<std::string>{o.robotsTxt ? "yes" : "no"}; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            return ParseFlag(v, "robots-txt", o.robotsTxt, error);
        },
    });
    fields.push_back({
        "gzip", OptionKind::Flag, nullptr, "Compress sitemaps (.gz)",
        "write .xml.gz / .txt.gz files (not CSV)",
        {},
        [](const SitemapOptions& o) { return std::vector<std::string>{o.gzip ? "yes" : "no"}; },
        [](SitemapOptions& o, const std::vector<std::string>& v, std::string& error) {
            return ParseFlag(v, "gzip", o.gzip, error);
        },
    });
    return fields;
}

}  // namespace

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
