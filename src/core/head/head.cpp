// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "head/head.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/read_file.h"
#include "text/text.h"

namespace larkspur {

namespace {

using namespace ascii;

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
            while (j < rest.size() && rest[j] == '0')
                ++j;  // leading zeros, any number of them, add nothing
            for (const std::size_t significant = j; j < rest.size() && j < significant + 8; ++j) {
                const char c = rest[j];
                const int digit = hex ? HexValue(c) : c >= '0' && c <= '9' ? c - '0' : -1;
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

// Where a comment starting at `at` ("<!--") ends: past "-->" or "--!>";
// "<!-->" and "<!--->" are complete (empty) comments.
std::size_t CommentEnd(std::string_view text, std::size_t at)
{
    if (text.substr(at + 4, 1) == ">")
        return at + 5;
    if (text.substr(at + 4, 2) == "->")
        return at + 6;
    for (std::size_t dashes = text.find("--", at + 4); dashes != std::string_view::npos;
         dashes = text.find("--", dashes + 1)) {
        if (text.substr(dashes + 2, 1) == ">")
            return dashes + 3;
        if (text.substr(dashes + 2, 2) == "!>")
            return dashes + 4;
    }
    return std::string_view::npos;
}

// Where the end tag of a raw text element begins: "</script" followed by
// what ends a tag name, not "</scripts".
std::size_t RawTextEnd(std::string_view text, const std::string& name, std::size_t from)
{
    const std::string endTag = "</" + name;
    for (std::size_t end = FindIgnoringCase(text, endTag, from); end != std::string_view::npos;
         end = FindIgnoringCase(text, endTag, end + 1)) {
        const std::size_t after = end + endTag.size();
        if (after == text.size() || IsSpace(text[after]) || text[after] == '/' || text[after] == '>')
            return end;
    }
    return std::string_view::npos;
}

// A page with more canonical links than this, all spelled differently.
constexpr std::size_t kMaxCanonicalSpellings = 8;

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
    bool afterHead = false;  // "</head>" was met: a parser still puts head elements into it
    bool ended = false;      // something only a body holds was met
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
            const std::size_t end = CommentEnd(text, i);
            if (end == std::string_view::npos)
                break;
            i = end;
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
            if (EqualsLower(name, "body") || EqualsLower(name, "html")) {
                ended = true;
                break;
            }
            afterHead = afterHead || EqualsLower(name, "head");
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
            if (!BelongsInHead(name) || (afterHead && name == "noscript")) {
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
                    std::vector<std::string>& others = head.otherCanonicals;
                    if (!head.hasCanonical && !canonicalConflict) {
                        head.hasCanonical = true;
                        head.canonical = std::move(decoded);
                    } else if (head.hasCanonical && decoded != head.canonical
                               && std::find(others.begin(), others.end(), decoded) == others.end()) {
                        // More spellings than one URL plausibly has: a conflict.
                        if (others.size() == kMaxCanonicalSpellings) {
                            head.hasCanonical = false;
                            head.canonical.clear();
                            others.clear();
                            canonicalConflict = true;
                        } else {
                            others.push_back(std::move(decoded));
                        }
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
                const std::size_t end = RawTextEnd(text, name, i);
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
    if (platform::ReadFile(path, buffer, error, kHeadReadLimit + 1) != 0)
        return -1;
    head = ScanPageStart(buffer);
    return 0;
}

PageHead ScanPageStart(std::string_view start)
{
    return ScanHead(start.substr(0, kHeadReadLimit), start.size() > kHeadReadLimit);
}


}  // namespace larkspur
