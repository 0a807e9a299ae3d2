#include "select/selection.h"

namespace larkspur {

namespace {

// "a/b/" for a folder, "" for the root.
std::string FolderPath(const FileEntry& folder)
{
    std::vector<const std::string*> segments;
    PathSegments(folder, segments);
    std::string path;
    for (const std::string* segment : segments)
        path.append(*segment).append("/");
    return path;
}

}  // namespace

PageSelection::PageSelection(const SitemapOptions& options)
    : m_defaultExtensions(options.extensions == SitemapOptions{}.extensions),
      m_extensions(options.extensions),
      m_exclusions(options.exclude)
{
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

bool PageSelection::folderExcluded(const FileEntry& folder)
{
    if (!folder.parent)
        return false;  // the site folder itself
    const auto known = m_folders.find(&folder);
    if (known != m_folders.end())
        return known->second;
    std::string path = FolderPath(folder);
    path.pop_back();
    const bool excluded = folderExcluded(*folder.parent) || m_exclusions.excludes(path, true);
    m_folders.emplace(&folder, excluded);
    return excluded;
}

bool PageSelection::selects(const FileEntry& entry)
{
    if (entry.isDirectory() || entry.empty || !hasPageExtension(entry.name))
        return false;
    if (m_exclusions.empty() || !entry.parent)
        return true;
    if (entry.parent != m_folder) {
        m_folder = entry.parent;
        m_folderExcluded = folderExcluded(*entry.parent);
        m_folderPath = FolderPath(*entry.parent);
    }
    if (m_folderExcluded)
        return false;
    m_path.assign(m_folderPath).append(entry.name);
    return !m_exclusions.excludes(m_path, false);
}

}  // namespace larkspur
