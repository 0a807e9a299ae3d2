// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/missing_pages.h"

#include <sstream>

#include "check/listed_urls.h"
#include "head/head_reader.h"

namespace larkspur::check_detail {

void SelectedPages::write(const ScanTree& tree, SitemapParameters parameters)
{
    SitemapOptions& options = parameters.options;
    options.respectRobots = options.canonicalOnly = options.robotsTxt = options.gzip = false;
    options.lastmod = LastmodSource::None;
    options.newline = LineEnd::CrLf;  // CheckMissing splits the text at "\r\n"
    std::ostringstream urls;
    result = WriteSitemap(urls, SitemapFormat::Text, tree, parameters, nullptr, {}, &error);
    text = std::move(urls).str();
    // One "\r\n" after each URL: the count of the pages whether or not the
    // sitemap could be read whole enough to look for those left out.
    for (std::size_t end = 0; (end = text.find("\r\n", end)) != std::string::npos; end += 2)
        ++count;
}

void CheckMissing(Checker& checker, const std::unordered_map<const FileEntry*, const std::string*>& answered,
                  const SelectedPages& pages)
{
    const bool respectRobots = checker.parameters.options.respectRobots;
    const bool canonicalOnly = checker.parameters.options.canonicalOnly;
    if (pages.result != 0) {
        checker.report.notes.push_back("pages left out not looked for: " + pages.error);
        return;
    }
    const std::string& text = pages.text;
    std::string error;
    PageHead head;
    PageHeadReader reader;
    std::string below;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        const std::string_view url = std::string_view(text).substr(start, end - start);
        start = end + 2;
        // Written as Larkspur writes it (the host in lower case), or
        // another URL that leads to the page.
        if (checker.listedUrls.count(url) != 0)
            continue;
        const FileEntry* entry = checker.below(url, below) ? checker.files.answer(below) : nullptr;
        if (!entry || answered.count(entry) != 0)
            continue;
        // Left out as the options say: by robots.txt, or by the page's head.
        if (respectRobots && !checker.robots.empty() && !checker.robots.allows(UrlPathAndQuery(url)))
            continue;
        if ((respectRobots || canonicalOnly) && IsPage(*entry)
            && reader.read(checker.tree, *entry, head, error) == 0
            && ((respectRobots && head.noindex) || (canonicalOnly && CanonicalElsewhere(checker, url, head, *entry))))
            continue;
        checker.add(CheckKind::Missing, std::string(url), RelativePath(*entry).substr(1));
    }
}

}  // namespace larkspur::check_detail
