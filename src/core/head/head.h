// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What a page's head says about indexing: a robots meta element asking not
// to be indexed, and the canonical link naming the page's preferred URL.
// Search engines report a sitemap listing such pages as faulty.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// Robots meta elements past this point of a page are not looked for.
constexpr std::size_t kHeadReadLimit = 64 * 1024;

struct PageHead {
    bool noindex = false;       // robots, googlebot or bingbot meta holding noindex or none
    bool hasCanonical = false;  // one canonical link or more
    std::string canonical;      // the first one's href, character references decoded
    // The hrefs of the others, where spelled otherwise: one URL written two
    // ways, or two URLs, which search engines trust neither of. Which it is
    // shows once they are resolved against the page's URL.
    std::vector<std::string> otherCanonicals;
    std::string base;           // the href of <base>, when there is one
    // False when the head could not be read to its end: a page in UTF-16, or
    // one whose head goes on past the part read (an inline script or style
    // longer than kHeadReadLimit). What was found before still counts.
    bool whole = true;
};

// Reads the start of a page as an HTML parser would until the head ends:
// "</head>", "<body>", text or any element that belongs in the body. Comments,
// scripts, styles and templates are skipped, so what they hold never counts.
// `cut`: the text is the start of a longer page.
PageHead ScanHead(std::string_view text, bool cut = false);

// What the start of a page says, read up to kHeadReadLimit + 1 bytes: the
// byte more tells whether the page goes on past the part scanned.
PageHead ScanPageStart(std::string_view start);

// One open and one read of the first kHeadReadLimit bytes. `buffer` is
// scratch space a caller reuses from page to page.
int ReadPageHead(const std::string& path, PageHead& head, std::string& buffer, std::string& error);

// "&amp;", "&lt;", "&gt;", "&quot;", "&apos;" and numeric references
// decoded, in any case; any other "&" is kept as it stands.
std::string DecodeCharacterReferences(std::string_view text);

// `reference` resolved against the absolute URL `base` (RFC 3986, section 5),
// the fragment dropped.
std::string ResolveUrl(std::string_view base, std::string_view reference);

// Two absolute URLs that lead to the same page: scheme and host in any case,
// default ports, percent escapes of the same byte, "." and ".." segments, and
// a trailing "/" (a folder's URL with and without it) are not differences.
bool SameUrl(std::string_view a, std::string_view b);

// True when the head names a canonical http(s) URL other than `pageUrl`,
// the address the page is listed at, and other than each of `sameFile`,
// addresses that lead to the same file (by its name, its folder's URL, its
// name without ".html"). An href is resolved against <base> and `pageUrl`.
bool CanonicalElsewhere(std::string_view pageUrl, const PageHead& head, std::span<const std::string> sameFile = {});

// A host name in Unicode (UTF-8) in its "xn--" form, each label mapped as
// browsers map it (IDNA2008 with UTS #46, non-transitional); -1, with the
// reason in `problem`, when it is not a valid international domain name or
// maps to anything but letters, digits, "-", "_" and ".".
int AsciiHost(std::string_view host, std::string& ascii, std::string* problem = nullptr);

}  // namespace larkspur
