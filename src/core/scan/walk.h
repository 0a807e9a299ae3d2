// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The walk of a site folder into a tree of file entries.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "tree.h"

namespace larkspur {

struct WalkError {
    std::string path;     // the folder or entry that failed
    std::string message;  // the system's text
};

// How a walk runs.
struct WalkSettings {
    // Threads that list folders: 0 for one per core (8 at most), 1 for a
    // walk on the calling thread alone. The tree comes out the same.
    unsigned jobs = 0;
    // When set, a plain file whose name it refuses is listed without a
    // status call where the system tells files from folders anyway: its
    // size and time read 0. For sitemaps, which need those of pages only.
    // Called on several threads at once.
    std::function<bool(std::string_view name)> statFile;
    // .git, .hg and .svn folders below the root are left out, never
    // listed (pages never lie there), and counted in the tree.
    bool skipVersionControl = false;
};

// The threads a walk with this `jobs` setting runs on.
unsigned WalkThreads(unsigned jobs);

// Called now and then during a walk with the number of entries found so far;
// a non-zero result cancels the walk.
using WalkProgress = int (*)(std::size_t entriesFound, void* context);

// Builds the tree of `root`. 0 on success; -1 when the root is not a folder,
// a folder cannot be listed, or the walk was cancelled, with the reason in
// `error` when given. On failure the tree is left empty and not walked.
// The progress is called on the calling thread.
int WalkTree(ScanTree& tree, const std::string& root, const std::string& base = {},
             WalkError* error = nullptr, WalkProgress progress = nullptr,
             void* progressContext = nullptr, const WalkSettings& settings = {});

}  // namespace larkspur
