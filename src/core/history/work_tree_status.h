// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The pages the checked-out commit holds, and those the index or the work
// tree changed since.
#pragma once

#include <future>
#include <string>
#include <unordered_set>
#include <vector>

#include <git2.h>

#include "history/tree_reader.h"

namespace larkspur::history {

struct CheckedOutPages {
    int result = 0;
    std::string error;
    std::vector<Found> found;  // for each page
};

// The paths below the site folder, relative to it, whose content in the
// index or the work tree is not the checked-out commit's.
struct WorkTreeChanges {
    int result = 0;
    std::string error;
    std::unordered_set<std::string> paths;
};

// Run beside the walk of the history, on a handle of its own on the
// repository (libgit2 handles are not shared between threads). It reads
// every folder of `headTree`, the site folder in the checked-out commit,
// that holds one of `pages` (paths below the site folder, whose own path in
// the repository is `prefix`), and hands over which it holds through
// `held`; then the index and a file status for every page: a fifth and a
// sixth of the time of the walk.
WorkTreeChanges CompareWithCheckedOut(const std::string& site, const std::string& prefix, SiteTree headTree,
                                      const std::vector<std::string>& pages, std::promise<CheckedOutPages>& held);

}  // namespace larkspur::history
