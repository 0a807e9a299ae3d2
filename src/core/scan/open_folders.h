// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The folders a walk holds open so that their subfolders are opened through
// them, whatever the depth, within a budget of descriptors.
#pragma once

#include <cerrno>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "folder_node.h"

namespace larkspur {

class OpenFolders {
public:
    // `mutex` guards the nodes' shared fields; `root` is the walk's
    // canonical root, the way in again when every folder was let go.
    OpenFolders(std::mutex& mutex, const std::string& root, std::size_t budget)
        : m_mutex(mutex), m_root(root), m_budget(budget)
    {
    }

    // Opens the folder of `node`: State::Listing when it is open, Dropped
    // when it is gone or is no longer the folder that was listed, Failed.
    FolderNode::State open(FolderNode& node, platform::Folder& folder, std::string& message, int& errorNumber);
    // Keeps a folder open for its subfolders. Under the mutex.
    void keep(FolderNode& node, platform::Folder folder);
    // Closes the kept folder nearest the root that no thread is using;
    // false when there is none.
    bool letGo();
    // The rest of the process may hold descriptors too: running out of them
    // is a reason to let go of more folders, not to fail.
    static bool OutOfDescriptors(int errorNumber) { return errorNumber == EMFILE || errorNumber == ENFILE; }

private:
    const platform::Folder* use(FolderNode& node);
    void unuse(FolderNode& node);
    void done(FolderNode& parent, const FolderNode& child, const platform::Folder* used, platform::Folder reopened);
    void closeIfDone(FolderNode& node);
    bool letGoLocked();
    int reopen(FolderNode& target, platform::Folder& folder, FolderNode& failing, std::string& message);
    std::string nodePath(const FolderNode& node) const;

    std::mutex& m_mutex;
    const std::string& m_root;
    std::size_t m_budget;
    std::set<std::pair<std::size_t, FolderNode*>> m_kept;  // by depth
};

}  // namespace larkspur
