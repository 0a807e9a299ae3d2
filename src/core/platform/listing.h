// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Open folders and their listings, as a walk reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur::platform {

enum class EntryKind : std::uint8_t { File, Directory, Other };

// Identity of a folder on disk, used to notice a link that leads back into a
// folder that is already being listed.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

// One entry of a folder listing, with the status of what it names. A link
// is followed only when it and every link on its way belong to a trusted
// owner (CheckLinkChain): a link that someone else planted, in the site or
// beyond a link of ours, must not lead the walk into folders only the
// running user may read. Any other link comes with kind Other. An entry
// that is no link costs a single status call.
struct DirEntry {
    std::uint32_t nameOffset = 0;  // in the names of its listing
    std::uint16_t nameLength = 0;
    EntryKind kind = EntryKind::Other;
    bool isLink = false;     // the fields below then describe the link's target
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // seconds since 1970-01-01 UTC
    FolderId id;             // meaningful for directories only
    bool foreignLink = false;  // a link of an untrusted owner, or one leading through such a link: not followed
};

// A folder's entries, their names in one block rather than one string each.
struct Listing {
    std::vector<DirEntry> entries;
    std::string names;

    std::string_view name(const DirEntry& entry) const { return {names.data() + entry.nameOffset, entry.nameLength}; }
};

// An open folder. Children are opened relative to it, so a tree deeper than
// the system's path limit can still be walked.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // 0 on success, -1 with a system message in `error`.
    int open(const std::string& path, std::string& error);
    // `errorNumber`, when given, receives the system's error code on failure.
    // Without `followLink` a link in the child's place is not opened (ELOOP).
    int openChild(const std::string& name, Folder& child, std::string& error,
                  int* errorNumber = nullptr, bool followLink = true) const;

    // Every entry except "." and "..", in the order the system returns them.
    // Entries whose status cannot be read (dangling link, removed meanwhile)
    // are left out.
    // `errorNumber` as for openChild. Where the listing itself tells what an
    // entry is, a plain file whose name `statFile` refuses, and a pipe,
    // socket or device, cost no status call: their size and time read 0.
    int list(Listing& listing, std::string& error, int* errorNumber = nullptr,
             const std::function<bool(std::string_view name)>* statFile = nullptr) const;

    // Status of the folder itself.
    int stat(DirEntry& self, std::string& error) const;
    // ReadFile for a file of this folder, opened by its name: no path
    // walked from the root for each of many files. A link in its place is
    // followed as a walk follows links (CheckLinkChain). `error` holds the
    // system's message alone.
    int readFile(const std::string& name, std::string& contents, std::string& error,
                 std::size_t limit = static_cast<std::size_t>(-1)) const;

    bool isOpen() const { return m_handle >= 0; }

private:
    int m_handle = -1;
};

// A walk holds one open folder per level as far as it can: lets the process
// have as many open files as the system allows it. Does its work on the
// first call only.
void RaiseOpenFileLimit();
// How many files the process may have open now.
std::size_t OpenFileLimit();

}  // namespace larkspur::platform
