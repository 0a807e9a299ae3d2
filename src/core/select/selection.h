// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Which files of a walked tree become sitemap entries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "options/options.h"
#include "scan/scan.h"
#include "text/glob.h"

namespace larkspur {

// Whether `name` is a file the sitemap STEM.EXT (`extension` with its dot)
// writes: itself, a part STEMn.EXT, or the index STEM-index.xml of a text
// sitemap's parts; plain or compressed.
bool IsSitemapFile(std::string_view name, std::string_view stem, std::string_view extension);

class PageSelection {
public:
    explicit PageSelection(const SitemapOptions& options);

    // A non-empty file with one of the chosen extensions that no exclusion
    // pattern leaves out, itself or through a folder above it. Entries are
    // best given in the walk's order, folders included: each folder is then
    // decided once, from its parent.
    bool selects(const FileEntry& entry);
    // Whether a file of this name may be a page, by its extension alone:
    // the files whose size and time a walk for a sitemap needs.
    bool hasPageExtension(std::string_view name) const;

private:
    struct Exclusion {
        GlobPattern pattern;
        // A pattern that can only match the last names of a path gets only
        // those (a name at any depth, "**/a/b"), so that deep trees cost
        // no more per entry; 0 for the whole path.
        std::size_t lastNames = 0;
    };
    // A folder from the root down to the one whose files come now.
    struct Level {
        const FileEntry* folder;
        std::size_t pathLength;  // of its "a/b/" in m_path
        bool excluded;
    };

    bool excludes(std::string_view path, bool isFolder) const;
    const Level& reach(const FileEntry& folder);
    void push(const FileEntry& folder);

    bool m_defaultExtensions = true;
    std::vector<std::string> m_extensions;
    std::vector<Exclusion> m_exclusions;
    std::vector<Level> m_levels;
    std::string m_path;  // "a/b/" of the last level, and the name being decided
};

}  // namespace larkspur
