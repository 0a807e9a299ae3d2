// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The per-extension statistics of a walked tree, and the walk that makes
// them: what the window and `stats` show.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tree.h"
#include "walk.h"

namespace larkspur {

struct ExtensionGroup {
    std::string extension;  // spelt as the first file found with it
    long long count = 0;
};

struct ScanResult {
    long long fileTotal = 0;
    long long emptyCount = 0;
    std::vector<ExtensionGroup> groups;  // in order of first appearance
    // Group position by extension in upper case, so that counting is not
    // slowed by the number of groups.
    std::unordered_map<std::string, std::size_t> groupIndex;
    ScanTree tree;
};

// The statistics visitor; context is the ScanResult.
int CountFiles(const FileEntry& entry, void* context);
// Frees the tree and the groups; the project is no longer walked.
void ReleaseScan(ScanResult& scan);

// Walks `root` into `scan` and counts it: the whole "walk the path" command
// below the window. The scan is released first.
int WalkAndCount(ScanResult& scan, const std::string& root, WalkError* error = nullptr,
                 WalkProgress progress = nullptr, void* progressContext = nullptr,
                 const WalkSettings& settings = {});

struct StatLine {
    std::string text;
    bool checked = false;
    bool enabled = true;
    std::string extension;  // a group's, without the dot; empty on the totals
};
// "file totally: N", "empty files: N", then "EXT files: N" per group, those
// of the page extensions (without the dot, any case) checked; last, when the
// walk left any out, "version-control folders left out: N".
std::vector<StatLine> StatisticsLines(const ScanResult& scan,
                                      const std::vector<std::string>& pageExtensions = {"html", "htm"});

}  // namespace larkspur
