#include "robots/robots_txt.h"

#include <string_view>

#include "platform.h"
#include "scan/scan.h"

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

}  // namespace

int AddSitemapLines(std::string& contents, const std::vector<std::string>& urls)
{
    std::vector<std::string_view> listed;
    for (std::size_t start = 0; start < contents.size();) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string::npos)
            end = contents.size();
        const std::string_view url = SitemapOf(std::string_view(contents).substr(start, end - start));
        if (!url.empty())
            listed.push_back(url);
        start = end + 1;
    }
    const std::size_t firstBreak = contents.find('\n');
    const char* ending = firstBreak != std::string::npos && firstBreak > 0 && contents[firstBreak - 1] == '\r' ? "\r\n" : "\n";

    std::string added;
    std::vector<std::string> fresh;
    for (const std::string& url : urls) {
        bool known = false;
        for (const std::string_view seen : listed)
            known = known || seen == url;
        for (const std::string& seen : fresh)
            known = known || seen == url;
        if (known || url.empty())
            continue;
        fresh.push_back(url);
        added += "Sitemap: " + url + ending;
    }
    if (fresh.empty())
        return 0;
    if (!contents.empty() && contents.back() != '\n')
        contents += ending;
    contents += added;
    return static_cast<int>(fresh.size());
}

int UpdateRobotsTxt(const std::string& siteFolder, const std::vector<std::string>& urls,
                    RobotsTxtReport& report, std::string& error)
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
    report.linesAdded = AddSitemapLines(contents, urls);
    if (report.linesAdded == 0) {
        file.abandon();
        report.created = false;
        return 0;
    }
    file.stream() << contents;
    return file.commit(error);
}

}  // namespace larkspur
