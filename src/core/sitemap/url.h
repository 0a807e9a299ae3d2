// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The addresses a sitemap lists: the site's base URL, the URLs of its pages
// and folders, the escaping they need, and the dates beside them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scan.h"

namespace larkspur {

// "&" "'" '"' "<" ">" as XML's predefined entities.
std::string EscapeXml(std::string_view text);
void AppendXml(std::string& out, std::string_view text);

// The longest URL a sitemap may list; longer ones are left out.
constexpr std::size_t kMaxUrlLength = 2048;
// Every byte but A-Z a-z 0-9 - . _ ~ ! $ & ' ( ) * + , ; = : @ as %XX.
std::string EscapePathSegment(std::string_view segment);

// Checks an absolute http(s) URL and gives it back with scheme and host in
// lower case, a host name that is not ASCII in its "xn--" form, unsafe bytes
// of its path escaped and a trailing "/", ready to have a relative path
// appended. -1 for anything else, a user name or password included;
// `problem` then says why when there is more to say than "not a URL".
int NormalizeBaseUrl(std::string_view url, std::string& base, std::string* problem = nullptr);
// The length of a leading "http://" or "https://" in any case, else 0.
std::size_t HttpSchemeEnd(std::string_view url);

// The URLs of the pages of a walked tree: the base URL, the names of the
// folders down to the page's, each escaped and followed by "/", and the
// name the page goes by, escaped. Pages come folder by folder, so the part
// of a folder is made once for all its pages.
class PageUrls {
public:
    PageUrls() = default;
    // `base` as NormalizeBaseUrl gives it.
    explicit PageUrls(std::string base) : m_base(std::move(base)) {}

    // The URL of `page`, whose URL ends in `name` (its file name, or the
    // shorter one a URL style gives it), into `url` and XML-escaped into
    // `xml`; false, both untouched, when it is longer than kMaxUrlLength.
    bool make(const FileEntry& page, std::string_view name, std::string& url, std::string& xml);
    // The URL of the folder of the page last made, ending in "/".
    const std::string& folderUrl() const { return m_folderUrl; }

private:
    std::string m_base;
    const FileEntry* m_folder = nullptr;
    std::string m_folderUrl;
    std::string m_folderXml;  // the same, XML-escaped
    std::vector<std::string_view> m_segments;
};

// The address of the folder that holds `path`, when that folder lies in
// `siteFolder`, the site published at `siteUrl`; -1 when it lies elsewhere.
int FolderUrlInSite(std::string_view siteUrl, const std::string& siteFolder, const std::string& path,
                    std::string& url);

// The UTC calendar date of a time, as YYYY-MM-DD; empty outside the years
// 1 to 9999.
std::string FormatDate(std::int64_t secondsSince1970);

}  // namespace larkspur
