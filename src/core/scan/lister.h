// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The pool of threads that lists folders ahead of the walk's assembly,
// taking them from a shared stack, each folder once by device and inode.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "folder_node.h"
#include "open_folders.h"
#include "walk.h"

namespace larkspur {

struct FolderIdHash {
    std::size_t operator()(const platform::FolderId& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

class FolderLister {
public:
    // `root`: the walk's canonical root, kept by the caller meanwhile.
    FolderLister(const std::string& root, const WalkSettings& settings);
    ~FolderLister() { stop(); }
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // The node of the root, opened by the caller, claimed and marked
    // Listing: the caller lists it next.
    FolderNode& addRoot(platform::Folder folder, const platform::FolderId& id);
    // Opens, lists and sorts a folder the caller marked Listing, and queues
    // the subfolders it is the first to meet.
    void list(FolderNode& node);
    // Where no thread can be started (a limit on processes), the assembly
    // lists every folder itself.
    void start();
    void stop();

    // ----- for the assembly
    // The node that claimed the folder `id`.
    FolderNode* claimant(const platform::FolderId& id);
    // A node of its own for a way into a folder that another way failed to
    // open; listed by the assembly itself.
    FolderNode* reclaim(FolderNode& parent, FolderNode::Item& item);
    // Until `node` is listed, or found gone or failed: lists it when no
    // thread has taken it yet, else other folders meanwhile. `report` is
    // called while waiting long; non-zero from it, returned, ends the wait.
    int await(FolderNode& node, const std::function<int()>& report);
    // The assembly has taken every entry of `node`: its listing goes.
    void release(FolderNode& node);

private:
    using State = FolderNode::State;

    // Entries listed ahead of the assembly at most before the threads wait:
    // they would only hold memory.
    static constexpr std::size_t kBacklogMax = std::size_t{1} << 14;

    void work();
    bool listNext(std::unique_lock<std::mutex>& lock, bool leaveTop);
    FolderNode* takeQueued(bool leaveTop);
    FolderNode& claim(FolderNode& parent, FolderNode::Item& item, std::string_view name);
    void listFolder(FolderNode& node);
    void finish(FolderNode& node, State state, std::string message);

    const std::function<bool(std::string_view name)>* m_statFile;
    bool m_skipVersionControl;
    unsigned m_workers = 0;

    // Shared by the threads, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_work;    // to the threads: a folder to list, or the end
    std::condition_variable m_listed;  // to the assembly: a folder listed
    std::deque<FolderNode> m_nodes;
    std::vector<FolderNode*> m_queue;  // folders to list, the next on top
    std::unordered_map<platform::FolderId, FolderNode*, FolderIdHash> m_claims;
    std::size_t m_backlog = 0;  // entries listed and not yet assembled
    bool m_stopped = false;
    OpenFolders m_open;
    std::vector<std::thread> m_threads;
};

}  // namespace larkspur
