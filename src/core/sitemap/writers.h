// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The three sitemaps of a walked tree, sitemap.xml, sitemap.txt and
// sitemap.csv, written to a stream or saved as files, and what a save
// reports.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "options/options.h"
#include "scan/scan.h"
#include "sitemap/xml.h"

namespace larkspur {

enum class SitemapFormat { Xml, Text, Csv };
const char* SitemapFileName(SitemapFormat format);  // "sitemap.xml", ...

// The last part of a page's URL in a style, by its file name: a folder's
// index page (index.htm only where no index.html is beside it) by its
// folder's URL, and in the clean style x.html as x unless an entry named x
// is beside it. A view of `name`.
std::string_view UrlNameInStyle(UrlStyle style, std::string_view name, bool indexHtmlBeside, bool stemTaken);

// The settings a writer needs besides the tree.
struct SitemapParameters {
    SitemapParameters() = default;
    SitemapParameters(std::string url, int priority, int frequency, SitemapOptions sitemapOptions = {})
        : websiteUrl(std::move(url)), priorityIndex(priority), frequencyIndex(frequency),
          options(std::move(sitemapOptions))
    {
    }

    std::string websiteUrl;
    int priorityIndex = kDefaultPriority;
    int frequencyIndex = kDefaultFrequency;
    SitemapOptions options;
};

struct SaveReport {
    long long urls = 0;  // entries written (a CSV's rows)
    long long tooLong = 0;           // pages left out: URL past kMaxUrlLength
    long long noindex = 0;           // pages left out: robots meta noindex
    long long canonicalElsewhere = 0;  // pages left out: their canonical URL is another
    long long unreadHeads = 0;       // pages kept: their head could not be read to the end
    long long robotsDisallowed = 0;    // pages left out: the site's robots.txt disallows them
    // Dates from git: pages that kept their file time, and of those, the
    // committed pages older than a shallow clone and the pages in a submodule
    // (the rest are not committed as they are).
    long long fileDates = 0;
    long long beyondHistory = 0;
    long long inSubmodule = 0;
    std::vector<std::string> files;  // every file written, the index first
    // An XML sitemap past the limits for one file written as one document
    // all the same: to a stream, a device or a pipe, which cannot be split.
    bool overLimit = false;
    bool intoDevice = false;  // written into a device or a pipe named as the output
    // robots.txt, when it was to list the sitemap: the file when lines were
    // added or removed, and why it was not touched when it could not be.
    std::string robotsTxt;
    std::string robotsTxtSkipped;
    // Whatever else a user should hear of: files left alone, addresses the
    // sitemap could not give. One sentence each, no final stop.
    std::vector<std::string> notes;
};

// SaveSitemap's result when the sitemap was saved but robots.txt could not
// be updated.
constexpr int kRobotsTxtNotUpdated = 1;

// Writers: one stream, the walked tree, the parameters. 0, or -1 (with the
// reason in `error` when it is not the stream's) when the tree is not walked,
// the URL is not valid, the git history cannot be read or the stream failed.
// Written to a stream, a sitemap is never split; `limits` only say when it is
// too big. With the gzip option the stream receives it compressed.
int WriteSitemap(std::ostream& out, SitemapFormat format, const ScanTree& tree,
                 const SitemapParameters& parameters, SaveReport* report = nullptr,
                 const OutputLimits& limits = {}, std::string* error = nullptr);

// Writes `path` through a temporary file; -1 with a message on failure, the
// previous file then untouched. An XML sitemap past the limits becomes an
// index of NAME1.xml, NAME2.xml, ... written beside it, listed at the
// address of their folder when it lies in the site folder. A text sitemap
// past them becomes NAME1.txt, NAME2.txt, ... listed by the index
// NAME-index.xml, and `path` is removed: text has no index of its own, and a
// sitemap.txt left behind would list pages that may be gone. Parts and an
// index that an earlier, larger sitemap left are removed when that index
// lists nothing but them. A `path` ending in ".gz" is compressed, as with
// the gzip option (not a CSV). kRobotsTxtNotUpdated, with the reason in
// `error`, when the sitemap was saved and robots.txt could not be updated.
int SaveSitemap(const std::string& path, SitemapFormat format, const ScanTree& tree,
                const SitemapParameters& parameters, std::string* error = nullptr,
                SaveReport* report = nullptr, const OutputLimits& limits = {});

}  // namespace larkspur
