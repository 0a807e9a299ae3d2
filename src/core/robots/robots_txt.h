// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The "Sitemap:" lines of a site's robots.txt: since the search engines
// closed their ping addresses, this is how crawlers find a sitemap.
#pragma once

#include <string>
#include <vector>

namespace larkspur {

// Appends "Sitemap: URL" for each URL that no line of `contents` names yet
// (the field name in any case, spaces around the value allowed, scheme and
// host in any case, a UTF-8 byte-order mark before the first line), in the
// line ending the text already uses; a last line without an ending gets one
// first. Every other byte stays. The number of lines added.
int AddSitemapLines(std::string& contents, const std::vector<std::string>& urls);
// Removes the "Sitemap:" lines that name one of the URLs, read as above,
// with their line endings. Every other byte stays. The number removed.
int RemoveSitemapLines(std::string& contents, const std::vector<std::string>& urls);

struct RobotsTxtReport {
    bool created = false;
    int linesAdded = 0;  // both 0: the file was left as it was
    int linesRemoved = 0;
};

// Makes `siteFolder`/robots.txt list the URLs and no longer the `stale`
// ones, replacing it atomically only when a line changes. 0, or -1 with a
// message (the file then unchanged).
int UpdateRobotsTxt(const std::string& siteFolder, const std::vector<std::string>& urls,
                    RobotsTxtReport& report, std::string& error, const std::vector<std::string>& stale = {});

}  // namespace larkspur
