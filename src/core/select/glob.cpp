#include "select/glob.h"

namespace larkspur {

namespace {

// Matches a "[...]" class at glob[0] against one byte; `length` receives the
// class's length, 0 when the class is not closed (then "[" is literal).
bool ClassMatches(std::string_view glob, unsigned char c, std::size_t& length)
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

bool Match(std::string_view glob, std::string_view text, bool atSegmentStart)
{
    while (!glob.empty()) {
        const char g = glob.front();
        if (g == '*') {
            const bool doubleStar = glob.size() >= 2 && glob[1] == '*' && atSegmentStart
                                 && (glob.size() == 2 || glob[2] == '/');
            if (doubleStar) {
                if (glob.size() == 2)
                    return true;  // "**" at the end: everything below
                const std::string_view rest = glob.substr(3);
                // Zero folders, or any number of whole ones.
                if (Match(rest, text, true))
                    return true;
                for (std::size_t i = 0; i < text.size(); ++i) {
                    if (text[i] == '/' && Match(rest, text.substr(i + 1), true))
                        return true;
                }
                return false;
            }
            while (!glob.empty() && glob.front() == '*')
                glob.remove_prefix(1);
            for (std::size_t i = 0;; ++i) {
                if (Match(glob, text.substr(i), false))
                    return true;
                if (i >= text.size() || text[i] == '/')
                    return false;
            }
        }
        if (text.empty())
            return false;
        const auto c = static_cast<unsigned char>(text.front());
        std::size_t length = 1;
        if (g == '?') {
            if (c == '/')
                return false;
        } else if (g == '[') {
            std::size_t classLength = 0;
            const bool in = ClassMatches(glob, c, classLength);
            if (classLength > 0) {
                if (!in || c == '/')
                    return false;
                length = classLength;
            } else if (c != '[') {
                return false;
            }
        } else if (g == '\\' && glob.size() > 1) {
            if (static_cast<unsigned char>(glob[1]) != c)
                return false;
            length = 2;
        } else if (static_cast<unsigned char>(g) != c) {
            return false;
        }
        atSegmentStart = c == '/';
        glob.remove_prefix(length);
        text.remove_prefix(1);
    }
    return text.empty();
}

}  // namespace

bool GlobMatch(std::string_view glob, std::string_view text)
{
    return Match(glob, text, true);
}

GlobPattern::GlobPattern(std::string_view text)
{
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
