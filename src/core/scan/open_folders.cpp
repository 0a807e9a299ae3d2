// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "open_folders.h"

#include <vector>

namespace larkspur {

using State = FolderNode::State;

State OpenFolders::open(FolderNode& node, platform::Folder& folder, std::string& message, int& errorNumber)
{
    if (!node.parent) {
        folder = std::move(node.folder);  // the root, opened by the caller
        return State::Listing;
    }
    FolderNode& parent = *node.parent;
    platform::Folder reopened;  // the parent, when it was let go
    const platform::Folder* from = use(parent);
    if (!from) {
        if (reopen(parent, reopened, node, message) != 0) {
            done(parent, node, nullptr, std::move(reopened));
            return State::Failed;
        }
        from = &reopened;
    }
    int result = 0;
    while ((result = from->openChild(node.name, folder, message, &errorNumber, node.throughLink)) != 0
           && OutOfDescriptors(errorNumber) && letGo()) {
    }
    done(parent, node, from == &reopened ? nullptr : from, std::move(reopened));
    if (result != 0)
        return errorNumber == ENOENT || errorNumber == ENOTDIR || errorNumber == ELOOP ? State::Dropped
                                                                                        : State::Failed;
    if (node.throughLink) {
        // A link may have been replaced since it was listed (by another
        // user's link, or one back up): check that what was opened is the
        // folder the listing saw.
        platform::DirEntry self;
        if (folder.stat(self, message) != 0)
            return State::Failed;
        if (self.id != node.id)
            return State::Dropped;
    }
    return State::Listing;
}

// The kept folder of `node`, marked in use; null when it was let go.
const platform::Folder* OpenFolders::use(FolderNode& node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!node.folder.isOpen())
        return nullptr;
    ++node.users;
    return &node.folder;
}

void OpenFolders::unuse(FolderNode& node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    --node.users;
    closeIfDone(node);
}

// `child` has been opened through `parent` (`used`: its kept folder, or
// `reopened`); the parent is closed when no other subfolder needs it.
void OpenFolders::done(FolderNode& parent, const FolderNode& child, const platform::Folder* used,
                       platform::Folder reopened)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (used)
        --parent.users;
    if (child.countedByParent)
        --parent.waiting;
    if (reopened.isOpen() && !parent.folder.isOpen() && parent.waiting > 0)
        keep(parent, std::move(reopened));  // for its other subfolders
    closeIfDone(parent);
}

// Under the mutex.
void OpenFolders::closeIfDone(FolderNode& node)
{
    if (node.waiting == 0 && node.users == 0 && node.folder.isOpen()) {
        node.folder = platform::Folder();
        m_kept.erase({node.depth, &node});
    }
}

// Past the budget the folders nearest the root are let go first: the stack
// reaches their subfolders last.
void OpenFolders::keep(FolderNode& node, platform::Folder folder)
{
    while (m_kept.size() >= m_budget && letGoLocked()) {
    }
    if (m_kept.size() >= m_budget)
        return;
    node.folder = std::move(folder);
    m_kept.insert({node.depth, &node});
}

bool OpenFolders::letGo()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return letGoLocked();
}

bool OpenFolders::letGoLocked()
{
    for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
        FolderNode& node = *it->second;
        if (node.users == 0) {
            node.folder = platform::Folder();
            m_kept.erase(it);
            return true;
        }
    }
    return false;
}

// Opens `target` again, a folder that was let go, down from its nearest kept
// ancestor or else from the root, checking every folder on the way is still
// the one that was listed. On failure the path that failed goes to `failing`.
int OpenFolders::reopen(FolderNode& target, platform::Folder& folder, FolderNode& failing, std::string& message)
{
    std::vector<FolderNode*> chain;  // target first
    FolderNode* base = nullptr;
    const platform::Folder* at = nullptr;
    for (FolderNode* node = &target; node; node = node->parent) {
        if (node != &target && (at = use(*node)) != nullptr) {
            base = node;
            break;
        }
        chain.push_back(node);
    }
    platform::Folder current;
    std::size_t level = chain.size();
    if (!base) {
        // Not even the root is open: from its path.
        --level;
        platform::DirEntry self;
        if (current.open(m_root, message) != 0 || current.stat(self, message) != 0) {
            failing.failedPath = m_root;
            return -1;
        }
        if (self.id != chain.back()->id) {
            failing.failedPath = m_root;
            message = "moved while it was walked";
            return -1;
        }
    }
    int result = 0;
    while (level > 0) {
        FolderNode& next = *chain[--level];
        const platform::Folder& from = current.isOpen() ? current : *at;
        platform::Folder opened;
        platform::DirEntry self;
        int errorNumber = 0;
        while ((result = from.openChild(next.name, opened, message, &errorNumber, next.throughLink)) != 0
               && OutOfDescriptors(errorNumber) && letGo()) {
        }
        if (result == 0 && (result = opened.stat(self, message)) == 0 && self.id != next.id) {
            message = "moved while it was walked";
            result = -1;
        }
        if (result != 0) {
            failing.failedPath = nodePath(next);
            break;
        }
        current = std::move(opened);
    }
    if (base)
        unuse(*base);
    if (result == 0)
        folder = std::move(current);
    return result;
}

std::string OpenFolders::nodePath(const FolderNode& node) const
{
    std::vector<const std::string*> names;
    for (const FolderNode* n = &node; n->parent; n = n->parent)
        names.push_back(&n->name);
    std::string path = m_root;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (path.empty() || path.back() != '/')
            path += '/';
        path += **it;
    }
    return path;
}

}  // namespace larkspur
