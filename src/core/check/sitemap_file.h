// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// One sitemap file as the check reads it: plain or gzip, XML (a urlset or a
// sitemap index, validated against the schema of its namespace) or text.
#pragma once

#include <string>
#include <vector>

#include "check/check.h"

namespace larkspur {

struct SitemapLoc {
    std::string loc;  // as the file gives it, white space around it dropped
    std::string lastmod;
    bool hasLastmod = false;
};

struct SitemapFile {
    bool index = false;  // a sitemap index: `locs` are its parts
    // False for a file not read to its end (a DOCTYPE, not a sitemap, not
    // UTF-8): which pages it lists is not known.
    bool whole = true;
    std::vector<SitemapLoc> locs;
};

// Reads `path` and appends the faults of the file itself to `findings`:
// unreadable, not well-formed, not valid, past the protocol's limits, the
// old namespace. The XML is parsed without a network, a DTD or entity
// substitution; a document with a DOCTYPE is not read further. -1 when
// nothing could be read from it.
int ReadSitemapFile(const std::string& path, SitemapFile& file, std::vector<CheckFinding>& findings);

}  // namespace larkspur
