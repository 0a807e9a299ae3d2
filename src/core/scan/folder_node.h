// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// A folder as the walk's threads list it: how it was reached, its listing,
// and the descriptor kept open for its subfolders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/listing.h"

namespace larkspur {

// Folders of git, Mercurial and Subversion: pages never lie there.
inline bool IsVersionControlFolder(std::string_view name)
{
    return name == ".git" || name == ".hg" || name == ".svn";
}

// A folder the walk lists, as it was first met: by its parent's listing, or
// for the root by the walk itself. Listed by whichever thread comes first;
// the fields after `throughLink` are guarded by the walk's mutex.
struct FolderNode {
    enum class State : std::uint8_t { Queued, Listing, Listed, Dropped, Failed };
    struct Item {
        platform::DirEntry entry;
        FolderNode* node = nullptr;  // a subfolder this listing was the first to meet
    };

    FolderNode* parent = nullptr;
    std::string name;
    platform::FolderId id;
    std::size_t depth = 0;
    bool throughLink = false;
    bool countedByParent = false;  // in parent->waiting

    State state = State::Queued;
    std::vector<Item> items;  // in listing order, once Listed
    std::string names;        // theirs
    std::string_view nameOf(const platform::DirEntry& entry) const
    {
        return {names.data() + entry.nameOffset, entry.nameLength};
    }
    long long skippedLinks = 0;
    std::string failedPath;  // when Failed further up than the node itself
    std::string message;
    // Kept open while subfolders wait to be opened through it.
    platform::Folder folder;
    std::size_t waiting = 0;  // subfolders still to open through `folder`
    std::size_t users = 0;    // threads opening one of them right now
};

}  // namespace larkspur
