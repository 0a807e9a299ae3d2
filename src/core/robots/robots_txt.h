// The "Sitemap:" lines of a site's robots.txt: since the search engines
// closed their ping addresses, this is how crawlers find a sitemap.
#pragma once

#include <string>
#include <vector>

namespace larkspur {

// Appends "Sitemap: URL" for each URL that no line of `contents` names yet
// (the field name in any case, spaces around the value allowed), in the line
// ending the text already uses; a last line without an ending gets one first.
// Every other byte stays. The number of lines added.
int AddSitemapLines(std::string& contents, const std::vector<std::string>& urls);

struct RobotsTxtReport {
    bool created = false;
    int linesAdded = 0;  // 0: the file was left as it was
};

// Makes `siteFolder`/robots.txt list the URLs, replacing it atomically only
// when a line is added. 0, or -1 with a message (the file then unchanged).
int UpdateRobotsTxt(const std::string& siteFolder, const std::vector<std::string>& urls,
                    RobotsTxtReport& report, std::string& error);

}  // namespace larkspur
