// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/history.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <queue>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <git2.h>

#include "platform/paths.h"

namespace larkspur {

namespace {

std::string GitMessage(const char* what)
{
    const git_error* last = git_error_last();
    return std::string(what) + ": " + (last && last->message ? last->message : "unknown error");
}

struct Library {
    Library()
    {
        git_libgit2_init();
        // libgit2's object cache held up to 256 MiB of objects, and as much
        // again in parsed trees: a long history grew the process past 600
        // MiB. Bounded, it is slower still: once full, every addition evicts
        // by scanning its table. The walk keeps the few trees it reads again
        // itself (Trees below), so the cache is left off.
        git_libgit2_opts(GIT_OPT_ENABLE_CACHING, 0);
        // As git log does, objects are trusted to be what the pack says;
        // hashing every tree again took a sixth of the walk.
        git_libgit2_opts(GIT_OPT_ENABLE_STRICT_HASH_VERIFICATION, 0);
    }
    ~Library() { git_libgit2_shutdown(); }
};

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* object) const { Free(object); }
};
using Repository = std::unique_ptr<git_repository, Deleter<git_repository, git_repository_free>>;
using Commit = std::unique_ptr<git_commit, Deleter<git_commit, git_commit_free>>;
using Odb = std::unique_ptr<git_odb, Deleter<git_odb, git_odb_free>>;
using OdbObject = std::unique_ptr<git_odb_object, Deleter<git_odb_object, git_odb_object_free>>;
using StatusList = std::unique_ptr<git_status_list, Deleter<git_status_list, git_status_list_free>>;

struct OidHash {
    std::size_t operator()(const git_oid& id) const
    {
        std::size_t hash;  // an object id is already evenly spread
        std::memcpy(&hash, id.id, sizeof hash);
        return hash;
    }
};
struct OidEqual {
    bool operator()(const git_oid& a, const git_oid& b) const { return git_oid_equal(&a, &b); }
};

// A site folder's tree by its id; none when a commit has no such folder (it
// then counts as empty).
using SiteTree = std::optional<git_oid>;

// One entry of a tree object, read where it is stored. Trees are read as git
// stores them, "<octal mode> <name>\0<id>" one after the other, not through
// git_tree_lookup: parsing every entry of every tree into libgit2's own form
// (its modes through strtol) took a quarter of the walk, and most entries
// are only compared with their counterpart byte for byte.
struct Entry {
    std::string_view name;
    unsigned mode = 0;
    const git_oid* id = nullptr;

    bool folder() const { return (mode & 0170000) == 0040000; }
    bool submodule() const { return (mode & 0170000) == 0160000; }
    // The mode as libgit2 gives it (git_tree_entry_filemode): old trees
    // may say 100664 where git now writes 100644.
    unsigned filemode() const
    {
        if (folder())
            return GIT_FILEMODE_TREE;
        if (mode & 0100)
            return GIT_FILEMODE_BLOB_EXECUTABLE;
        if ((mode & 0170000) == GIT_FILEMODE_COMMIT)
            return GIT_FILEMODE_COMMIT;
        if ((mode & 0170000) == GIT_FILEMODE_LINK)
            return GIT_FILEMODE_LINK;
        return GIT_FILEMODE_BLOB;
    }
};

// git's order of entries: by name, a folder's name as if "/" followed it.
int CompareEntries(const Entry& a, const Entry& b)
{
    const std::size_t common = std::min(a.name.size(), b.name.size());
    if (const int order = std::memcmp(a.name.data(), b.name.data(), common))
        return order;
    const auto next = [common](const Entry& e) -> unsigned char {
        return common < e.name.size() ? static_cast<unsigned char>(e.name[common]) : e.folder() ? '/' : '\0';
    };
    const unsigned char x = next(a);
    const unsigned char y = next(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

// The entries of one tree object in their order; none for no tree.
class Entries {
public:
    Entries() = default;
    explicit Entries(git_odb_object* tree)
        : m_at(static_cast<const char*>(git_odb_object_data(tree))), m_end(m_at + git_odb_object_size(tree))
    {
    }

    // False at the end, and on an entry that is not well formed (bad()).
    bool next(Entry& entry)
    {
        if (m_at == m_end)
            return false;
        const char* at = m_at;
        unsigned mode = 0;
        for (; at != m_end && *at >= '0' && *at <= '7' && mode <= 0xFFFF; ++at)
            mode = mode * 8 + static_cast<unsigned>(*at - '0');
        if (at == m_at || at == m_end || *at != ' ' || mode > 0xFFFF)
            return fail();
        ++at;
        const char* end = static_cast<const char*>(std::memchr(at, '\0', static_cast<std::size_t>(m_end - at)));
        if (!end || end == at || m_end - end - 1 < GIT_OID_RAWSZ)
            return fail();
        entry.name = std::string_view(at, static_cast<std::size_t>(end - at));
        entry.mode = mode;
        entry.id = reinterpret_cast<const git_oid*>(end + 1);
        m_at = end + 1 + GIT_OID_RAWSZ;
        return true;
    }
    bool bad() const { return m_bad; }
    // Where the next entry starts, and where the tree ends.
    const char* at() const { return m_at; }
    const char* end() const { return m_end; }
    void skipTo(const char* at) { m_at = at; }

private:
    bool fail()
    {
        git_error_set_str(GIT_ERROR_OBJECT, "a tree in the history is not well formed");
        m_bad = true;
        m_at = m_end;
        return false;
    }

    const char* m_at = nullptr;
    const char* m_end = nullptr;
    bool m_bad = false;
};

// How many bytes at `a` and `b` are the same, at most `size`.
std::size_t SameBytes(const char* a, const char* b, std::size_t size)
{
    std::size_t same = 0;
    for (std::uint64_t x, y; same + sizeof x <= size; same += sizeof x) {
        std::memcpy(&x, a + same, sizeof x);
        std::memcpy(&y, b + same, sizeof y);
        if (x != y)
            break;
    }
    while (same < size && a[same] == b[same])
        ++same;
    return same;
}

// The length of the whole entries among the first `size` bytes at `at`:
// the first NUL after an entry's start ends its name, its id follows.
std::size_t WholeEntries(const char* at, std::size_t size)
{
    std::size_t length = 0;
    while (const void* nul = std::memchr(at + length, '\0', size - length)) {
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(nul) - at) + 1 + GIT_OID_RAWSZ;
        if (end > size)
            break;
        length = end;
    }
    return length;
}

// The trees read for the last two commits compared, by id. Comparing a
// commit with its parent reads the parent's site folder and changed
// folders, which the next comparison, of the parent with its own parent,
// reads again.
class Trees {
public:
    explicit Trees(git_odb* odb) : m_odb(odb) {}

    // Null with libgit2's error when the tree cannot be read.
    git_odb_object* get(const git_oid& id)
    {
        if (const auto found = m_newer.find(id); found != m_newer.end())
            return found->second.get();
        OdbObject tree;
        if (const auto found = m_older.find(id); found != m_older.end()) {
            tree = std::move(found->second);
        } else {
            git_odb_object* read = nullptr;
            if (git_odb_read(&read, m_odb, &id) != 0)
                return nullptr;
            tree.reset(read);
            if (git_odb_object_type(read) != GIT_OBJECT_TREE) {
                git_error_set_str(GIT_ERROR_OBJECT, "a tree in the history is not a tree");
                return nullptr;
            }
        }
        return m_newer.emplace(id, std::move(tree)).first->second.get();
    }
    // Ends a comparison: trees not read in it or the one before go.
    void next()
    {
        m_older.clear();
        m_older.swap(m_newer);
    }

private:
    git_odb* m_odb;
    std::unordered_map<git_oid, OdbObject, OidHash, OidEqual> m_newer;
    std::unordered_map<git_oid, OdbObject, OidHash, OidEqual> m_older;
};

// git refuses a repository that belongs to another user unless its
// safe.directory lists it, and libgit2 does the same; some versions of
// libgit2 then report no repository at all. Opened once more without the
// check, such a repository is found, and the user learns why it was refused.
bool RefusedForItsOwner(int openResult, const std::string& folder)
{
    if (openResult == GIT_EOWNER)
        return true;
    if (openResult != GIT_ENOTFOUND)
        return false;
    int validate = 1;
    git_libgit2_opts(GIT_OPT_GET_OWNER_VALIDATION, &validate);
    if (!validate)
        return false;
    git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
    git_repository* opened = nullptr;
    const bool found = git_repository_open_ext(&opened, folder.c_str(), 0, nullptr) == 0;
    git_repository_free(opened);
    git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 1);
    return found;
}

// The entry called `name` in a tree; false when there is none.
bool FindEntry(git_odb_object* tree, std::string_view name, Entry& found, bool& bad)
{
    Entries entries(tree);
    while (entries.next(found)) {
        if (found.name == name)
            return true;
    }
    bad = entries.bad();
    return false;
}

// The id of the site folder's tree within a commit, found by the folder's
// names from the top (`prefix`); only the trees on that path are read.
int CommitSiteTree(Trees& trees, const git_commit* commit, const std::vector<std::string>& prefix, SiteTree& out)
{
    out.reset();
    git_oid id = *git_commit_tree_id(commit);
    for (const std::string& name : prefix) {
        git_odb_object* tree = trees.get(id);
        if (!tree)
            return -1;
        Entry entry;
        bool bad = false;
        if (!FindEntry(tree, name, entry, bad))
            return bad ? -1 : 0;
        if (!entry.folder())
            return 0;
        id = *entry.id;
    }
    out = id;
    return 0;
}

// What a page's path names in a tree.
enum class Found { Nothing, File, InSubmodule };

// The site folder of the checked-out commit, read for each page's path: its
// folders' entries by name, each folder read once.
class CheckedOut {
public:
    explicit CheckedOut(Trees& trees) : m_trees(trees) {}

    // One folder at a time, so that no depth of folders costs stack.
    int find(const SiteTree& site, std::string_view path, Found& found)
    {
        found = Found::Nothing;
        if (!site)
            return 0;
        git_oid id = *site;
        for (;;) {
            const Folder* folder = read(id);
            if (!folder)
                return -1;
            const std::size_t slash = path.find('/');
            const auto named = folder->find(path.substr(0, slash));
            if (named == folder->end())
                return 0;
            const Entry& entry = named->second;
            if (entry.submodule()) {
                found = Found::InSubmodule;
                return 0;
            }
            if (slash == std::string_view::npos) {
                if (!entry.folder())
                    found = Found::File;
                return 0;
            }
            if (!entry.folder())
                return 0;
            id = *entry.id;
            path.remove_prefix(slash + 1);
        }
    }

private:
    using Folder = std::unordered_map<std::string_view, Entry>;

    const Folder* read(const git_oid& id)
    {
        if (const auto done = m_folders.find(id); done != m_folders.end())
            return &done->second;
        git_odb_object* tree = m_trees.get(id);
        if (!tree)
            return nullptr;
        Folder folder;
        Entries entries(tree);
        for (Entry entry; entries.next(entry);)
            folder.emplace(entry.name, entry);  // as libgit2 did: the first of a name
        if (entries.bad())
            return nullptr;
        return &m_folders.emplace(id, std::move(folder)).first->second;
    }

    Trees& m_trees;  // holds the trees the entries point into
    std::unordered_map<git_oid, Folder, OidHash, OidEqual> m_folders;
};

// The pages whose dates are still sought, by path relative to the site
// folder, and how many of them each folder holds ("a/", "a/b/"): a
// comparison of two commits looks only inside folders that hold one, so the
// long tail of a history, read for a few old pages, costs few tree reads.
class Wanted {
public:
    explicit Wanted(const std::vector<std::string>& paths) : m_paths(paths) {}

    void add(std::size_t page)
    {
        pages.emplace(m_paths[page], page);
        count(page, 1);
    }
    void found(std::size_t page) { count(page, -1); }
    bool holdsAny(const std::string& folder) const
    {
        const auto found = m_folders.find(folder);
        return found != m_folders.end() && found->second > 0;
    }

    std::unordered_map<std::string, std::size_t> pages;  // to their index in the request

private:
    void count(std::size_t page, long step)
    {
        const std::string& path = m_paths[page];
        for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            m_folders[path.substr(0, slash + 1)] += step;
    }

    const std::vector<std::string>& m_paths;
    std::unordered_map<std::string, long> m_folders;
};

// The wanted pages that differ between two site trees (either may be none:
// an empty folder), as indexes. The entry lists of both trees are walked side
// by side in git's order; folders with the same id are equal without a
// look inside. Subfolders wait on a stack of their own, not the call stack:
// a history may hold folders nested many thousands deep.
int ChangedPages(Trees& trees, const Wanted& wanted, const SiteTree& before, const SiteTree& after,
                 std::vector<std::size_t>& changed)
{
    changed.clear();
    if (before.has_value() == after.has_value() && (!before || git_oid_equal(&*before, &*after)))
        return 0;
    struct Side {
        Entries entries;
        Entry entry;
        const char* start = nullptr;  // of the entry
        bool has = false;

        int open(Trees& trees, const git_oid* id)
        {
            if (!id)
                return 0;
            git_odb_object* tree = trees.get(*id);
            if (!tree)
                return -1;
            entries = Entries(tree);
            return advance();
        }
        int advance()
        {
            start = entries.at();
            has = entries.next(entry);
            return entries.bad() ? -1 : 0;
        }
    };
    struct Folder {
        Side before;
        Side after;
        std::size_t pathLength;
    };
    std::vector<Folder> stack;
    stack.push_back(Folder{{}, {}, 0});
    if (stack.back().before.open(trees, before ? &*before : nullptr) != 0 ||
        stack.back().after.open(trees, after ? &*after : nullptr) != 0)
        return -1;
    std::string path;
    while (!stack.empty()) {
        Folder& folder = stack.back();
        if (!folder.before.has && !folder.after.has) {
            path.resize(folder.pathLength);
            stack.pop_back();
            continue;
        }
        if (folder.before.has && folder.after.has) {
            // A run of entries stored alike, byte for byte, in both trees
            // (most of a folder from one commit to the next) is passed over
            // at once, without reading each entry.
            Side& x = folder.before;
            Side& y = folder.after;
            const std::size_t size = std::min(x.entries.end() - x.start, y.entries.end() - y.start);
            const std::size_t same = WholeEntries(x.start, SameBytes(x.start, y.start, size));
            if (same > 0) {
                x.entries.skipTo(x.start + same);
                y.entries.skipTo(y.start + same);
                if (x.advance() != 0 || y.advance() != 0)
                    return -1;
                continue;
            }
        }
        const int order = !folder.before.has  ? 1
                          : !folder.after.has ? -1
                                              : CompareEntries(folder.before.entry, folder.after.entry);
        Entry a, b;
        const bool hasA = order <= 0;
        const bool hasB = order >= 0;
        if (hasA) {
            a = folder.before.entry;
            if (folder.before.advance() != 0)
                return -1;
        }
        if (hasB) {
            b = folder.after.entry;
            if (folder.after.advance() != 0)
                return -1;
        }
        if (hasA && hasB && git_oid_equal(a.id, b.id) && a.filemode() == b.filemode())
            continue;
        // A file on either side is a change of that path; a folder on
        // either side, of the files below it.
        const std::size_t length = path.size();
        path += hasA ? a.name : b.name;
        const bool aTree = hasA && a.folder();
        const bool bTree = hasB && b.folder();
        if ((hasA && !aTree) || (hasB && !bTree)) {
            const auto page = wanted.pages.find(path);
            if (page != wanted.pages.end())
                changed.push_back(page->second);
        }
        if (!aTree && !bTree) {
            path.resize(length);
            continue;
        }
        path += '/';
        if (!wanted.holdsAny(path)) {
            path.resize(length);
            continue;
        }
        Folder inside{{}, {}, length};
        if (inside.before.open(trees, aTree ? a.id : nullptr) != 0 ||
            inside.after.open(trees, bTree ? b.id : nullptr) != 0)
            return -1;
        stack.push_back(std::move(inside));
    }
    return 0;
}

// The paths below the site folder, relative to it, whose content in the
// index or the work tree is not the checked-out commit's.
struct WorkTreeChanges {
    int result = 0;
    std::string error;
    std::unordered_set<std::string> paths;
};

// Run beside the walk of the history, on a handle of its own on the
// repository (libgit2 handles are not shared between threads): it reads the
// index and a file status for every page, which took a sixth of the time.
WorkTreeChanges ChangedSinceCommit(const std::string& site, const std::string& prefix)
{
    WorkTreeChanges out;
    const auto fail = [&out](const char* what) {
        out.result = -1;
        out.error = GitMessage(what);
        return std::move(out);
    };
    git_repository* opened = nullptr;
    if (git_repository_open_ext(&opened, site.c_str(), 0, nullptr) != 0)
        return fail("cannot compare the work tree with the repository");
    Repository repo(opened);
    git_status_options options = GIT_STATUS_OPTIONS_INIT;
    options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
    options.flags = GIT_STATUS_OPT_EXCLUDE_SUBMODULES | GIT_STATUS_OPT_DISABLE_PATHSPEC_MATCH;
    // Only the site's folder is compared; libgit2 takes it as a list of one.
    char* siteFolder = const_cast<char*>(prefix.c_str());
    if (!prefix.empty()) {
        options.pathspec.strings = &siteFolder;
        options.pathspec.count = 1;
    }
    git_status_list* list = nullptr;
    if (git_status_list_new(&list, opened, &options) != 0)
        return fail("cannot compare the work tree with the repository");
    StatusList statuses(list);
    const std::string folderPrefix = prefix.empty() ? std::string() : prefix + "/";
    const std::size_t count = git_status_list_entrycount(list);
    for (std::size_t i = 0; i < count; ++i) {
        const git_status_entry* entry = git_status_byindex(list, i);
        for (const git_diff_delta* delta : {entry->head_to_index, entry->index_to_workdir}) {
            if (!delta)
                continue;
            for (const char* path : {delta->old_file.path, delta->new_file.path}) {
                if (path && std::string_view(path).starts_with(folderPrefix))
                    out.paths.insert(path + folderPrefix.size());
            }
        }
    }
    return out;
}

// The history is walked as `git log -- PAGE` walks it for each page at once:
// at a merge where a page is the same as in one of the parents, the page
// follows the first such parent alone, so a change the merge did not keep
// never dates it. Each page so follows one line of commits, and each commit
// waiting in the walk carries the pages that reached it.
struct Visit {
    Commit commit;
    SiteTree tree;
    std::unordered_set<std::size_t> pages;
};

struct Queued {
    std::int64_t time;
    std::uint64_t order;  // first queued first among equal times, as git does
    git_oid id;
    bool operator<(const Queued& other) const
    {
        return time != other.time ? time < other.time : order > other.order;
    }
};

class Walk {
public:
    void push(Commit commit, SiteTree tree, std::unordered_set<std::size_t> pages)
    {
        if (pages.empty())
            return;
        const git_oid id = *git_commit_id(commit.get());
        auto [waiting, added] = m_waiting.try_emplace(id);
        Visit& visit = waiting->second;
        if (!added) {
            // Pages from another line meet here: one set, the smaller moved.
            if (visit.pages.size() < pages.size())
                visit.pages.swap(pages);
            visit.pages.insert(pages.begin(), pages.end());
            return;
        }
        m_queue.push(Queued{git_commit_time(commit.get()), m_order++, id});
        visit = Visit{std::move(commit), tree, std::move(pages)};
    }
    bool empty() const { return m_queue.empty(); }
    // The newest commit waiting, with its pages.
    Visit pop()
    {
        auto node = m_waiting.extract(m_queue.top().id);
        m_queue.pop();
        return std::move(node.mapped());
    }
    // Pages no longer sought leave every line they wait on.
    void drop(const std::vector<char>& gone, Wanted& wanted)
    {
        for (auto& waiting : m_waiting) {
            std::erase_if(waiting.second.pages, [&](std::size_t page) {
                if (gone[page])
                    wanted.found(page);
                return gone[page] != 0;
            });
        }
    }

private:
    std::priority_queue<Queued> m_queue;
    std::unordered_map<git_oid, Visit, OidHash, OidEqual> m_waiting;
    std::uint64_t m_order = 0;
};

}  // namespace

int ReadCommitDates(const std::string& siteFolder, const std::vector<std::string>& pages,
                    CommitDates& out, std::string& error)
{
    out = CommitDates();
    out.dates.assign(pages.size(), -1);
    Library library;

    std::string site;
    if (platform::CanonicalPath(siteFolder, site, error) != 0) {
        error = siteFolder + ": " + error;
        return -1;
    }
    git_repository* opened = nullptr;
    const int openResult = git_repository_open_ext(&opened, site.c_str(), 0, nullptr);
    if (openResult != 0 && RefusedForItsOwner(openResult, site)) {
        error = siteFolder + ": the git repository belongs to another user (see git's safe.directory), "
                             "so its pages have no commit dates";
        return -1;
    }
    if (openResult == GIT_ENOTFOUND) {
        error = siteFolder + " is not in a git work tree, so its pages have no commit dates";
        return -1;
    }
    if (openResult != 0) {
        error = GitMessage((siteFolder + ": cannot open its git repository").c_str());
        return -1;
    }
    Repository repo(opened);
    const char* workdir = git_repository_workdir(opened);
    std::string top;
    if (!workdir || platform::CanonicalPath(workdir, top, error) != 0) {
        error = siteFolder + " is in a git repository without a work tree";
        return -1;
    }
    std::string prefix;
    std::vector<std::string> prefixNames;
    if (site != top) {
        if (!site.starts_with(top + "/")) {
            error = siteFolder + " is not in the work tree of " + top;
            return -1;
        }
        prefix = site.substr(top.size() + 1);
        for (std::size_t from = 0; from <= prefix.size();) {
            const std::size_t slash = std::min(prefix.find('/', from), prefix.size());
            prefixNames.push_back(prefix.substr(from, slash - from));
            from = slash + 1;
        }
    }

    git_oid headId;
    const int headResult = git_reference_name_to_id(&headId, opened, "HEAD");
    if (headResult == GIT_ENOTFOUND || headResult == GIT_EUNBORNBRANCH) {
        out.untracked = static_cast<long long>(pages.size());  // nothing committed yet
        return 0;
    }
    git_commit* head = nullptr;
    if (headResult != 0 || git_commit_lookup(&head, opened, &headId) != 0) {
        error = GitMessage("cannot read the checked-out commit");
        return -1;
    }
    Commit headCommit(head);
    git_odb* odb = nullptr;
    if (git_repository_odb(&odb, opened) != 0) {
        error = GitMessage("cannot read the checked-out commit");
        return -1;
    }
    Odb objects(odb);

    // Which committed pages the work tree changes is known when this ends;
    // until then every committed page is sought, and those it names are
    // dropped as soon as it has.
    std::future<WorkTreeChanges> status = std::async(std::launch::async, ChangedSinceCommit, site, prefix);
    bool statusRead = false;
    std::vector<char> committed(pages.size(), 0);
    std::vector<char> changed(pages.size(), 0);
    std::vector<char> beyond(pages.size(), 0);
    Wanted wanted(pages);
    Walk walk;
    const auto readStatus = [&]() {
        WorkTreeChanges changes = status.get();
        statusRead = true;
        if (changes.result != 0) {
            error = changes.error;
            return -1;
        }
        for (std::size_t i = 0; i < pages.size(); ++i)
            changed[i] = committed[i] && changes.paths.count(pages[i]);
        walk.drop(changed, wanted);
        return 0;
    };

    Trees trees(odb);
    SiteTree headTree;
    {
        CheckedOut checkedOut(trees);
        if (CommitSiteTree(trees, head, prefixNames, headTree) != 0) {
            error = GitMessage("cannot read the checked-out commit");
            return -1;
        }
        std::unordered_set<std::size_t> all;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            Found found = Found::Nothing;
            if (checkedOut.find(headTree, pages[i], found) != 0) {
                error = GitMessage("cannot read the checked-out commit");
                return -1;
            }
            if (found == Found::InSubmodule) {
                ++out.inSubmodule;
            } else if (found != Found::File) {
                ++out.untracked;
            } else {
                committed[i] = 1;
                wanted.add(i);
                all.insert(i);
            }
        }
        walk.push(std::move(headCommit), headTree, std::move(all));
    }

    std::vector<std::size_t> changedPages;
    std::vector<std::size_t> alsoChanged;
    while (!walk.empty()) {
        if (!statusRead && status.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
            readStatus() != 0)
            return -1;
        Visit visit = walk.pop();
        if (visit.pages.empty())
            continue;  // its pages were all dropped
        ++out.commitsRead;
        const std::int64_t time = git_commit_time(visit.commit.get());

        const unsigned parentCount = git_commit_parentcount(visit.commit.get());
        std::vector<Commit> parents;
        std::vector<SiteTree> parentTrees;
        bool boundary = false;
        for (unsigned i = 0; i < parentCount; ++i) {
            git_commit* parent = nullptr;
            const int result = git_commit_parent(&parent, visit.commit.get(), i);
            if (result == GIT_ENOTFOUND) {
                // A shallow clone: the history stops here, and this commit's
                // content is not its own change.
                boundary = true;
                break;
            }
            if (result != 0) {
                error = GitMessage("cannot read a commit");
                return -1;
            }
            parents.emplace_back(parent);
            parentTrees.emplace_back();
            if (CommitSiteTree(trees, parent, prefixNames, parentTrees.back()) != 0) {
                error = GitMessage("cannot read a commit");
                return -1;
            }
        }
        if (boundary) {
            for (const std::size_t page : visit.pages)
                beyond[page] = 1;
            continue;
        }
        if (parents.empty()) {
            for (const std::size_t page : visit.pages) {
                out.dates[page] = time;  // the first commit: it holds the page
                wanted.found(page);
            }
            continue;
        }

        if (ChangedPages(trees, wanted, parentTrees[0], visit.tree, changedPages) != 0) {
            error = GitMessage("cannot compare two commits");
            return -1;
        }
        // A page that differs from the first parent follows the first other
        // parent it is the same in; the commit changed it when there is none.
        std::vector<std::unordered_set<std::size_t>> followers(parents.size());
        std::vector<bool> compared(parents.size(), false);
        std::vector<std::unordered_set<std::size_t>> differs(parents.size());
        for (const std::size_t page : changedPages) {
            if (!visit.pages.erase(page))
                continue;
            std::size_t same = 0;
            for (std::size_t i = 1; i < parents.size() && same == 0; ++i) {
                if (!compared[i]) {
                    if (ChangedPages(trees, wanted, parentTrees[i], visit.tree, alsoChanged) != 0) {
                        error = GitMessage("cannot compare two commits");
                        return -1;
                    }
                    differs[i].insert(alsoChanged.begin(), alsoChanged.end());
                    compared[i] = true;
                }
                if (!differs[i].count(page))
                    same = i;
            }
            if (same != 0) {
                followers[same].insert(page);
            } else {
                out.dates[page] = time;
                wanted.found(page);
            }
        }
        trees.next();
        followers[0] = std::move(visit.pages);
        for (std::size_t i = 0; i < parents.size(); ++i)
            walk.push(std::move(parents[i]), parentTrees[i], std::move(followers[i]));
    }
    if (!statusRead && readStatus() != 0)
        return -1;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (changed[i]) {
            out.dates[i] = -1;  // the work tree's own file time stays
            ++out.changed;
        } else if (beyond[i]) {
            ++out.beyondHistory;
        }
    }
    return 0;
}

}  // namespace larkspur
