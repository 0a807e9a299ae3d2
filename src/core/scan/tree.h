// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The tree a walk yields: its entries in pre-order, their names kept in
// blocks, and what is derived from an entry (its path, its extension).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

enum class EntryType : std::uint8_t { Directory = 1, File = 2 };

// One file or folder of a walked tree. Kept small (24 bytes), since a site
// can have millions: paths are derived from the parent chain when they are
// needed instead of being stored per entry, names are kept by the tree one
// after another in blocks, and the time, the name's length and the flags
// share one word.
class FileEntry {
public:
    FileEntry() = default;
    // Names longer than a file system allows (255 bytes on most) are cut at
    // 65,535 bytes, and times beyond a million years either side of 1970
    // are held at that bound. The name must outlive the entry.
    FileEntry(const FileEntry* parent, std::string_view name, std::int64_t mtime, EntryType type,
              bool empty = false)
        : parent(parent),
          m_name(name.data()),
          m_mtime(std::clamp(mtime, -kMtimeMax, kMtimeMax)),
          m_nameLength(std::min(name.size(), kNameMax)),
          m_directory(type == EntryType::Directory),
          m_empty(empty)
    {
    }

    const FileEntry* parent = nullptr;  // null for the root

    std::string_view name() const { return {m_name, m_nameLength}; }  // "." for the root
    std::int64_t mtime() const { return m_mtime; }  // last write, seconds since 1970 UTC
    bool isDirectory() const { return m_directory; }
    bool empty() const { return m_empty; }  // a file of zero bytes

private:
    static constexpr std::size_t kNameMax = 0xFFFF;
    static constexpr std::int64_t kMtimeMax = (std::int64_t{1} << 45) - 1;

    const char* m_name = ".";
    std::int64_t m_mtime : 46 = 0;
    std::uint64_t m_nameLength : 16 = 1;
    std::uint64_t m_directory : 1 = 0;
    std::uint64_t m_empty : 1 = 0;
};
static_assert(sizeof(FileEntry) <= 24);

// Text after the last "." of a name, dot included, cut to 15 bytes (fewer
// where the cut would split a UTF-8 character); empty when the name holds no
// dot.
std::string_view Extension(std::string_view name);

// "/docs/a.htm" for a nested file, "/." for the root.
std::string RelativePath(const FileEntry& entry);
// Path segments from the root down to the entry, the root itself excluded.
void PathSegments(const FileEntry& entry, std::vector<std::string_view>& segments);

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

// ".htm" or ".html" in any case: the files that become sitemap entries.
bool IsPageExtension(std::string_view extension);

}  // namespace larkspur
