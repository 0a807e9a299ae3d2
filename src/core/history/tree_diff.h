// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Which of the pages still sought differ between two site trees.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "history/tree_reader.h"

namespace larkspur::history {

// The pages whose dates are still sought, by path relative to the site
// folder, and how many of them each folder holds ("a/", "a/b/"): a
// comparison of two commits looks only inside folders that hold one, so the
// long tail of a history, read for a few old pages, costs few tree reads.
class Wanted {
public:
    // The keys are views of `paths`, which outlive this.
    explicit Wanted(const std::vector<std::string>& paths) : m_paths(paths) {}

    void add(std::size_t page)
    {
        pages.emplace(m_paths[page], page);
        count(page, 1);
    }
    void found(std::size_t page) { count(page, -1); }
    bool holdsAny(std::string_view folder) const
    {
        const auto found = m_folders.find(folder);
        return found != m_folders.end() && found->second > 0;
    }

    std::unordered_map<std::string_view, std::size_t> pages;  // to their index in the request

private:
    void count(std::size_t page, long step)
    {
        const std::string_view path = m_paths[page];
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/', slash + 1))
            m_folders[path.substr(0, slash + 1)] += step;
    }

    const std::vector<std::string>& m_paths;
    std::unordered_map<std::string_view, long> m_folders;
};

// The wanted pages that differ between two site trees (either may be none:
// an empty folder), as indexes. The entry lists of both trees are walked side
// by side in git's order; folders with the same id are equal without a
// look inside. Subfolders wait on a stack of their own, not the call stack:
// a history may hold folders nested many thousands deep.
int ChangedPages(Trees& trees, const Wanted& wanted, const SiteTree& before, const SiteTree& after,
                 std::vector<std::size_t>& changed);

}  // namespace larkspur::history
