// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The check of a sitemap against the site folder it describes: what search
// engines would complain of (URLs that answer 404, pages left out, pages
// that ask not to be listed, dates that cannot be true, files past the
// protocol's limits or not valid XML), for a sitemap of Larkspur's or of
// any other program. It reads files only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sitemap/w3c_date.h"
#include "scan/scan.h"
#include "sitemap/writers.h"

namespace larkspur {

// In the order a report shows them.
enum class CheckKind : std::uint8_t {
    Unreadable,
    NotWellFormed,
    NotValid,
    TooManyUrls,
    TooLarge,
    UrlTooLong,
    OutsideBase,
    NoFile,
    Duplicate,
    Missing,
    Noindex,
    CanonicalElsewhere,
    RobotsDisallowed,
    LastmodInvalid,
    LastmodFuture,
    LastmodStale,
    OldNamespace,
};

struct CheckKindInfo {
    CheckKind kind;
    const char* word;   // the first column of the TSV output
    const char* title;  // a report section's heading
    bool hint;          // worth knowing, but nothing is wrong
};
// Every kind, in report order.
const std::vector<CheckKindInfo>& CheckKinds();
const CheckKindInfo& KindInfo(CheckKind kind);

struct CheckFinding {
    CheckKind kind;
    std::string url;     // the URL concerned; a sitemap file's path for the file's own faults
    std::string detail;  // why, in a few words
};

struct CheckReport {
    std::vector<std::string> files;  // every sitemap file read, the first one named first
    long long urls = 0;              // URLs the sitemap lists
    long long pages = 0;             // pages the options select in the folder
    // Sorted by kind, each kind in the order found: the sitemap's order, then
    // the folder's.
    std::vector<CheckFinding> findings;
    // What could not be checked, and why. One sentence each, no final stop.
    std::vector<std::string> notes;

    long long count(CheckKind kind) const;
    // A finding that is not a hint.
    bool problems() const;
};

// The sitemap files tried, in the site folder, when none is named: the one
// Larkspur would write with these options, then the usual names.
std::vector<std::string> DefaultSitemapNames(const SitemapOptions& options);

// Checks the sitemap `sitemap` (a file, or the URL or URL path of a file in
// the site folder; empty: the first of DefaultSitemapNames that exists) of
// the walked site `tree` published at `parameters.websiteUrl`; pages count
// as left out under `parameters.options`. `now`: seconds since 1970 UTC, -1
// for the clock. 0 with the report, or -1 with a message when the site's URL
// is not valid or there is no such sitemap.
int CheckSitemap(const ScanTree& tree, const SitemapParameters& parameters, const std::string& sitemap,
                 CheckReport& report, std::string& error, std::int64_t now = -1);

}  // namespace larkspur
