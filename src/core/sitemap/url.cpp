// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// URLs of sitemap entries and the escaping they need.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "head/head.h"
#include "platform/paths.h"
#include "sitemap/url.h"
#include "text/text.h"

namespace larkspur {

namespace {

using ascii::Lower;

bool IsAlnum(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// What RFC 3986 allows unescaped inside one path segment.
bool IsSegmentByte(unsigned char c)
{
    if (IsAlnum(c))
        return true;
    switch (c) {
    case '-': case '.': case '_': case '~':
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=': case ':': case '@':
        return true;
    default:
        return false;
    }
}

std::string_view Trimmed(std::string_view text)
{
    const char* spaces = " \t\n\v\f\r";
    const auto first = text.find_first_not_of(spaces);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(spaces);
    return text.substr(first, last - first + 1);
}

// Host, user information and port: what may stand between "://" and the
// path. Bytes from 0x80 up are a host name in UTF-8.
bool IsAuthorityByte(unsigned char c)
{
    return IsSegmentByte(c) || c == '[' || c == ']' || c == '%' || c >= 0x80;
}

// A host name's labels as the DNS has them: letters, digits and "-", not
// at either end of a label, 1 to 63 bytes each, 253 in all; an "xn--"
// label valid punycode of a valid international name; a number last only
// in an IPv4 address. 0, or -1 with the reason.
int CheckHostName(std::string_view host, std::string& problem)
{
    const std::string quoted = "'" + std::string(host) + "'";
    if (host.size() > 253) {
        problem = "the host name is longer than 253 characters";
        return -1;
    }
    int numbers = 0;
    int labels = 0;
    bool numberLast = false;
    for (std::size_t start = 0; start <= host.size(); ++labels) {
        std::size_t end = host.find('.', start);
        if (end == std::string_view::npos)
            end = host.size();
        const std::string_view label = host.substr(start, end - start);
        start = end + 1;
        if (label.empty()) {
            problem = "the host name " + quoted + " has an empty label (two dots, or a dot at an end)";
            return -1;
        }
        if (label.size() > 63) {
            problem = "a label of the host name is longer than 63 characters";
            return -1;
        }
        for (const char c : label) {
            if (!IsAlnum(static_cast<unsigned char>(c)) && c != '-') {
                problem = "the host name " + quoted + " may hold only letters, digits, '-' and '.'";
                return -1;
            }
        }
        if (label.front() == '-' || label.back() == '-') {
            problem = "a label of the host name " + quoted + " starts or ends with '-'";
            return -1;
        }
        if (label.size() > 4 && EqualsIgnoringCase(label.substr(0, 4), "xn--")) {
            std::string ascii;
            if (AsciiHost(label, ascii) != 0) {
                problem = "the host name " + quoted + " holds '" + std::string(label) +
                          "', which is not a valid international name in its xn-- form";
                return -1;
            }
        }
        numberLast = label.find_first_not_of("0123456789") == std::string_view::npos;
        if (numberLast && label.size() <= 3 && std::stoi(std::string(label)) <= 255)
            ++numbers;
    }
    // Browsers read a name that ends in a number as an IPv4 address.
    if (numberLast && (labels != 4 || numbers != 4)) {
        problem = "the host name " + quoted + " ends in a number but is no IPv4 address";
        return -1;
    }
    return 0;
}

}  // namespace

void AppendXml(std::string& out, std::string_view text)
{
    // Copy runs of ordinary text whole: most URLs hold nothing to escape.
    for (;;) {
        const auto special = text.find_first_of("&'\"<>");
        out.append(text.substr(0, special));
        if (special == std::string_view::npos)
            return;
        switch (text[special]) {
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '"': out += "&quot;"; break;
        case '<': out += "&lt;"; break;
        default: out += "&gt;"; break;
        }
        text.remove_prefix(special + 1);
    }
}

std::string EscapeXml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 16);
    AppendXml(out, text);
    return out;
}

std::string EscapePathSegment(std::string_view segment)
{
    std::string out;
    out.reserve(segment.size() + 8);
    for (const char ch : segment) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsSegmentByte(c))
            out += ch;
        else
            AppendPercentEscape(out, c);
    }
    return out;
}

std::size_t HttpSchemeEnd(std::string_view url)
{
    if (EqualsIgnoringCase(url.substr(0, 8), "https://"))
        return 8;
    if (EqualsIgnoringCase(url.substr(0, 7), "http://"))
        return 7;
    return 0;
}

int NormalizeBaseUrl(std::string_view url, std::string& base, std::string* problem)
{
    const std::string_view text = Trimmed(url);
    const std::size_t authorityStart = HttpSchemeEnd(text);
    if (authorityStart == 0)
        return -1;
    const std::size_t schemeLength = authorityStart - 3;
    std::size_t authorityEnd = text.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string_view::npos)
        authorityEnd = text.size();
    const std::string_view authority = text.substr(authorityStart, authorityEnd - authorityStart);
    for (const char c : authority) {
        if (!IsAuthorityByte(static_cast<unsigned char>(c)))
            return -1;
    }
    // Every URL of the sitemap starts with the base: a user name or
    // password in it would be published to every search engine.
    if (authority.find('@') != std::string_view::npos) {
        if (problem)
            *problem = "the URL may not hold a user name or password: it would be published in every sitemap entry";
        return -1;
    }
    std::string_view host = authority;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return -1;
        host = authority.substr(0, close + 1);
        port = authority.substr(close + 1);
    } else {
        const auto colon = authority.find(':');
        if (colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon);
        }
    }
    if (host.empty() || host == "[]")
        return -1;
    // "[" and "]" only around an IP literal, which holds nothing but hex
    // digits, ":" and ".".
    if (host.front() == '[') {
        for (const char c : host.substr(1, host.size() - 2)) {
            if (ascii::HexValue(c) < 0 && c != ':' && c != '.')
                return -1;
        }
    } else if (host.find_first_of("[]") != std::string_view::npos) {
        return -1;
    } else if (host.find('%') != std::string_view::npos) {
        // Servers and browsers differ on what an escaped host name is.
        if (problem)
            *problem = "the host name may not hold %-escapes: write the name itself";
        return -1;
    }
    if (!port.empty()) {
        if (port.front() != ':')
            return -1;
        long value = 0;
        for (const char c : port.substr(1)) {
            if (c < '0' || c > '9')
                return -1;
            value = std::min(value * 10 + (c - '0'), 100000L);
        }
        // An empty port is the scheme's own.
        if (port.size() > 1 && (value < 1 || value > 65535)) {
            if (problem)
                *problem = "the port must be a number from 1 to 65535, not " + std::string(port.substr(1));
            return -1;
        }
    }

    std::string out;
    out.reserve(text.size() + 8);
    out.append(text.substr(0, schemeLength));
    for (char& c : out)
        c = Lower(c);
    out += "://";
    std::string ascii;
    if (std::any_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        if (AsciiHost(host, ascii, problem) != 0)
            return -1;
    } else {
        for (const char c : host)
            ascii += Lower(c);
    }
    std::string hostProblem;
    if (host.front() != '[' && CheckHostName(ascii, hostProblem) != 0) {
        if (problem)
            *problem = std::move(hostProblem);
        return -1;
    }
    out += ascii;
    out.append(port);

    // The base's own path is the site's root. Its %XX escapes stay; bytes
    // that may not stand in a URL are escaped. Query and fragment cannot name
    // a folder and are dropped.
    std::size_t pathEnd = text.find_first_of("?#", authorityEnd);
    if (pathEnd == std::string_view::npos)
        pathEnd = text.size();
    const std::string_view path = text.substr(authorityEnd, pathEnd - authorityEnd);
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c == '/' || IsSegmentByte(c))
            out += static_cast<char>(c);
        else if (PercentEscapeAt(path, i) >= 0)
            out += '%';
        else
            AppendPercentEscape(out, c);
    }
    if (out.back() != '/')
        out += '/';
    base = std::move(out);
    return 0;
}

bool PageUrls::make(const FileEntry& page, std::string_view name, std::string& url, std::string& xml)
{
    if (page.parent != m_folder) {
        m_folder = page.parent;
        m_folderUrl = m_base;
        PathSegments(*page.parent, m_segments);
        for (const std::string_view segment : m_segments) {
            m_folderUrl += EscapePathSegment(segment);
            m_folderUrl += '/';
        }
        m_folderXml.clear();
        AppendXml(m_folderXml, m_folderUrl);
    }
    const std::string escaped = EscapePathSegment(name);
    if (m_folderUrl.size() + escaped.size() > kMaxUrlLength)
        return false;
    url.assign(m_folderUrl).append(escaped);
    xml.assign(m_folderXml);
    AppendXml(xml, escaped);
    return true;
}

int FolderUrlInSite(std::string_view siteUrl, const std::string& siteFolder, const std::string& path,
                    std::string& url)
{
    // The folder a file is written into is the one its path names, even
    // when the file itself is a link to elsewhere.
    const auto slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string base, site, folder, error;
    if (siteFolder.empty() || NormalizeBaseUrl(siteUrl, base) != 0
        || platform::CanonicalPath(siteFolder, site, error) != 0 || platform::CanonicalPath(parent, folder, error) != 0)
        return -1;
    if (site.back() != '/')
        site += '/';
    folder += '/';
    if (folder.compare(0, site.size(), site) != 0)
        return -1;
    url = std::move(base);
    for (std::string_view rest = std::string_view(folder).substr(site.size()); !rest.empty();) {
        const auto end = rest.find('/');
        url += EscapePathSegment(rest.substr(0, end));
        url += '/';
        rest.remove_prefix(end + 1);
    }
    return 0;
}

std::string FormatDate(std::int64_t secondsSince1970)
{
    // 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z: a file system may hold
    // any 64-bit time, a sitemap date has four digits.
    constexpr std::int64_t kFirst = -62135596800;
    constexpr std::int64_t kLast = 253402300799;
    if (secondsSince1970 < kFirst || secondsSince1970 > kLast)
        return {};
    using namespace std::chrono;
    const sys_seconds time{seconds{secondsSince1970}};
    const year_month_day date{floor<days>(time)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

}  // namespace larkspur
