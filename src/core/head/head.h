// What a page's head says about indexing: a robots meta element asking not
// to be indexed, and the canonical link naming the page's preferred URL.
// Search engines report a sitemap listing such pages as faulty.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace larkspur {

// Robots meta elements past this point of a page are not looked for.
constexpr std::size_t kHeadReadLimit = 64 * 1024;

struct PageHead {
    bool noindex = false;       // robots or googlebot meta holding noindex or none
    bool hasCanonical = false;  // one canonical link, or several naming the same URL
    std::string canonical;      // its href, character references decoded
    std::string base;           // the href of <base>, when there is one
};

// Reads the start of a page as an HTML parser would until the head ends:
// "</head>", "<body>", text or any element that belongs in the body. Comments,
// scripts, styles and templates are skipped, so what they hold never counts.
PageHead ScanHead(std::string_view text);

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

// True when the head names a canonical http(s) URL other than `pageUrl`;
// an href is resolved against <base> and the page's URL first.
bool CanonicalElsewhere(std::string_view pageUrl, const PageHead& head);

}  // namespace larkspur
