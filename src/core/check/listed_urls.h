// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The URLs a sitemap lists: where they lead, and what the pages there say.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "check/checker.h"
#include "head/head.h"

namespace larkspur::check_detail {

// Whether `page`'s head names a canonical URL other than `url` and other
// than the page's address in each URL style, as the writer judges it for
// --canonical-only.
bool CanonicalElsewhere(const Checker& checker, std::string_view url, const PageHead& head, const FileEntry& page);

void CheckDate(Checker& checker, const std::string& url, const SitemapLoc& loc, std::int64_t fileTime = -1);

// The URLs of a urlset: where they lead, and what the pages there say.
void CheckListed(Checker& checker, std::vector<Listed>& listed,
                 std::unordered_map<const FileEntry*, const std::string*>& firstUrl);

}  // namespace larkspur::check_detail
