// Which files of a walked tree become sitemap entries.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "options/options.h"
#include "scan/scan.h"
#include "select/glob.h"

namespace larkspur {

class PageSelection {
public:
    explicit PageSelection(const SitemapOptions& options);

    // A non-empty file with one of the chosen extensions that no exclusion
    // pattern leaves out, itself or through a folder above it.
    bool selects(const FileEntry& entry);
    // Whether a file of this name may be a page, by its extension alone:
    // the files whose size and time a walk for a sitemap needs.
    bool hasPageExtension(std::string_view name) const;

private:
    bool folderExcluded(const FileEntry& folder);

    bool m_defaultExtensions = true;
    std::vector<std::string> m_extensions;
    ExclusionList m_exclusions;
    // Files come folder by folder: the answer for their folder is kept.
    std::unordered_map<const FileEntry*, bool> m_folders;
    const FileEntry* m_folder = nullptr;
    bool m_folderExcluded = false;
    std::string m_folderPath;  // "a/b/", "" for the root
    std::string m_path;
};

}  // namespace larkspur
