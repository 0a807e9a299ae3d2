// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "robots/robots_txt.h"

#include <algorithm>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/read_file.h"
#include "text/text.h"

namespace larkspur {

namespace {

constexpr std::size_t kMaxRobotsTxt = 16 * 1024 * 1024;

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The URL of a "Sitemap:" line, or nothing for any other line.
std::string_view SitemapOf(std::string_view line)
{
    line = Trim(line);
    constexpr std::string_view kField = "sitemap:";
    if (line.size() < kField.size() || !EqualsIgnoringCase(line.substr(0, kField.size()), kField))
        return {};
    return Trim(line.substr(kField.size()));
}

// Where the first line starts: after the byte-order mark some editors put
// at the start of a UTF-8 file.
std::size_t FirstLine(std::string_view contents)
{
    return contents.starts_with("\xEF\xBB\xBF") ? 3 : 0;
}

// The end of a URL's scheme and host.
std::size_t HostEnd(std::string_view url)
{
    const auto scheme = url.find("://");
    const auto slash = scheme == std::string_view::npos ? scheme : url.find('/', scheme + 3);
    return slash == std::string_view::npos ? url.size() : slash;
}

// Two URLs of the same file: scheme and host in any case, the rest as it is.
bool SameUrl(std::string_view a, std::string_view b)
{
    const std::size_t end = HostEnd(a);
    return end == HostEnd(b) && EqualsIgnoringCase(a.substr(0, end), b.substr(0, end)) && a.substr(end) == b.substr(end);
}

bool AnySameUrl(std::string_view url, const std::vector<std::string>& urls)
{
    for (const std::string& other : urls) {
        if (SameUrl(url, other))
            return true;
    }
    return false;
}

}  // namespace

int AddSitemapLines(std::string& contents, const std::vector<std::string>& urls)
{
    std::vector<std::string> listed;
    for (std::size_t start = FirstLine(contents); start < contents.size();) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string::npos)
            end = contents.size();
        const std::string_view url = SitemapOf(std::string_view(contents).substr(start, end - start));
        if (!url.empty())
            listed.emplace_back(url);
        start = end + 1;
    }
    const std::size_t firstBreak = contents.find('\n');
    const char* ending = firstBreak != std::string::npos && firstBreak > 0 && contents[firstBreak - 1] == '\r' ? "\r\n" : "\n";

    std::string added;
    int fresh = 0;
    for (const std::string& url : urls) {
        if (url.empty() || AnySameUrl(url, listed))
            continue;
        listed.push_back(url);
        ++fresh;
        added += "Sitemap: " + url + ending;
    }
    if (fresh == 0)
        return 0;
    if (contents.size() > FirstLine(contents) && contents.back() != '\n')
        contents += ending;
    contents += added;
    return fresh;
}

int RemoveSitemapLines(std::string& contents, const std::vector<std::string>& urls)
{
    int removed = 0;
    for (std::size_t start = FirstLine(contents); start < contents.size();) {
        const std::size_t lineEnd = std::min(contents.find('\n', start), contents.size());
        const std::size_t end = lineEnd == contents.size() ? lineEnd : lineEnd + 1;
        const std::string_view url = SitemapOf(std::string_view(contents).substr(start, lineEnd - start));
        if (url.empty() || !AnySameUrl(url, urls)) {
            start = end;
            continue;
        }
        contents.erase(start, end - start);
        ++removed;
    }
    return removed;
}

int UpdateRobotsTxt(const std::string& siteFolder, const std::vector<std::string>& urls,
                    RobotsTxtReport& report, std::string& error, const std::vector<std::string>& stale)
{
    report = RobotsTxtReport();
    const std::string path = platform::JoinPath(siteFolder, "robots.txt");
    // Opened for writing first, so that a robots.txt the link rules refuse is
    // not read either.
    platform::AtomicFile file;
    if (file.open(path, error) != 0)
        return -1;
    std::string contents;
    report.created = !platform::Exists(path);
    if (!report.created) {
        if (platform::ReadFile(path, contents, error, kMaxRobotsTxt + 1) != 0)
            return -1;
        if (contents.size() > kMaxRobotsTxt) {
            error = path + ": larger than 16 MiB, not a robots.txt";
            return -1;
        }
    }
    report.linesRemoved = RemoveSitemapLines(contents, stale);
    report.linesAdded = AddSitemapLines(contents, urls);
    if (report.linesAdded == 0 && report.linesRemoved == 0) {
        file.abandon();
        report.created = false;
        return 0;
    }
    file.stream() << contents;
    return file.commit(error);
}

}  // namespace larkspur
