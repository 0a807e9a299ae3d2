// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "scan.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/listing.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace larkspur {

namespace {

// Folders of git, Mercurial and Subversion: pages never lie there.
bool IsVersionControlFolder(std::string_view name)
{
    return name == ".git" || name == ".hg" || name == ".svn";
}


constexpr std::size_t kExtensionMax = 15;

char FoldCase(unsigned char c)
{
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

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

struct FolderIdHash {
    std::size_t operator()(const platform::FolderId& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cut to kExtensionMax bytes, and before a UTF-8 character the cut would
// split, so that a statistics line stays valid text. A name that is not
// UTF-8 is cut at the byte.
std::string_view CutExtension(std::string_view extension)
{
    if (extension.size() <= kExtensionMax || !IsContinuationByte(extension[kExtensionMax]))
        return extension.substr(0, kExtensionMax);
    std::size_t lead = kExtensionMax;
    while (lead > kExtensionMax - 3 && IsContinuationByte(extension[lead - 1]))
        --lead;
    --lead;
    const auto first = static_cast<unsigned char>(extension[lead]);
    const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return extension.substr(0, lead + length > kExtensionMax && first >= 0xC0 ? lead : kExtensionMax);
}

// Groups are found by their extension with ASCII letters in upper case.
std::string GroupKey(std::string_view extension)
{
    std::string key(extension);
    for (char& c : key)
        c = FoldCase(static_cast<unsigned char>(c));
    return key;
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

// The walk: threads list folders, taking them from a shared stack, while the
// calling thread assembles the tree in the order a walk of one thread
// yields, listing the folders it needs itself when no thread has taken them
// yet. Listings do not depend on the way a folder was reached, so a folder is
// listed once, by its device and inode, whichever way in comes first; the
// tree takes it in by the first way in its own order.
//
// The assembly keeps its own stack of folders instead of recursing, so a
// tree of any depth fits in a thread's stack. Each folder on the stack keeps
// its listing until its last entry is taken, which yields the entries in the
// same pre-order as a recursive walk would.
class Walker {
public:
    Walker(ScanTree& tree, WalkError* error, WalkProgress progress, void* context, const WalkSettings& settings)
        : m_tree(tree), m_error(error), m_progress(progress), m_context(context),
          m_statFile(settings.statFile ? &settings.statFile : nullptr)
    {
        const unsigned jobs = WalkThreads(settings.jobs);
        m_workers = jobs - 1;
        // Half of what the process may open, so the rest of the program
        // (the window, the writers) never finds itself without descriptors;
        // every thread may hold three of them at a time besides the kept ones.
        const std::size_t budget = std::max<std::size_t>(platform::OpenFileLimit() / 2, 4);
        m_keepBudget = budget > 3 * std::size_t{jobs} + 1 ? budget - 3 * std::size_t{jobs} : 1;
    }

    ~Walker() { stop(); }

    int walk(platform::Folder root, const platform::FolderId& id, FileEntry* rootEntry)
    {
        FolderNode& rootNode = m_nodes.emplace_back();
        rootNode.id = id;
        rootNode.folder = std::move(root);
        rootNode.state = FolderNode::State::Listing;
        m_claims.emplace(id, &rootNode);
        m_walked.insert(id);
        list(rootNode);
        if (rootNode.state == State::Failed)
            return fail(m_tree.root, rootNode.message);
        // The first report comes before any subfolder is listed: what it
        // changes in the tree, the walk sees as a walk of one thread would.
        if (enter(rootNode, rootEntry) != 0)
            return -1;
        startThreads();

        while (!m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.next == frame.node->items.size()) {
                leave();
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
            if (isDirectory && m_tree.skipVersionControl && IsVersionControlFolder(frame.node->nameOf(listed))) {
                ++m_tree.skippedVersionControl;
                continue;
            }

            FileEntry& child = m_tree.entries.emplace_back();
            child.parent = frame.entry;
            child.name = m_tree.keepName(frame.node->nameOf(listed));
            child.mtime = listed.mtime;
            child.type = isDirectory ? EntryType::Directory : EntryType::File;
            child.empty = !isDirectory && listed.size == 0;
            if (!isDirectory)
                continue;

            FolderNode* node = item.node ? item.node : claimant(listed.id);
            for (;;) {
                if (await(*node) != 0)
                    return cancel();
                if (node->state != FolderNode::State::Dropped)
                    break;
                if (node == item.node)
                    break;
                // Another way in met the folder first, and found it gone
                // or changed: this way may still lead to it.
                node = reclaim(*frame.node, item);
            }
            if (node->state == FolderNode::State::Dropped) {
                // Removed, or replaced by a file or a link, since it was listed.
                m_tree.entries.pop_back();
                continue;
            }
            if (node->state == FolderNode::State::Failed)
                return fail(node->failedPath.empty() ? m_tree.fullPath(child) : node->failedPath, node->message);
            m_walked.insert(listed.id);
            if (enter(*node, &child) != 0)
                return -1;
        }
        return 0;
    }

    int fail(const std::string& path, const std::string& message)
    {
        stop();
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

    // Entries listed ahead of the assembly at most before the threads wait:
    // they would only hold memory.
    static constexpr std::size_t kBacklogMax = std::size_t{1} << 14;

    // ----- the assembly, on the calling thread

    int enter(FolderNode& node, FileEntry* entry)
    {
        m_tree.skippedLinks += node.skippedLinks;
        m_stack.push_back({&node, entry, 0});
        return report() != 0 ? cancel() : 0;
    }

    void leave()
    {
        FolderNode& node = *m_stack.back().node;
        m_stack.pop_back();
        std::vector<FolderNode::Item> items = std::move(node.items);
        std::string().swap(node.names);
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool paused = m_backlog >= kBacklogMax;
        m_backlog -= items.size();
        if (paused && m_backlog < kBacklogMax)
            m_work.notify_all();
    }

    FolderNode* claimant(const platform::FolderId& id)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_claims.at(id);
    }

    // A node of its own for a way into a folder that another way failed to
    // open; listed by the assembly itself.
    FolderNode* reclaim(FolderNode& parent, FolderNode::Item& item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        FolderNode& node = m_nodes.emplace_back();
        node.parent = &parent;
        node.name = parent.nameOf(item.entry);
        node.id = item.entry.id;
        node.depth = parent.depth + 1;
        node.throughLink = item.entry.isLink;
        m_claims[node.id] = &node;
        item.node = &node;
        return &node;
    }

    // Until `node` is listed, or found gone or failed: lists it when no
    // thread has taken it yet, else other folders meanwhile. Non-zero when
    // the walk was cancelled while waiting.
    int await(FolderNode& node)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (node.state == State::Queued || node.state == State::Listing) {
            FolderNode* next = nullptr;
            if (node.state == State::Queued) {
                node.state = State::Listing;
                next = &node;
                if (!m_queue.empty() && m_queue.back() == &node)
                    m_queue.pop_back();  // mostly there; elsewhere it is dropped later
            } else {
                next = takeQueued(false);
            }
            if (next) {
                lock.unlock();
                list(*next);
                lock.lock();
                continue;
            }
            // A slow folder (a network share) must not hold up a cancel.
            if (m_listed.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout) {
                lock.unlock();
                if (report() != 0)
                    return -1;
                lock.lock();
            }
        }
        return 0;
    }

    int report() const { return m_progress ? m_progress(m_tree.entries.size(), m_context) : 0; }
    int cancel() { return fail(m_tree.root, "cancelled"); }

    void stop()
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

    // ----- listing, on any thread

    // Where no thread can be started (a limit on processes), the assembly
    // lists every folder itself.
    void startThreads()
    {
        try {
            while (m_threads.size() < m_workers)
                m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
        }
    }

    void work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stopped) {
            FolderNode* next = m_backlog < kBacklogMax ? takeQueued(true) : nullptr;
            if (!next) {
                m_work.wait(lock);
                continue;
            }
            lock.unlock();
            list(*next);
            lock.lock();
        }
    }

    // The folder listed next, from the stack's top, the first in the tree's
    // order: the folder the assembly needs next. The threads leave that one
    // to the assembly and take the one below, so that they list ahead of it
    // instead of making it wait; a chain of single folders is then listed
    // by the assembly alone, without a hand-over at every level. Folders the
    // assembly took meanwhile are dropped on the way. Under the mutex.
    FolderNode* takeQueued(bool leaveTop)
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

    // Opens, lists and sorts a folder the caller marked Listing, and queues
    // the subfolders it is the first to meet.
    void list(FolderNode& node)
    {
        try {
            listFolder(node);
        } catch (const std::bad_alloc&) {
            finish(node, State::Failed, platform::SystemMessage(ENOMEM));
        }
    }

    void listFolder(FolderNode& node)
    {
        platform::Folder folder;
        std::string message;
        int errorNumber = 0;
        const State opened = open(node, folder, message, errorNumber);
        if (opened != State::Listing)
            return finish(node, opened, message);
        platform::Listing listing;
        int listed = 0;
        while ((listed = folder.list(listing, message, &errorNumber, m_statFile)) != 0
               && OutOfDescriptors(errorNumber) && letGo()) {
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
            // Links of other users are not followed, since they could lead
            // into folders that are only the running user's to read.
            if (entry.isLink && !platform::IsTrustedOwner(entry.linkOwner))
                ++skippedLinks;
            else if (entry.kind != platform::EntryKind::Other)
                items.push_back({entry, nullptr});
        }
        std::vector<platform::DirEntry>().swap(listing.entries);

        std::lock_guard<std::mutex> lock(m_mutex);
        for (FolderNode::Item& item : items) {
            if (item.entry.kind != platform::EntryKind::Directory)
                continue;
            auto [claim, first] = m_claims.try_emplace(item.entry.id, nullptr);
            if (!first)
                continue;
            FolderNode& child = m_nodes.emplace_back();
            child.parent = &node;
            child.name = listing.name(item.entry);
            child.id = item.entry.id;
            child.depth = node.depth + 1;
            child.throughLink = item.entry.isLink;
            child.countedByParent = true;
            claim->second = &child;
            item.node = &child;
            ++node.waiting;
        }
        // The first subfolder on top.
        const std::size_t queued = m_queue.size();
        for (auto it = items.rbegin(); m_workers > 0 && it != items.rend(); ++it) {
            if (it->node)
                m_queue.push_back(it->node);
        }
        if (node.waiting > 0)
            keep(node, std::move(folder));
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

    void finish(FolderNode& node, State state, std::string message)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        node.state = state;
        node.message = std::move(message);
        m_listed.notify_all();
    }

    // Opens the folder of `node`: State::Listing when it is open, Dropped
    // when it is gone or is no longer the folder that was listed, Failed.
    State open(FolderNode& node, platform::Folder& folder, std::string& message, int& errorNumber)
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
            // A link may have been replaced since it was listed (by
            // another user's link, or one back up): check that what was
            // opened is the folder the listing saw.
            platform::DirEntry self;
            if (folder.stat(self, message) != 0)
                return State::Failed;
            if (self.id != node.id)
                return State::Dropped;
        }
        return State::Listing;
    }

    // The kept folder of `node`, marked in use; null when it was let go.
    const platform::Folder* use(FolderNode& node)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!node.folder.isOpen())
            return nullptr;
        ++node.users;
        return &node.folder;
    }

    void unuse(FolderNode& node)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --node.users;
        closeIfDone(node);
    }

    // `child` has been opened through `parent` (`used`: its kept folder, or
    // `reopened`); the parent is closed when no other subfolder needs it.
    void done(FolderNode& parent, const FolderNode& child, const platform::Folder* used, platform::Folder reopened)
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
    void closeIfDone(FolderNode& node)
    {
        if (node.waiting == 0 && node.users == 0 && node.folder.isOpen()) {
            node.folder = platform::Folder();
            m_kept.erase({node.depth, &node});
        }
    }

    // Keeps a folder open for its subfolders. Past the budget the folders
    // nearest the root are let go first: the stack reaches their subfolders
    // last. Under the mutex.
    void keep(FolderNode& node, platform::Folder folder)
    {
        while (m_kept.size() >= m_keepBudget && letGoLocked()) {
        }
        if (m_kept.size() >= m_keepBudget)
            return;
        node.folder = std::move(folder);
        m_kept.insert({node.depth, &node});
    }

    bool letGo()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return letGoLocked();
    }

    // Closes the kept folder nearest the root that no thread is using.
    bool letGoLocked()
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

    // Opens `target` again, a folder that was let go, down from its nearest
    // kept ancestor or else from the root, checking every folder on the way
    // is still the one that was listed. On failure the path that failed
    // goes to `failing`.
    int reopen(FolderNode& target, platform::Folder& folder, FolderNode& failing, std::string& message)
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
            if (current.open(m_tree.root, message) != 0 || current.stat(self, message) != 0) {
                failing.failedPath = m_tree.root;
                return -1;
            }
            if (self.id != chain.back()->id) {
                failing.failedPath = m_tree.root;
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

    std::string nodePath(const FolderNode& node) const
    {
        std::vector<const std::string*> names;
        for (const FolderNode* n = &node; n->parent; n = n->parent)
            names.push_back(&n->name);
        std::string path = m_tree.root;
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            if (path.empty() || path.back() != '/')
                path += '/';
            path += **it;
        }
        return path;
    }

    // The rest of the process may hold descriptors too: running out of them
    // is a reason to let go of more folders, not to fail.
    static bool OutOfDescriptors(int errorNumber) { return errorNumber == EMFILE || errorNumber == ENFILE; }

    ScanTree& m_tree;
    WalkError* m_error;
    WalkProgress m_progress;
    void* m_context;
    const std::function<bool(std::string_view name)>* m_statFile;
    unsigned m_workers = 0;
    std::size_t m_keepBudget = 1;  // folders kept open for their subfolders

    // The assembly's own.
    std::vector<Frame> m_stack;  // root first; the last one is being assembled
    std::unordered_set<platform::FolderId, FolderIdHash> m_walked;

    // Shared by the threads, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_work;    // to the threads: a folder to list, or the end
    std::condition_variable m_listed;  // to the assembly: a folder listed
    std::deque<FolderNode> m_nodes;
    std::vector<FolderNode*> m_queue;  // folders to list, the next on top
    std::unordered_map<platform::FolderId, FolderNode*, FolderIdHash> m_claims;
    std::set<std::pair<std::size_t, FolderNode*>> m_kept;
    std::size_t m_backlog = 0;  // entries listed and not yet assembled
    bool m_stopped = false;
    std::vector<std::thread> m_threads;
};

void ClearTree(ScanTree& tree)
{
    tree.walked = false;
    tree.root.clear();
    tree.base.clear();
    tree.skippedLinks = 0;
    tree.skippedVersionControl = 0;
    std::deque<FileEntry>().swap(tree.entries);
    std::vector<std::string>().swap(tree.names);
}

}  // namespace

unsigned WalkThreads(unsigned jobs)
{
    // More threads than that only wait for the disk and for each other.
    constexpr unsigned kDefaultMax = 8;
    return jobs != 0 ? jobs : std::clamp(platform::ProcessorCount(), 1u, kDefaultMax);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Extension(std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return CutExtension(name.substr(dot));
}

void PathSegments(const FileEntry& entry, std::vector<const std::string_view*>& segments)
{
    segments.clear();
    for (const FileEntry* e = &entry; e && e->parent; e = e->parent)
        segments.push_back(&e->name);
    std::reverse(segments.begin(), segments.end());
}

std::string RelativePath(const FileEntry& entry)
{
    if (!entry.parent)
        return "/.";
    std::vector<const std::string_view*> segments;
    PathSegments(entry, segments);
    std::string path;
    for (const std::string_view* segment : segments) {
        path += '/';
        path += *segment;
    }
    return path;
}

std::string_view ScanTree::keepName(std::string_view name)
{
    // Blocks are filled, never grown: the names already kept stay where
    // their entries point.
    constexpr std::size_t kBlock = std::size_t{64} << 10;
    if (names.empty() || names.back().capacity() - names.back().size() < name.size())
        names.emplace_back().reserve(std::max(kBlock, name.size()));
    std::string& block = names.back();
    const std::size_t at = block.size();
    block.append(name);
    return {block.data() + at, name.size()};
}

std::string ScanTree::fullPath(const FileEntry& entry) const
{
    if (!entry.parent)
        return root;
    std::string relative = RelativePath(entry);
    if (!root.empty() && root.back() == '/')
        relative.erase(0, 1);
    return root + relative;
}

int WalkTree(ScanTree& tree, const std::string& root, const std::string& base, WalkError* error,
             WalkProgress progress, void* progressContext, const WalkSettings& settings)
{
    ClearTree(tree);
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
        ClearTree(tree);
        return -1;
    }

    platform::RaiseOpenFileLimit();
    Walker walker(tree, error, progress, progressContext, settings);
    platform::Folder folder;
    platform::DirEntry self;
    if (folder.open(tree.root, message) != 0 || folder.stat(self, message) != 0) {
        walker.fail(tree.root, message);
        ClearTree(tree);
        return -1;
    }
    FileEntry& rootEntry = tree.entries.emplace_back();
    rootEntry.name = tree.keepName(".");
    rootEntry.type = EntryType::Directory;
    rootEntry.mtime = self.mtime;
    if (walker.walk(std::move(folder), self.id, &rootEntry) != 0) {
        ClearTree(tree);
        return -1;
    }
    tree.walked = true;
    return 0;
}

int EnumerateTree(const ScanTree& tree, Visitor visitor, void* context)
{
    if (!tree.walked || !visitor)
        return -1;
    for (const FileEntry& entry : tree.entries) {
        if (visitor(entry, context) != 0)
            return -1;
    }
    return 0;
}

int AddGroup(ScanResult& scan, std::string_view extension)
{
    extension = CutExtension(extension);
    scan.groupIndex.emplace(GroupKey(extension), scan.groups.size());
    scan.groups.push_back({std::string(extension), 1});
    return 0;
}

int CountFiles(const FileEntry& entry, void* context)
{
    if (entry.isDirectory())
        return 0;
    auto& scan = *static_cast<ScanResult*>(context);
    ++scan.fileTotal;
    if (entry.empty)
        ++scan.emptyCount;
    if (scan.groupIndex.size() != scan.groups.size()) {
        // Groups made without AddGroup: index them first.
        scan.groupIndex.clear();
        for (std::size_t i = 0; i < scan.groups.size(); ++i)
            scan.groupIndex.emplace(GroupKey(scan.groups[i].extension), i);
    }
    const std::string_view extension = Extension(entry.name);
    const auto found = scan.groupIndex.find(GroupKey(extension));
    if (found != scan.groupIndex.end()) {
        ++scan.groups[found->second].count;
        return 0;
    }
    return AddGroup(scan, extension);
}

void ReleaseScan(ScanResult& scan)
{
    scan.fileTotal = 0;
    scan.emptyCount = 0;
    std::vector<ExtensionGroup>().swap(scan.groups);
    std::unordered_map<std::string, std::size_t>().swap(scan.groupIndex);
    ClearTree(scan.tree);
}

int WalkAndCount(ScanResult& scan, const std::string& root, WalkError* error, WalkProgress progress,
                 void* progressContext, const WalkSettings& settings)
{
    ReleaseScan(scan);
    if (WalkTree(scan.tree, root, {}, error, progress, progressContext, settings) != 0)
        return -1;
    if (EnumerateTree(scan.tree, CountFiles, &scan) != 0) {
        ReleaseScan(scan);
        if (error)
            *error = {root, "out of memory"};
        return -1;
    }
    return 0;
}

bool IsPageExtension(std::string_view extension)
{
    return EqualsIgnoringCase(extension, ".html") || EqualsIgnoringCase(extension, ".htm");
}

bool IsSitemapEntry(const FileEntry& entry)
{
    return !entry.isDirectory() && !entry.empty && IsPageExtension(Extension(entry.name));
}

std::vector<StatLine> StatisticsLines(const ScanResult& scan, const std::vector<std::string>& pageExtensions)
{
    std::vector<StatLine> lines;
    lines.reserve(scan.groups.size() + 2);
    lines.push_back({"file totally: " + std::to_string(scan.fileTotal), false, false, {}});
    lines.push_back({"empty files: " + std::to_string(scan.emptyCount), false, false, {}});
    for (const ExtensionGroup& group : scan.groups) {
        // A file name may hold control bytes (a line break, say); shown as
        // "?", so that each statistic stays on one line.
        std::string shown = group.extension;
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = '?';
        }
        const bool pages = std::any_of(pageExtensions.begin(), pageExtensions.end(), [&](const std::string& wanted) {
            return group.extension.size() == wanted.size() + 1 &&
                   EqualsIgnoringCase(std::string_view(group.extension).substr(1), wanted);
        });
        lines.push_back({shown + " files: " + std::to_string(group.count), pages, true,
                         group.extension.empty() ? std::string() : group.extension.substr(1)});
    }
    if (scan.tree.skippedVersionControl > 0)
        lines.push_back({"version-control folders left out: " + std::to_string(scan.tree.skippedVersionControl),
                         false, false, {}});
    return lines;
}

}  // namespace larkspur
