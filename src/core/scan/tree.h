// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The tree a walk yields: its entries in pre-order, their names kept in
// blocks, and what is derived from an entry (its path, its extension).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

enum class EntryType : std::uint8_t { Directory = 1, File = 2 };

// One file or folder of a walked tree. Kept small (40 bytes): paths are
// derived from the parent chain when they are needed instead of being stored
// per entry, and names are kept by the tree, one after another in blocks.
struct FileEntry {
    const FileEntry* parent = nullptr;  // null for the root
    std::string_view name;              // "." for the root
    std::int64_t mtime = 0;             // last write, seconds since 1970 UTC
    EntryType type = EntryType::File;
    bool empty = false;                 // a file of zero bytes

    bool isDirectory() const { return type == EntryType::Directory; }
};

// Text after the last "." of a name, dot included, cut to 15 bytes (fewer
// where the cut would split a UTF-8 character); empty when the name holds no
// dot.
std::string_view Extension(std::string_view name);
// An extension cut as Extension cuts it.
std::string_view CutExtension(std::string_view extension);

// "/docs/a.htm" for a nested file, "/." for the root.
std::string RelativePath(const FileEntry& entry);
// Path segments from the root down to the entry, the root itself excluded.
void PathSegments(const FileEntry& entry, std::vector<const std::string_view*>& segments);

struct ScanTree {
    bool walked = false;
    std::string root;        // canonical root folder
    std::string base;        // canonical second path; empty in this program
    // Entries in pre-order: the root first, then each folder's content right
    // after the folder. A deque keeps parent pointers valid while it grows.
    std::deque<FileEntry> entries;
    // The entries' names, one after another in blocks that never move.
    std::vector<std::string> names;
    // Links of other users met on the way: not followed, since they could
    // lead into folders that are only the running user's to read.
    long long skippedLinks = 0;
    // .git, .hg and .svn folders below the root left out by a walk that
    // was asked to (WalkSettings::skipVersionControl).
    long long skippedVersionControl = 0;

    const FileEntry* rootEntry() const { return entries.empty() ? nullptr : &entries.front(); }
    std::string fullPath(const FileEntry& entry) const;
    // A copy of `name` in the tree's blocks, for an entry's name.
    std::string_view keepName(std::string_view name);
    // Empty and not walked.
    void clear();
};

// Visits every entry in pre-order. A visitor returns 0 to go on and anything
// else to stop. 0 when all visits returned 0; -1 otherwise, and also when the
// tree is not walked or no visitor is given.
using Visitor = int (*)(const FileEntry& entry, void* context);
int EnumerateTree(const ScanTree& tree, Visitor visitor, void* context);

// Equal when ASCII letters are compared without regard to case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// ".htm" or ".html" in any case: the files that become sitemap entries.
bool IsPageExtension(std::string_view extension);

}  // namespace larkspur
