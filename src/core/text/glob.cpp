// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "text/glob.h"

namespace larkspur {

namespace {

// The POSIX classes a .gitignore understands, in ASCII whatever the locale.
constexpr struct {
    std::string_view name;
    bool (*holds)(unsigned char c);
} kPosixClasses[] = {
    {"alnum", [](unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }},
    {"alpha", [](unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }},
    {"blank", [](unsigned char c) { return c == ' ' || c == '\t'; }},
    {"cntrl", [](unsigned char c) { return c < 0x20 || c == 0x7F; }},
    {"digit", [](unsigned char c) { return c >= '0' && c <= '9'; }},
    {"graph", [](unsigned char c) { return c > 0x20 && c < 0x7F; }},
    {"lower", [](unsigned char c) { return c >= 'a' && c <= 'z'; }},
    {"print", [](unsigned char c) { return c >= 0x20 && c < 0x7F; }},
    {"punct", [](unsigned char c) {
         return c > 0x20 && c < 0x7F && !(c >= '0' && c <= '9') && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
     }},
    {"space", [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }},
    {"upper", [](unsigned char c) { return c >= 'A' && c <= 'Z'; }},
    {"xdigit", [](unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }},
};

// The length of a "[:name:]" at glob[i] inside a class, 0 when there is
// none there (as git reads it: up to the first "]", which ":" must precede);
// `name` receives the name.
std::size_t PosixClassAt(std::string_view glob, std::size_t i, std::string_view& name)
{
    if (glob.substr(i, 2) != "[:")
        return 0;
    const std::size_t close = glob.find(']', i + 2);
    if (close == std::string_view::npos || close < i + 3 || glob[close - 1] != ':')
        return 0;
    name = glob.substr(i + 2, close - 1 - (i + 2));
    return close + 1 - i;
}

// Matches a "[...]" class at glob[0] against one byte; `length` receives the
// class's length, 0 when the class is not closed (then "[" is literal).
// An unknown "[:name:]" matches nothing, as in git; `unknown` is set then.
bool ClassMatches(std::string_view glob, unsigned char c, std::size_t& length, bool* unknown = nullptr)
{
    std::size_t i = 1;
    bool negate = false;
    if (i < glob.size() && (glob[i] == '!' || glob[i] == '^')) {
        negate = true;
        ++i;
    }
    bool matched = false;
    bool first = true;
    for (; i < glob.size(); ++i) {
        auto low = static_cast<unsigned char>(glob[i]);
        if (low == ']' && !first) {
            length = i + 1;
            return matched != negate;
        }
        first = false;
        std::string_view className;
        if (const std::size_t classLength = PosixClassAt(glob, i, className); classLength > 0) {
            bool known = false;
            for (const auto& posix : kPosixClasses) {
                if (posix.name == className) {
                    known = true;
                    matched = matched || posix.holds(c);
                }
            }
            if (!known && unknown)
                *unknown = true;
            i += classLength - 1;
            continue;
        }
        if (low == '\\' && i + 1 < glob.size())
            low = static_cast<unsigned char>(glob[++i]);
        if (i + 2 < glob.size() && glob[i + 1] == '-' && glob[i + 2] != ']') {
            i += 2;
            auto high = static_cast<unsigned char>(glob[i]);
            if (high == '\\' && i + 1 < glob.size())
                high = static_cast<unsigned char>(glob[++i]);
            matched = matched || (c >= low && c <= high);
        } else {
            matched = matched || c == low;
        }
    }
    length = 0;
    return false;
}

// The length in the glob of the token at glob[g] when it matches the byte c,
// else 0. Only a literal "/" matches "/".
std::size_t TokenMatches(std::string_view glob, std::size_t g, unsigned char c)
{
    const char token = glob[g];
    if (token == '?')
        return c == '/' ? 0 : 1;
    if (token == '[') {
        std::size_t classLength = 0;
        const bool in = ClassMatches(glob.substr(g), c, classLength);
        if (classLength > 0)
            return in && c != '/' ? classLength : 0;
        return c == '[' ? 1 : 0;  // not closed: a literal "["
    }
    if (token == '\\' && g + 1 < glob.size())
        return static_cast<unsigned char>(glob[g + 1]) == c ? 2 : 0;
    return static_cast<unsigned char>(token) == c ? 1 : 0;
}

// Nothing but "/" crosses a "/", so each part of the glob between slashes
// matches one whole folder or file name, and "**/" a run of whole folders.
// Then only the last "*" and the last "**/" ever need to take more text on a
// mismatch (as in the usual wildcard matcher): the time stays near the
// product of the two lengths, where trying every split of every star grows
// as a power of the text's length.
bool Match(std::string_view glob, std::string_view text)
{
    constexpr std::size_t kNone = std::string_view::npos;
    std::size_t g = 0;
    std::size_t t = 0;
    std::size_t starGlob = kNone;  // the glob after the last "*" of this name
    std::size_t starText = 0;      // where the text it takes ends so far
    std::size_t deepGlob = kNone;  // the glob after the last "**/"
    std::size_t deepText = 0;      // where the folders it takes end so far
    bool atSegmentStart = true;
    for (;;) {
        if (g < glob.size() && glob[g] == '*') {
            const bool doubleStar = atSegmentStart && g + 1 < glob.size() && glob[g + 1] == '*'
                                 && (g + 2 == glob.size() || glob[g + 2] == '/');
            if (doubleStar) {
                if (g + 2 == glob.size())
                    return true;  // "**" at the end: everything below
                // Zero folders first, then one more at each mismatch.
                deepGlob = g = g + 3;
                deepText = t;
                starGlob = kNone;
                continue;
            }
            while (g < glob.size() && glob[g] == '*')
                ++g;
            starGlob = g;
            starText = t;
            atSegmentStart = false;
            continue;
        }
        if (t == text.size() && g == glob.size())
            return true;
        if (t < text.size() && g < glob.size()) {
            const auto c = static_cast<unsigned char>(text[t]);
            if (const std::size_t length = TokenMatches(glob, g, c); length > 0) {
                g += length;
                ++t;
                atSegmentStart = c == '/';
                if (atSegmentStart)
                    starGlob = kNone;  // the name before is matched for good
                continue;
            }
        }
        if (starGlob != kNone && starText < text.size() && text[starText] != '/') {
            t = ++starText;
            g = starGlob;
            atSegmentStart = false;
            continue;
        }
        if (deepGlob != kNone) {
            const std::size_t slash = text.find('/', deepText);
            if (slash == std::string_view::npos)
                return false;
            t = deepText = slash + 1;
            g = deepGlob;
            starGlob = kNone;
            atSegmentStart = true;
            continue;
        }
        return false;
    }
}

}  // namespace

bool GlobMatch(std::string_view glob, std::string_view text)
{
    return Match(glob, text);
}

std::string_view WithoutTrailingSpaces(std::string_view pattern)
{
    std::size_t end = 0;  // past the last byte that is not an unescaped space
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\' && i + 1 < pattern.size())
            end = ++i + 1;
        else if (pattern[i] != ' ')
            end = i + 1;
    }
    return pattern.substr(0, end);
}

int CheckGlobPattern(std::string_view pattern, std::string& error)
{
    for (const char c : pattern) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            error = "an exclude pattern may not hold a control character (a line break or a tab)";
            return -1;
        }
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            ++i;
        } else if (pattern[i] == '[') {
            std::size_t length = 0;
            bool unknown = false;
            ClassMatches(pattern.substr(i), 0, length, &unknown);
            if (unknown) {
                error = "the exclude pattern '" + std::string(pattern) + "' names a character class other than "
                        "[:alnum:], [:alpha:], [:blank:], [:cntrl:], [:digit:], [:graph:], [:lower:], [:print:], "
                        "[:punct:], [:space:], [:upper:] or [:xdigit:]";
                return -1;
            }
            i += length > 0 ? length - 1 : 0;
        }
    }
    return 0;
}

GlobPattern::GlobPattern(std::string_view text)
{
    text = WithoutTrailingSpaces(text);
    if (!text.empty() && text.front() == '!') {
        m_negated = true;
        text.remove_prefix(1);
    }
    if (!text.empty() && text.back() == '/') {
        m_folderOnly = true;
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '/') {
        m_anchored = true;
        text.remove_prefix(1);
    }
    m_anchored = m_anchored || text.find('/') != std::string_view::npos;
    m_never = text.empty();
    m_glob = text;
}

bool GlobPattern::matches(std::string_view path, bool isFolder) const
{
    if (m_never || (m_folderOnly && !isFolder))
        return false;
    if (m_anchored)
        return GlobMatch(m_glob, path);
    const auto slash = path.rfind('/');
    return GlobMatch(m_glob, slash == std::string_view::npos ? path : path.substr(slash + 1));
}

ExclusionList::ExclusionList(const std::vector<std::string>& patterns)
{
    m_patterns.reserve(patterns.size());
    for (const std::string& pattern : patterns)
        m_patterns.emplace_back(pattern);
}

bool ExclusionList::excludes(std::string_view path, bool isFolder) const
{
    bool excluded = false;
    for (const GlobPattern& pattern : m_patterns) {
        if (excluded == pattern.negated() && pattern.matches(path, isFolder))
            excluded = !pattern.negated();
    }
    return excluded;
}

}  // namespace larkspur
