#include "head/head.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <idn2.h>

#include "platform.h"

namespace larkspur {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsLower(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (Lower(text[i]) != lower[i])
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// True when one of the pieces of `list` between commas and white space
// equals `word` (in any case).
bool HasToken(std::string_view list, std::string_view word)
{
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = start;
        while (end < list.size() && list[end] != ',' && !IsSpace(list[end]))
            ++end;
        if (EqualsLower(Trim(list.substr(start, end - start)), word))
            return true;
        start = end + 1;
    }
    return false;
}

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character references an href is likely to hold; any other "&" stays.
std::string DecodeReferences(std::string_view text)
{
    static constexpr struct { const char* name; char value; } kNamed[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''},
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::string_view rest = text.substr(i + 1);
        bool decoded = false;
        for (const auto& named : kNamed) {
            if (rest.size() >= std::strlen(named.name) && EqualsLower(rest.substr(0, std::strlen(named.name)), named.name)) {
                out += named.value;
                i += std::strlen(named.name);
                decoded = true;
                break;
            }
        }
        if (!decoded && rest.size() >= 2 && rest[0] == '#') {
            const bool hex = rest[1] == 'x' || rest[1] == 'X';
            std::size_t j = hex ? 2 : 1;
            std::uint32_t code = 0;
            const std::size_t digitsStart = j;
            for (; j < rest.size() && j < digitsStart + 8; ++j) {
                const char c = rest[j];
                int digit = -1;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (hex && Lower(c) >= 'a' && Lower(c) <= 'f')
                    digit = Lower(c) - 'a' + 10;
                if (digit < 0)
                    break;
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
            }
            if (j > digitsStart) {
                AppendUtf8(out, code);
                i += j + (j < rest.size() && rest[j] == ';' ? 1 : 0);
                decoded = true;
            }
        }
        if (!decoded)
            out += '&';
    }
    return out;
}

struct Attribute {
    std::string_view name;
    std::string_view value;
};

// A start tag's attributes; the first of two with the same name counts, as
// in HTML. False when the text ends inside the tag.
class Tag {
public:
    bool parse(std::string_view text, std::size_t& i)
    {
        m_count = 0;
        const std::size_t n = text.size();
        for (;;) {
            while (i < n && (IsSpace(text[i]) || text[i] == '/'))
                ++i;
            if (i >= n)
                return false;
            if (text[i] == '>') {
                ++i;
                return true;
            }
            const std::size_t nameStart = i;
            ++i;  // a name may start with "="
            while (i < n && !IsSpace(text[i]) && text[i] != '/' && text[i] != '>' && text[i] != '=')
                ++i;
            Attribute attribute{text.substr(nameStart, i - nameStart), {}};
            std::size_t j = i;
            while (j < n && IsSpace(text[j]))
                ++j;
            if (j < n && text[j] == '=') {
                i = j + 1;
                while (i < n && IsSpace(text[i]))
                    ++i;
                if (i >= n)
                    return false;
                if (text[i] == '"' || text[i] == '\'') {
                    const std::size_t close = text.find(text[i], i + 1);
                    if (close == std::string_view::npos)
                        return false;
                    attribute.value = text.substr(i + 1, close - i - 1);
                    i = close + 1;
                } else {
                    const std::size_t valueStart = i;
                    while (i < n && !IsSpace(text[i]) && text[i] != '>')
                        ++i;
                    attribute.value = text.substr(valueStart, i - valueStart);
                    // content=noindex/> : the author closed the element.
                    if (i < n && text[i] == '>' && attribute.value.ends_with('/'))
                        attribute.value.remove_suffix(1);
                }
            }
            add(attribute);
        }
    }

    // The value of the first attribute so named; `found` says whether any was.
    std::string_view get(std::string_view name, bool* found = nullptr) const
    {
        for (std::size_t k = 0; k < m_count; ++k) {
            if (EqualsLower(m_attributes[k].name, name)) {
                if (found)
                    *found = true;
                return m_attributes[k].value;
            }
        }
        if (found)
            *found = false;
        return {};
    }

private:
    void add(const Attribute& attribute)
    {
        // The few attributes that matter come early; a tag with hundreds of
        // them keeps its first ones.
        if (m_count < kMaxAttributes)
            m_attributes[m_count++] = attribute;
    }

    static constexpr std::size_t kMaxAttributes = 32;
    Attribute m_attributes[kMaxAttributes];
    std::size_t m_count = 0;
};

std::size_t FindIgnoringCase(std::string_view text, std::string_view lower, std::size_t from)
{
    if (lower.empty() || text.size() < lower.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + lower.size() <= text.size(); ++i) {
        if (Lower(text[i]) == lower[0] && EqualsLower(text.substr(i, lower.size()), lower))
            return i;
    }
    return std::string_view::npos;
}

// Elements an HTML parser keeps in the head; any other ends it.
bool BelongsInHead(std::string_view name)
{
    for (const char* kept : {"html", "head", "meta", "link", "base", "basefont", "bgsound", "title",
                             "style", "script", "noscript", "template", "noframes"}) {
        if (name == kept)
            return true;
    }
    return false;
}

// Elements whose content is text, not markup, up to their end tag.
bool HoldsRawText(std::string_view name)
{
    return name == "title" || name == "style" || name == "script" || name == "noscript" ||
           name == "template" || name == "noframes";
}

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

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// One spelling per byte: escapes of harmless bytes decoded, every other byte
// escaped with upper-case digits; escapes of "/", "?", "#" and "%" kept, as
// they mean something else unescaped.
std::string NormalizeEscapes(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            c = static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
            if (c != '/' && c != '?' && c != '#' && c != '%' && IsPathByte(c)) {
                out += static_cast<char>(c);
                continue;
            }
        } else if (IsPathByte(c) || c == '?') {
            out += static_cast<char>(c);
            continue;
        }
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

// Every complete %XX escape as its byte.
std::string Unescaped(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
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
        if (AsciiHost(Unescaped(host), ascii) == 0)
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

std::string DecodeCharacterReferences(std::string_view text)
{
    return DecodeReferences(text);
}

PageHead ScanHead(std::string_view text, bool cut)
{
    PageHead head;
    // UTF-16 (a byte-order mark, or a NUL in the first character) holds no
    // markup this reader sees.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
        text.substr(0, 2).find('\0') != std::string_view::npos) {
        head.whole = false;
        return head;
    }
    bool baseSeen = false;
    bool canonicalConflict = false;
    bool ended = false;  // something only a body holds was met
    const std::size_t n = text.size();
    std::size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    Tag tag;
    while (i < n) {
        if (IsSpace(text[i])) {
            ++i;
            continue;
        }
        if (text[i] != '<') {
            ended = true;  // text: the body has begun
            break;
        }
        if (i + 1 >= n)
            break;
        const char next = text[i + 1];
        if (text.substr(i, 4) == "<!--") {
            // "<!-->" and "<!--->" are complete (empty) comments.
            std::size_t close = text.substr(i + 4, 1) == ">" ? i + 2 : text.substr(i + 4, 2) == "->" ? i + 3 : text.find("-->", i + 4);
            if (close == std::string_view::npos)
                break;
            i = close + 3;
        } else if (next == '!' || next == '?') {
            const std::size_t close = text.find('>', i + 2);  // doctype, processing instruction
            if (close == std::string_view::npos)
                break;
            i = close + 1;
        } else if (next == '/') {
            std::size_t j = i + 2;
            while (j < n && IsAlpha(text[j]))
                ++j;
            const std::string_view name = text.substr(i + 2, j - i - 2);
            if (EqualsLower(name, "head") || EqualsLower(name, "body") || EqualsLower(name, "html")) {
                ended = true;
                break;
            }
            const std::size_t close = text.find('>', j);
            if (close == std::string_view::npos)
                break;
            i = close + 1;
        } else if (IsAlpha(next)) {
            std::size_t j = i + 1;
            std::string name;
            while (j < n && !IsSpace(text[j]) && text[j] != '/' && text[j] != '>') {
                name += Lower(text[j]);
                ++j;
            }
            if (j >= n)
                break;
            if (!BelongsInHead(name)) {
                ended = true;
                break;
            }
            i = j;
            if (!tag.parse(text, i))
                break;
            if (name == "meta") {
                const std::string who = DecodeReferences(tag.get("name"));
                const std::string content = DecodeReferences(tag.get("content"));
                if ((EqualsLower(Trim(who), "robots") || EqualsLower(Trim(who), "googlebot") ||
                     EqualsLower(Trim(who), "bingbot")) &&
                    (HasToken(content, "noindex") || HasToken(content, "none")))
                    head.noindex = true;
            } else if (name == "link") {
                bool hasHref = false;
                const std::string_view href = tag.get("href", &hasHref);
                if (hasHref && HasToken(tag.get("rel"), "canonical")) {
                    std::string decoded = DecodeReferences(Trim(href));
                    std::erase_if(decoded, [](char c) { return c == '\t' || c == '\n' || c == '\r'; });
                    if (!head.hasCanonical && !canonicalConflict) {
                        head.hasCanonical = true;
                        head.canonical = std::move(decoded);
                    } else if (head.hasCanonical && decoded != head.canonical) {
                        // Two different canonical URLs: search engines trust neither.
                        head.hasCanonical = false;
                        head.canonical.clear();
                        canonicalConflict = true;
                    }
                }
            } else if (name == "base" && !baseSeen) {
                bool hasHref = false;
                const std::string_view href = tag.get("href", &hasHref);
                if (hasHref) {
                    baseSeen = true;
                    head.base = DecodeReferences(Trim(href));
                }
            } else if (HoldsRawText(name)) {
                const std::size_t end = FindIgnoringCase(text, "</" + name, i);
                if (end == std::string_view::npos)
                    break;
                i = end;  // the end tag is skipped on the next turn
            }
        } else {
            ended = true;  // a "<" that starts no tag is text
            break;
        }
    }
    head.whole = ended || !cut;
    return head;
}

int ReadPageHead(const std::string& path, PageHead& head, std::string& buffer, std::string& error)
{
    head = PageHead();
    // One byte more tells whether the page goes on past the part read.
    if (platform::ReadFile(path, buffer, error, kHeadReadLimit + 1) != 0)
        return -1;
    head = ScanHead(std::string_view(buffer).substr(0, kHeadReadLimit), buffer.size() > kHeadReadLimit);
    return 0;
}

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
