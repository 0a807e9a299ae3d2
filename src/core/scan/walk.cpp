// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "walk.h"

#include <algorithm>
#include <unordered_set>

#include "lister.h"
#include "platform/listing.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace larkspur {

namespace {

// The walk: threads list folders (FolderLister), while the calling thread
// assembles the tree in the order a walk of one thread yields, listing the
// folders it needs itself when no thread has taken them yet. Listings do not
// depend on the way a folder was reached, so a folder is listed once, by its
// device and inode, whichever way in comes first; the tree takes it in by
// the first way in its own order.
//
// The assembly keeps its own stack of folders instead of recursing, so a
// tree of any depth fits in a thread's stack. Each folder on the stack keeps
// its listing until its last entry is taken, which yields the entries in the
// same pre-order as a recursive walk would.
class Walker {
public:
    Walker(ScanTree& tree, WalkError* error, WalkProgress progress, void* context, const WalkSettings& settings)
        : m_tree(tree), m_error(error), m_progress(progress), m_context(context),
          m_skipVersionControl(settings.skipVersionControl), m_lister(tree.root, settings)
    {
    }

    int walk(platform::Folder root, const platform::FolderId& id, FileEntry* rootEntry)
    {
        FolderNode& rootNode = m_lister.addRoot(std::move(root), id);
        m_walked.insert(id);
        m_lister.list(rootNode);
        if (rootNode.state == State::Failed)
            return fail(m_tree.root, rootNode.message);
        // The first report comes before any subfolder is listed: what it
        // changes in the tree, the walk sees as a walk of one thread would.
        if (enter(rootNode, rootEntry) != 0)
            return -1;
        m_lister.start();

        const std::function<int()> report = [this] { return this->report(); };
        while (!m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.next == frame.node->items.size()) {
                m_lister.release(*frame.node);
                m_stack.pop_back();
                if (report() != 0)
                    return cancel();
                continue;
            }
            FolderNode::Item& item = frame.node->items[frame.next++];
            const platform::DirEntry& listed = item.entry;
            const bool isDirectory = listed.kind == platform::EntryKind::Directory;
            // A second way into a folder (a link to it, a link back up, a
            // bind mount) would list its pages again, or without end.
            if (isDirectory && m_walked.count(listed.id) != 0)
                continue;
            if (isDirectory && m_skipVersionControl && IsVersionControlFolder(frame.node->nameOf(listed))) {
                ++m_tree.skippedVersionControl;
                continue;
            }

            const EntryType type = isDirectory ? EntryType::Directory : EntryType::File;
            FileEntry& child = m_tree.entries.emplace_back(frame.entry, m_tree.keepName(frame.node->nameOf(listed)),
                                                           listed.mtime, type, !isDirectory && listed.size == 0);
            if (!isDirectory)
                continue;

            FolderNode* node = item.node ? item.node : m_lister.claimant(listed.id);
            for (;;) {
                if (m_lister.await(*node, report) != 0)
                    return cancel();
                if (node->state != State::Dropped || node == item.node)
                    break;
                // Another way in met the folder first, and found it gone or
                // changed: this way may still lead to it.
                node = m_lister.reclaim(*frame.node, item);
            }
            if (node->state == State::Dropped) {
                // Removed, or replaced by a file or a link, since it was listed.
                m_tree.entries.pop_back();
                continue;
            }
            if (node->state == State::Failed)
                return fail(node->failedPath.empty() ? m_tree.fullPath(child) : node->failedPath, node->message);
            m_walked.insert(listed.id);
            if (enter(*node, &child) != 0)
                return -1;
        }
        return 0;
    }

    int fail(const std::string& path, const std::string& message)
    {
        m_lister.stop();
        if (m_error)
            *m_error = {path, message};
        return -1;
    }

private:
    using State = FolderNode::State;

    struct Frame {
        FolderNode* node = nullptr;
        FileEntry* entry = nullptr;
        std::size_t next = 0;
    };

    int enter(FolderNode& node, FileEntry* entry)
    {
        m_tree.skippedLinks += node.skippedLinks;
        m_stack.push_back({&node, entry, 0});
        return report() != 0 ? cancel() : 0;
    }

    int report() const { return m_progress ? m_progress(m_tree.entries.size(), m_context) : 0; }
    int cancel() { return fail(m_tree.root, "cancelled"); }

    ScanTree& m_tree;
    WalkError* m_error;
    WalkProgress m_progress;
    void* m_context;
    bool m_skipVersionControl;
    FolderLister m_lister;
    std::vector<Frame> m_stack;  // root first; the last one is being assembled
    std::unordered_set<platform::FolderId, FolderIdHash> m_walked;
};

}  // namespace

unsigned WalkThreads(unsigned jobs)
{
    // More threads than that only wait for the disk and for each other.
    constexpr unsigned kDefaultMax = 8;
    return jobs != 0 ? jobs : std::clamp(platform::ProcessorCount(), 1u, kDefaultMax);
}

int WalkTree(ScanTree& tree, const std::string& root, const std::string& base, WalkError* error,
             WalkProgress progress, void* progressContext, const WalkSettings& settings)
{
    tree.clear();
    if (root.empty() || !platform::IsDirectory(root)) {
        if (error)
            *error = {root, "not a folder"};
        return -1;
    }
    std::string message;
    if (platform::CanonicalPath(root, tree.root, message) != 0
        || (!base.empty() && platform::CanonicalPath(base, tree.base, message) != 0)) {
        if (error)
            *error = {base.empty() || !tree.root.empty() ? root : base, message};
        tree.clear();
        return -1;
    }

    platform::RaiseOpenFileLimit();
    Walker walker(tree, error, progress, progressContext, settings);
    platform::Folder folder;
    platform::DirEntry self;
    if (folder.open(tree.root, message) != 0 || folder.stat(self, message) != 0) {
        walker.fail(tree.root, message);
        tree.clear();
        return -1;
    }
    FileEntry& rootEntry =
        tree.entries.emplace_back(nullptr, tree.keepName("."), self.mtime, EntryType::Directory);
    if (walker.walk(std::move(folder), self.id, &rootEntry) != 0) {
        tree.clear();
        return -1;
    }
    tree.walked = true;
    return 0;
}

}  // namespace larkspur
