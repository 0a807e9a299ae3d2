// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "select/selection.h"

#include <algorithm>

#include "text/text.h"

namespace larkspur {

namespace {

// How many names at the end of a path a pattern can match, as GlobPattern
// reads it: one for a name at any depth, those after a leading "**/" when
// nothing else in it can span folders; else 0, the whole path.
std::size_t LastNames(std::string_view text)
{
    if (!text.empty() && text.front() == '!')
        text.remove_prefix(1);
    if (!text.empty() && text.back() == '/')
        text.remove_suffix(1);
    const bool rooted = !text.empty() && text.front() == '/';
    if (!rooted && text.find('/') == std::string_view::npos)
        return 1;
    if (rooted || text.substr(0, 3) != "**/")
        return 0;
    text.remove_prefix(3);
    // A class or an escape may hold a "/" that is no separator.
    if (text.find("**") != std::string_view::npos || text.find_first_of("[\\") != std::string_view::npos)
        return 0;
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '/')) + 1;
}

// The last `names` names of a path, or all of it for 0.
std::string_view LastNamesOf(std::string_view path, std::size_t names)
{
    if (names == 0)
        return path;
    std::size_t start = path.size();
    while (names-- > 0) {
        const auto slash = path.rfind('/', start == 0 ? 0 : start - 1);
        if (slash == std::string_view::npos || start == 0)
            return path;
        start = slash;
    }
    return path.substr(start + 1);
}

// The names of the sitemaps Larkspur writes into a site folder.
bool IsSitemapName(std::string_view name)
{
    for (const std::string_view extension : {".xml", ".txt", ".csv"}) {
        if (IsSitemapFile(name, "sitemap", extension))
            return true;
    }
    return false;
}

}  // namespace

bool IsSitemapFile(std::string_view name, std::string_view stem, std::string_view extension)
{
    if (name.ends_with(".gz"))
        name.remove_suffix(3);
    if (!name.starts_with(stem))
        return false;
    name.remove_prefix(stem.size());
    if (name == "-index.xml")
        return true;
    while (!name.empty() && name.front() >= '0' && name.front() <= '9')
        name.remove_prefix(1);
    return name == extension;
}

PageSelection::PageSelection(const SitemapOptions& options)
    : m_defaultExtensions(options.extensions == SitemapOptions{}.extensions),
      m_extensions(options.extensions)
{
    for (const std::string& pattern : options.exclude)
        m_exclusions.push_back({GlobPattern(pattern), LastNames(pattern)});
}

bool PageSelection::hasPageExtension(std::string_view name) const
{
    if (m_defaultExtensions)
        return IsPageExtension(Extension(name));
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view extension = name.substr(dot + 1);
    for (const std::string& wanted : m_extensions) {
        if (EqualsIgnoringCase(extension, wanted))
            return true;
    }
    return false;
}

// As ExclusionList: the last pattern that matches decides.
bool PageSelection::excludes(std::string_view path, bool isFolder) const
{
    bool excluded = false;
    for (const Exclusion& exclusion : m_exclusions) {
        if (excluded == exclusion.pattern.negated()
            && exclusion.pattern.matches(LastNamesOf(path, exclusion.lastNames), isFolder))
            excluded = !exclusion.pattern.negated();
    }
    return excluded;
}

void PageSelection::push(const FileEntry& folder)
{
    if (!folder.parent) {
        m_levels.push_back({&folder, 0, false});  // the site folder itself
        m_path.clear();
        return;
    }
    const Level& parent = m_levels.back();
    m_path.resize(parent.pathLength);
    m_path += folder.name();
    const bool excluded = parent.excluded || excludes(m_path, true);
    m_path += '/';
    m_levels.push_back({&folder, m_path.size(), excluded});
}

// Makes `folder` the last level. In the walk's order it is on the stack
// already, or a new child of a folder on it; otherwise the levels are built
// again from the root.
const PageSelection::Level& PageSelection::reach(const FileEntry& folder)
{
    while (!m_levels.empty() && m_levels.back().folder != &folder && m_levels.back().folder != folder.parent)
        m_levels.pop_back();
    if (m_levels.empty()) {
        std::vector<const FileEntry*> chain;
        for (const FileEntry* at = &folder; at; at = at->parent)
            chain.push_back(at);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            push(**it);
    } else if (m_levels.back().folder != &folder) {
        push(folder);
    }
    return m_levels.back();
}

bool PageSelection::selects(const FileEntry& entry)
{
    if (entry.isDirectory()) {
        if (!m_exclusions.empty())
            reach(entry);
        return false;
    }
    if (entry.empty() || !hasPageExtension(entry.name()))
        return false;
    // Extensions that take in XML or text files would list the sitemaps
    // themselves, and each run's sitemap would differ from the last.
    if (!m_defaultExtensions && entry.parent && !entry.parent->parent && IsSitemapName(entry.name()))
        return false;
    if (m_exclusions.empty() || !entry.parent)
        return true;
    const Level& folder = reach(*entry.parent);
    if (folder.excluded)
        return false;
    m_path.resize(folder.pathLength);
    m_path += entry.name();
    return !excludes(m_path, false);
}

}  // namespace larkspur
