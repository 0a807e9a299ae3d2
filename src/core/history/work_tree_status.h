// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The pages the index or the work tree changed since the checked-out commit.
#pragma once

#include <string>
#include <unordered_set>

namespace larkspur::history {

// The paths below the site folder, relative to it, whose content in the
// index or the work tree is not the checked-out commit's.
struct WorkTreeChanges {
    int result = 0;
    std::string error;
    std::unordered_set<std::string> paths;
};

// Run beside the walk of the history, on a handle of its own on the
// repository (libgit2 handles are not shared between threads): it reads the
// index and a file status for every page, which took a sixth of the time.
WorkTreeChanges ChangedSinceCommit(const std::string& site, const std::string& prefix);

}  // namespace larkspur::history
