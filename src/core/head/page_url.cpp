// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Page URLs compared as search engines compare them: a reference resolved
// against its page, escapes, ports, case and host spellings brought to one
// form.
#include <algorithm>
#include <cstring>

#include <idn2.h>

#include "head/head.h"
#include "text/text.h"

namespace larkspur {

using namespace ascii;

namespace {

// URL parts per RFC 3986, appendix B.
struct UrlParts {
    std::string scheme;
    bool hasAuthority = false;
    std::string authority;
    std::string path;
    bool hasQuery = false;
    std::string query;
};

bool IsSchemeChar(char c)
{
    return IsAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

UrlParts SplitUrl(std::string_view url)
{
    UrlParts parts;
    const std::size_t hash = url.find('#');
    if (hash != std::string_view::npos)
        url = url.substr(0, hash);
    const std::size_t colon = url.find(':');
    if (colon != std::string_view::npos && colon > 0 && IsAlpha(url[0])) {
        bool scheme = true;
        for (std::size_t i = 0; i < colon && scheme; ++i)
            scheme = IsSchemeChar(url[i]);
        if (scheme) {
            for (const char c : url.substr(0, colon))
                parts.scheme += Lower(c);
            url.remove_prefix(colon + 1);
        }
    }
    if (url.starts_with("//")) {
        url.remove_prefix(2);
        const std::size_t end = url.find_first_of("/?");
        parts.hasAuthority = true;
        parts.authority = std::string(url.substr(0, end));
        url = end == std::string_view::npos ? std::string_view() : url.substr(end);
    }
    const std::size_t question = url.find('?');
    parts.path = std::string(url.substr(0, question));
    if (question != std::string_view::npos) {
        parts.hasQuery = true;
        parts.query = std::string(url.substr(question + 1));
    }
    return parts;
}

std::string RemoveDotSegments(std::string_view path)
{
    std::string out;
    while (!path.empty()) {
        if (path.starts_with("../")) {
            path.remove_prefix(3);
        } else if (path.starts_with("./")) {
            path.remove_prefix(2);
        } else if (path.starts_with("/./")) {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.starts_with("/../") || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            const std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            const std::size_t next = path.find('/', 1);
            const std::size_t length = next == std::string_view::npos ? path.size() : next;
            out.append(path.substr(0, length));
            path.remove_prefix(length);
        }
    }
    return out;
}

std::string JoinUrl(const UrlParts& parts)
{
    std::string url = parts.scheme + ":";
    if (parts.hasAuthority)
        url += "//" + parts.authority;
    url += parts.path;
    if (parts.hasQuery)
        url += "?" + parts.query;
    return url;
}

bool IsPathByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr);
}

// One spelling per byte: escapes of harmless bytes decoded, every other byte
// escaped with upper-case digits; escapes of "/", "?", "#" and "%" kept, as
// they mean something else unescaped.
std::string NormalizeEscapes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (const int escaped = PercentEscapeAt(text, i); escaped >= 0) {
            c = static_cast<unsigned char>(escaped);
            i += 2;
            if (c != '/' && c != '?' && c != '#' && c != '%' && IsPathByte(c)) {
                out += static_cast<char>(c);
                continue;
            }
        } else if (IsPathByte(c) || c == '?') {
            out += static_cast<char>(c);
            continue;
        }
        AppendPercentEscape(out, c);
    }
    return out;
}

std::string NormalizeAuthority(std::string_view authority, std::string_view scheme)
{
    const std::size_t at = authority.rfind('@');
    std::string out = at == std::string_view::npos ? std::string() : std::string(authority.substr(0, at + 1));
    std::string_view host = at == std::string_view::npos ? authority : authority.substr(at + 1);
    const std::size_t colon = host.rfind(':');
    if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) {
        const std::string_view port = host.substr(colon + 1);
        if (port.empty() || (scheme == "http" && port == "80") || (scheme == "https" && port == "443"))
            host = host.substr(0, colon);
    }
    // A host written in Unicode or with escapes is the host of its "xn--"
    // form, as browsers read it.
    if (host.find('%') != std::string_view::npos ||
        std::any_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        std::string ascii;
        if (AsciiHost(PercentDecoded(host), ascii) == 0)
            return out + ascii;
    }
    for (const char c : host)
        out += Lower(c);
    return out;
}

std::string Comparable(std::string_view url)
{
    UrlParts parts = SplitUrl(url);
    parts.authority = NormalizeAuthority(parts.authority, parts.scheme);
    std::string path = NormalizeEscapes(RemoveDotSegments(parts.path));
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    parts.path = path.empty() ? std::string(1, '/') : std::move(path);
    parts.query = NormalizeEscapes(parts.query);
    return JoinUrl(parts);
}

}  // namespace

std::string ResolveUrl(std::string_view base, std::string_view reference)
{
    std::string cleaned;
    cleaned.reserve(reference.size());
    for (const char c : Trim(reference)) {
        if (c == '\t' || c == '\n' || c == '\r')
            continue;
        cleaned += c == '\\' ? '/' : c;  // as browsers read http(s) references
    }
    const UrlParts b = SplitUrl(base);
    UrlParts r = SplitUrl(cleaned);
    UrlParts t;
    if (!r.scheme.empty()) {
        t = r;
        t.path = RemoveDotSegments(r.path);
    } else {
        t.scheme = b.scheme;
        if (r.hasAuthority) {
            t.hasAuthority = true;
            t.authority = r.authority;
            t.path = RemoveDotSegments(r.path);
            t.hasQuery = r.hasQuery;
            t.query = r.query;
        } else {
            t.hasAuthority = b.hasAuthority;
            t.authority = b.authority;
            if (r.path.empty()) {
                t.path = b.path;
                t.hasQuery = r.hasQuery || b.hasQuery;
                t.query = r.hasQuery ? r.query : b.query;
            } else {
                if (r.path.front() == '/') {
                    t.path = RemoveDotSegments(r.path);
                } else {
                    std::string merged;
                    if (b.hasAuthority && b.path.empty())
                        merged = "/" + r.path;
                    else
                        merged = b.path.substr(0, b.path.rfind('/') + 1) + r.path;
                    t.path = RemoveDotSegments(merged);
                }
                t.hasQuery = r.hasQuery;
                t.query = r.query;
            }
        }
    }
    return JoinUrl(t);
}

bool SameUrl(std::string_view a, std::string_view b)
{
    return Comparable(a) == Comparable(b);
}

bool CanonicalElsewhere(std::string_view pageUrl, const PageHead& head, std::span<const std::string> sameFile)
{
    if (!head.hasCanonical)
        return false;
    const std::string base = head.base.empty() ? std::string(pageUrl) : ResolveUrl(pageUrl, head.base);
    const std::string canonical = ResolveUrl(base, head.canonical);
    const std::string scheme = SplitUrl(canonical).scheme;
    if (scheme != "http" && scheme != "https")
        return false;  // not a page address: search engines ignore it too
    const std::string comparable = Comparable(canonical);
    // Canonical links naming different URLs: search engines trust neither.
    for (const std::string& other : head.otherCanonicals) {
        if (Comparable(ResolveUrl(base, other)) != comparable)
            return false;
    }
    if (comparable == Comparable(pageUrl))
        return false;
    return std::none_of(sameFile.begin(), sameFile.end(),
                        [&](const std::string& url) { return Comparable(url) == comparable; });
}

int AsciiHost(std::string_view host, std::string& ascii, std::string* problem)
{
    char* converted = nullptr;
    const int rc = idn2_to_ascii_8z(std::string(host).c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    if (rc != IDN2_OK) {
        if (problem)
            *problem = std::string("the host name is not a valid international domain name: ") + idn2_strerror(rc);
        return -1;
    }
    ascii = converted;
    idn2_free(converted);
    // What comes out must be a host name: a character that maps to "/",
    // ":" or "@" (a full-width solidus) would move where the host ends.
    for (char& c : ascii) {
        c = Lower(c);
        if (!IsAlpha(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.' && c != '_')
            return -1;
    }
    return ascii.empty() ? -1 : 0;
}

}  // namespace larkspur
