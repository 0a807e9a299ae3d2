// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Patterns that leave pages out, written as in a .gitignore file, so that a
// site owner can reuse the rules their repository already has.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// Shell-style match of a whole text: "*" and "?" never match "/", "[...]"
// is a class ("[!...]" or "[^...]" negated, "a-z" ranges, POSIX classes
// such as "[:digit:]" in ASCII), "\" makes the next byte literal, and "**"
// between slashes (or at either end) matches any number of folders.
bool GlobMatch(std::string_view glob, std::string_view text);

// A pattern without the spaces it ends in, but for one escaped with "\".
std::string_view WithoutTrailingSpaces(std::string_view pattern);
// -1 with the reason for a pattern no site owner means: one holding a
// control character (a line break), or an unknown "[:class:]".
int CheckGlobPattern(std::string_view pattern, std::string& error);

// One pattern, its trailing spaces dropped unless escaped. Without a "/"
// (other than a final one) it matches a name at any depth; otherwise it is anchored at the site folder. A final "/" makes
// it match folders only; a leading "!" re-includes what earlier patterns
// left out (but not below a folder that is left out).
class GlobPattern {
public:
    explicit GlobPattern(std::string_view text);

    // `path` is relative to the site folder, "/"-separated, without a
    // leading "/".
    bool matches(std::string_view path, bool isFolder) const;
    bool negated() const { return m_negated; }

private:
    std::string m_glob;
    bool m_anchored = false;
    bool m_folderOnly = false;
    bool m_negated = false;
    bool m_never = false;  // a blank pattern
};

class ExclusionList {
public:
    ExclusionList() = default;
    explicit ExclusionList(const std::vector<std::string>& patterns);

    bool empty() const { return m_patterns.empty(); }
    // Whether this entry itself is left out by the patterns, the last match
    // deciding; a caller checks the folders above it first.
    bool excludes(std::string_view path, bool isFolder) const;

private:
    std::vector<GlobPattern> m_patterns;
};

}  // namespace larkspur
