// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The walk of a site folder into a tree of file entries, and the per-extension
// statistics drawn from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
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
    // Set before the walk: .git, .hg and .svn folders below the root are
    // left out (pages never lie there), and counted.
    bool skipVersionControl = false;
    long long skippedVersionControl = 0;

    const FileEntry* rootEntry() const { return entries.empty() ? nullptr : &entries.front(); }
    std::string fullPath(const FileEntry& entry) const;
    // A copy of `name` in the tree's blocks, for an entry's name.
    std::string_view keepName(std::string_view name);
};

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

// Visits every entry in pre-order. A visitor returns 0 to go on and anything
// else to stop. 0 when all visits returned 0; -1 otherwise, and also when the
// tree is not walked or no visitor is given.
using Visitor = int (*)(const FileEntry& entry, void* context);
int EnumerateTree(const ScanTree& tree, Visitor visitor, void* context);

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

// Appends a new group of count 1.
int AddGroup(ScanResult& scan, std::string_view extension);
// The statistics visitor; context is the ScanResult.
int CountFiles(const FileEntry& entry, void* context);
// Frees the tree and the groups; the project is no longer walked.
void ReleaseScan(ScanResult& scan);

// Walks `root` into `scan` and counts it: the whole "walk the path" command
// below the window. The scan is released first.
int WalkAndCount(ScanResult& scan, const std::string& root, WalkError* error = nullptr,
                 WalkProgress progress = nullptr, void* progressContext = nullptr,
                 const WalkSettings& settings = {});

// Equal when ASCII letters are compared without regard to case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// ".htm" or ".html" in any case: the files that become sitemap entries.
bool IsPageExtension(std::string_view extension);
// A non-empty page file.
bool IsSitemapEntry(const FileEntry& entry);

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
