// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "lister.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

#include "platform/system.h"

namespace larkspur {

namespace {

// Linux lists a folder in no particular order; a sitemap must come out the
// same on every machine, so entries are sorted as Windows file systems list
// them: ASCII letters without regard to case, ties by plain bytes.
struct FoldTable {
    unsigned char upper[256];
    constexpr FoldTable() : upper()
    {
        for (int c = 0; c < 256; ++c)
            upper[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
};
constexpr FoldTable kFold;

bool ListingOrder(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = kFold.upper[pa[i]];
        const unsigned char cb = kFold.upper[pb[i]];
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// Half of what the process may open, so the rest of the program (the window,
// the writers) never finds itself without descriptors; every thread may hold
// three of them at a time besides the kept ones.
std::size_t KeepBudget(unsigned jobs)
{
    const std::size_t budget = std::max<std::size_t>(platform::OpenFileLimit() / 2, 4);
    return budget > 3 * std::size_t{jobs} + 1 ? budget - 3 * std::size_t{jobs} : 1;
}

}  // namespace

FolderLister::FolderLister(const std::string& root, const WalkSettings& settings)
    : m_statFile(settings.statFile ? &settings.statFile : nullptr),
      m_skipVersionControl(settings.skipVersionControl), m_workers(WalkThreads(settings.jobs) - 1),
      m_open(m_mutex, root, KeepBudget(m_workers + 1))
{
}

FolderNode& FolderLister::addRoot(platform::Folder folder, const platform::FolderId& id)
{
    FolderNode& root = m_nodes.emplace_back();
    root.id = id;
    root.folder = std::move(folder);
    root.state = State::Listing;
    m_claims.emplace(id, &root);
    return root;
}

void FolderLister::start()
{
    try {
        while (m_threads.size() < m_workers)
            m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
    }
}

void FolderLister::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_work.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
}

FolderNode* FolderLister::claimant(const platform::FolderId& id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_claims.at(id);
}

// A node for the subfolder `item` of `parent`, claiming its device and
// inode. Under the mutex.
FolderNode& FolderLister::claim(FolderNode& parent, FolderNode::Item& item, std::string_view name)
{
    FolderNode& node = m_nodes.emplace_back();
    node.parent = &parent;
    node.name = name;
    node.id = item.entry.id;
    node.depth = parent.depth + 1;
    node.throughLink = item.entry.isLink;
    m_claims[node.id] = &node;
    item.node = &node;
    return node;
}

FolderNode* FolderLister::reclaim(FolderNode& parent, FolderNode::Item& item)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return &claim(parent, item, parent.nameOf(item.entry));
}

int FolderLister::await(FolderNode& node, const std::function<int()>& report)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (node.state == State::Queued || node.state == State::Listing) {
        if (node.state == State::Queued) {
            node.state = State::Listing;
            if (!m_queue.empty() && m_queue.back() == &node)
                m_queue.pop_back();  // mostly there; elsewhere it is dropped later
            lock.unlock();
            list(node);
            lock.lock();
            continue;
        }
        if (listNext(lock, false))
            continue;
        // A slow folder (a network share) must not hold up a cancel.
        if (m_listed.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout) {
            lock.unlock();
            if (const int stop = report(); stop != 0)
                return stop;
            lock.lock();
        }
    }
    return 0;
}

void FolderLister::release(FolderNode& node)
{
    std::vector<FolderNode::Item> items = std::move(node.items);
    std::string().swap(node.names);
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool paused = m_backlog >= kBacklogMax;
    m_backlog -= items.size();
    if (paused && m_backlog < kBacklogMax)
        m_work.notify_all();
}

void FolderLister::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopped) {
        if (m_backlog >= kBacklogMax || !listNext(lock, true))
            m_work.wait(lock);
    }
}

// Lists a queued folder, the mutex let go meanwhile; false when there was
// none to take. Under the mutex.
bool FolderLister::listNext(std::unique_lock<std::mutex>& lock, bool leaveTop)
{
    FolderNode* next = takeQueued(leaveTop);
    if (!next)
        return false;
    lock.unlock();
    list(*next);
    lock.lock();
    return true;
}

// The folder listed next, from the stack's top, the first in the tree's
// order: the folder the assembly needs next. The threads leave that one to
// the assembly and take the one below, so that they list ahead of it instead
// of making it wait; a chain of single folders is then listed by the
// assembly alone, without a hand-over at every level. Folders the assembly
// took meanwhile are dropped on the way. Under the mutex.
FolderNode* FolderLister::takeQueued(bool leaveTop)
{
    while (!m_queue.empty() && m_queue.back()->state != State::Queued)
        m_queue.pop_back();
    FolderNode* top = nullptr;
    if (leaveTop && !m_queue.empty()) {
        top = m_queue.back();
        m_queue.pop_back();
    }
    FolderNode* taken = nullptr;
    while (!taken && !m_queue.empty()) {
        FolderNode* node = m_queue.back();
        m_queue.pop_back();
        if (node->state == State::Queued)
            taken = node;
    }
    if (top)
        m_queue.push_back(top);
    if (taken)
        taken->state = State::Listing;
    return taken;
}

void FolderLister::list(FolderNode& node)
{
    try {
        listFolder(node);
    } catch (const std::bad_alloc&) {
        finish(node, State::Failed, platform::SystemMessage(ENOMEM));
    }
}

void FolderLister::listFolder(FolderNode& node)
{
    platform::Folder folder;
    std::string message;
    int errorNumber = 0;
    const State opened = m_open.open(node, folder, message, errorNumber);
    if (opened != State::Listing)
        return finish(node, opened, message);
    platform::Listing listing;
    int listed = 0;
    while ((listed = folder.list(listing, message, &errorNumber, m_statFile)) != 0
           && OpenFolders::OutOfDescriptors(errorNumber) && m_open.letGo()) {
    }
    if (listed != 0)
        return finish(node, State::Failed, message);
    std::sort(listing.entries.begin(), listing.entries.end(),
              [&listing](const platform::DirEntry& a, const platform::DirEntry& b) {
                  return ListingOrder(listing.name(a), listing.name(b));
              });

    std::vector<FolderNode::Item> items;
    items.reserve(listing.entries.size());
    long long skippedLinks = 0;
    for (const platform::DirEntry& entry : listing.entries) {
        // Links of other users are not followed, since they could lead into
        // folders that are only the running user's to read.
        if (entry.foreignLink)
            ++skippedLinks;
        else if (entry.kind != platform::EntryKind::Other)
            items.push_back({entry, nullptr});
    }
    std::vector<platform::DirEntry>().swap(listing.entries);

    std::lock_guard<std::mutex> lock(m_mutex);
    for (FolderNode::Item& item : items) {
        // A folder the assembly leaves out is not listed for nothing.
        if (item.entry.kind != platform::EntryKind::Directory || m_claims.contains(item.entry.id)
            || (m_skipVersionControl && IsVersionControlFolder(listing.name(item.entry))))
            continue;
        claim(node, item, listing.name(item.entry)).countedByParent = true;
        ++node.waiting;
    }
    // The first subfolder on top.
    const std::size_t queued = m_queue.size();
    for (auto it = items.rbegin(); m_workers > 0 && it != items.rend(); ++it) {
        if (it->node)
            m_queue.push_back(it->node);
    }
    if (node.waiting > 0)
        m_open.keep(node, std::move(folder));
    node.items = std::move(items);
    node.names = std::move(listing.names);
    node.skippedLinks = skippedLinks;
    node.state = State::Listed;
    m_backlog += node.items.size();
    m_listed.notify_all();
    // A thread can take a folder once there are two.
    if (m_queue.size() > queued && m_queue.size() >= 2) {
        if (m_queue.size() - queued == 1)
            m_work.notify_one();
        else
            m_work.notify_all();
    }
}

void FolderLister::finish(FolderNode& node, State state, std::string message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    node.state = state;
    node.message = std::move(message);
    m_listed.notify_all();
}

}  // namespace larkspur
