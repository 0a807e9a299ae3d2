// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// One XML sitemap file as the protocol has it: its namespaces, head and
// tail, the url element, and the limits of one file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "options/options.h"

namespace larkspur {

inline constexpr const char* kSitemapNamespace = "http://www.google.com/schemas/sitemap/0.84";
inline constexpr const char* kNamespace09 = "http://www.sitemaps.org/schemas/sitemap/0.9";
inline constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// The start of every XML sitemap (lines end in CR LF, as they always have),
// its end, and one url element with its four texts, already escaped; an
// empty lastmod, changefreq or priority leaves that element out.
extern const char* const kUrlsetHead;
extern const char* const kUrlsetTail;
extern const char* const kSitemapIndexHead;
extern const char* const kSitemapIndexTail;
void AppendUrlElement(std::string& out, std::string_view loc, std::string_view lastmod,
                      std::string_view changefreq, std::string_view priority);
// The same heads in a protocol's namespace.
const char* UrlsetHead(Protocol protocol);
const char* SitemapIndexHead(Protocol protocol);

// The protocol's limits for one sitemap file. Tests lower them.
struct OutputLimits {
    std::size_t maxUrls = 50000;
    std::size_t maxBytes = 0;  // 0: the protocol's
    std::int64_t now = -1;  // the date of an index; -1: the clock
    // The user named this output: a device or a pipe there is written into
    // (one document, never split), as cp does. Otherwise such a thing in
    // the place of a sitemap is replaced like any other file.
    bool writeIntoDevices = false;
};

}  // namespace larkspur
