// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The pages the options select that a sitemap leaves out.
#pragma once

#include <string>
#include <unordered_map>

#include "check/checker.h"

namespace larkspur::check_detail {

// The URLs of the pages Larkspur would list under the site's options, one a
// line, before any head is read. They depend on the tree alone: they are
// written on a thread of their own while the sitemap is read.
struct SelectedPages {
    std::string text;
    std::string error;
    int result = 0;
    long long count = 0;  // of the URLs in `text`

    void write(const ScanTree& tree, SitemapParameters parameters);
};

// The pages Larkspur would list under the site's options that no listed URL
// leads to. The writer gives the URLs; heads are read, for the options that
// need them, only for the pages not listed.
void CheckMissing(Checker& checker, const std::unordered_map<const FileEntry*, const std::string*>& answered,
                  const SelectedPages& pages);

}  // namespace larkspur::check_detail
