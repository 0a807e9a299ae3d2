// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/history.h"

#include <memory>
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
using Tree = std::unique_ptr<git_tree, Deleter<git_tree, git_tree_free>>;
using TreeEntry = std::unique_ptr<git_tree_entry, Deleter<git_tree_entry, git_tree_entry_free>>;
using StatusList = std::unique_ptr<git_status_list, Deleter<git_status_list, git_status_list_free>>;

std::string OidKey(const git_oid& id)
{
    return std::string(reinterpret_cast<const char*>(id.id), sizeof id.id);
}

// The trees read for the last two commits compared, by id. Comparing a
// commit with its parent reads the parent's changed folders, which the next
// comparison, of the parent with its own parent, reads again.
class Trees {
public:
    explicit Trees(git_repository* repo) : m_repo(repo) {}

    // Null with libgit2's error when the tree cannot be read.
    const git_tree* get(const git_oid& id)
    {
        std::string key = OidKey(id);
        if (const auto found = m_newer.find(key); found != m_newer.end())
            return found->second.get();
        Tree& tree = m_newer[key];
        if (const auto found = m_older.find(key); found != m_older.end()) {
            tree = std::move(found->second);
        } else {
            git_tree* read = nullptr;
            if (git_tree_lookup(&read, m_repo, &id) != 0) {
                m_newer.erase(key);
                return nullptr;
            }
            tree.reset(read);
        }
        return tree.get();
    }
    // Ends a comparison: trees not read in it or the one before go.
    void next()
    {
        m_older.clear();
        m_older.swap(m_newer);
    }

private:
    git_repository* m_repo;
    std::unordered_map<std::string, Tree> m_newer;
    std::unordered_map<std::string, Tree> m_older;
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

// The site folder's tree within a commit's tree; null when the commit has
// no such folder (it then counts as empty).
int SiteTree(git_repository* repo, git_tree* root, const std::string& prefix, Tree& out)
{
    out.reset();
    if (prefix.empty()) {
        git_tree* copy = nullptr;
        if (git_tree_dup(&copy, root) != 0)
            return -1;
        out.reset(copy);
        return 0;
    }
    git_tree_entry* found = nullptr;
    const int result = git_tree_entry_bypath(&found, root, prefix.c_str());
    if (result == GIT_ENOTFOUND)
        return 0;
    if (result != 0)
        return -1;
    TreeEntry entry(found);
    if (git_tree_entry_type(entry.get()) != GIT_OBJECT_TREE)
        return 0;
    git_tree* tree = nullptr;
    if (git_tree_lookup(&tree, repo, git_tree_entry_id(entry.get())) != 0)
        return -1;
    out.reset(tree);
    return 0;
}

int CommitSiteTree(git_repository* repo, git_commit* commit, const std::string& prefix, Tree& out)
{
    git_tree* root = nullptr;
    if (git_commit_tree(&root, commit) != 0)
        return -1;
    Tree owned(root);
    return SiteTree(repo, owned.get(), prefix, out);
}

bool SameTree(const git_tree* a, const git_tree* b)
{
    if (!a || !b)
        return !a && !b;
    return git_oid_equal(git_tree_id(a), git_tree_id(b));
}

// What a page's path names in a tree.
enum class Found { Nothing, File, InSubmodule };

// One folder at a time, so that no depth of folders costs stack.
int FindPage(Trees& trees, const git_tree* site, std::string_view path, Found& found)
{
    found = Found::Nothing;
    const git_tree* tree = site;
    std::string name;
    while (tree) {
        const std::size_t slash = path.find('/');
        name.assign(path.substr(0, slash));
        const git_tree_entry* entry = git_tree_entry_byname(tree, name.c_str());
        if (!entry)
            return 0;
        const git_object_t type = git_tree_entry_type(entry);
        if (type == GIT_OBJECT_COMMIT) {
            found = Found::InSubmodule;
            return 0;
        }
        if (slash == std::string_view::npos) {
            if (type == GIT_OBJECT_BLOB)
                found = Found::File;
            return 0;
        }
        if (type != GIT_OBJECT_TREE)
            return 0;
        if (!(tree = trees.get(*git_tree_entry_id(entry))))
            return -1;
        path.remove_prefix(slash + 1);
    }
    return 0;
}

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

// The wanted pages that differ between two site trees (either may be null:
// an empty folder), as indexes. The entry lists of both trees are walked side
// by side in git's order; folders with the same id are equal without a
// look inside. Subfolders wait on a stack of their own, not the call stack:
// a history may hold folders nested many thousands deep.
int ChangedPages(Trees& trees, const Wanted& wanted, const git_tree* before, const git_tree* after,
                 std::vector<std::size_t>& changed)
{
    changed.clear();
    if (SameTree(before, after))
        return 0;
    struct Folder {
        const git_tree* before;
        const git_tree* after;
        std::size_t pathLength;
        std::size_t i = 0;
        std::size_t j = 0;
    };
    std::vector<Folder> stack;
    stack.push_back(Folder{before, after, 0});
    std::string path;
    while (!stack.empty()) {
        Folder& folder = stack.back();
        const std::size_t beforeCount = folder.before ? git_tree_entrycount(folder.before) : 0;
        const std::size_t afterCount = folder.after ? git_tree_entrycount(folder.after) : 0;
        if (folder.i >= beforeCount && folder.j >= afterCount) {
            path.resize(folder.pathLength);
            stack.pop_back();
            continue;
        }
        const git_tree_entry* a = folder.i < beforeCount ? git_tree_entry_byindex(folder.before, folder.i) : nullptr;
        const git_tree_entry* b = folder.j < afterCount ? git_tree_entry_byindex(folder.after, folder.j) : nullptr;
        const int order = !a ? 1 : !b ? -1 : git_tree_entry_cmp(a, b);
        if (order < 0) {
            b = nullptr;
            ++folder.i;
        } else if (order > 0) {
            a = nullptr;
            ++folder.j;
        } else {
            ++folder.i;
            ++folder.j;
            if (git_oid_equal(git_tree_entry_id(a), git_tree_entry_id(b)) &&
                git_tree_entry_filemode(a) == git_tree_entry_filemode(b))
                continue;
        }
        // A file on either side is a change of that path; a folder on
        // either side, of the files below it.
        const std::size_t length = path.size();
        path += git_tree_entry_name(a ? a : b);
        const bool aTree = a && git_tree_entry_type(a) == GIT_OBJECT_TREE;
        const bool bTree = b && git_tree_entry_type(b) == GIT_OBJECT_TREE;
        if ((a && !aTree) || (b && !bTree)) {
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
        const git_tree* aSub = aTree ? trees.get(*git_tree_entry_id(a)) : nullptr;
        const git_tree* bSub = bTree ? trees.get(*git_tree_entry_id(b)) : nullptr;
        if ((aTree && !aSub) || (bTree && !bSub))
            return -1;
        stack.push_back(Folder{aSub, bSub, length});
    }
    return 0;
}

// The pages whose committed content is what the work tree holds: in the
// checked-out commit, and neither staged nor changed since.
int CleanPages(git_repository* repo, Trees& trees, git_commit* head, const std::string& prefix,
               const std::vector<std::string>& pages, CommitDates& out, Wanted& wanted, std::string& error)
{
    Tree site;
    if (CommitSiteTree(repo, head, prefix, site) != 0) {
        error = GitMessage("cannot read the checked-out commit");
        return -1;
    }

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
    if (git_status_list_new(&list, repo, &options) != 0) {
        error = GitMessage("cannot compare the work tree with the repository");
        return -1;
    }
    StatusList statuses(list);
    std::unordered_set<std::string> changed;
    const std::string folderPrefix = prefix.empty() ? std::string() : prefix + "/";
    const std::size_t count = git_status_list_entrycount(list);
    for (std::size_t i = 0; i < count; ++i) {
        const git_status_entry* entry = git_status_byindex(list, i);
        for (const git_diff_delta* delta : {entry->head_to_index, entry->index_to_workdir}) {
            if (!delta)
                continue;
            for (const char* path : {delta->old_file.path, delta->new_file.path}) {
                if (path && std::string_view(path).starts_with(folderPrefix))
                    changed.insert(path + folderPrefix.size());
            }
        }
    }

    for (std::size_t i = 0; i < pages.size(); ++i) {
        Found found = Found::Nothing;
        if (site && FindPage(trees, site.get(), pages[i], found) != 0) {
            error = GitMessage("cannot read the checked-out commit");
            return -1;
        }
        if (found == Found::InSubmodule)
            ++out.inSubmodule;
        else if (found != Found::File)
            ++out.untracked;
        else if (changed.count(pages[i]))
            ++out.changed;
        else
            wanted.add(i);
    }
    return 0;
}

// The history is walked as `git log -- PAGE` walks it for each page at once:
// at a merge where a page is the same as in one of the parents, the page
// follows the first such parent alone, so a change the merge did not keep
// never dates it. Each page so follows one line of commits, and each commit
// waiting in the walk carries the pages that reached it.
struct Visit {
    Commit commit;
    Tree tree;  // its site folder
    std::unordered_set<std::size_t> pages;
};

struct Queued {
    std::int64_t time;
    std::uint64_t order;  // first queued first among equal times, as git does
    std::string id;
    bool operator<(const Queued& other) const
    {
        return time != other.time ? time < other.time : order > other.order;
    }
};

class Walk {
public:
    void push(Commit commit, Tree tree, std::unordered_set<std::size_t> pages)
    {
        if (pages.empty())
            return;
        std::string id = OidKey(*git_commit_id(commit.get()));
        auto [waiting, added] = m_waiting.try_emplace(id);
        Visit& visit = waiting->second;
        if (!added) {
            // Pages from another line meet here: one set, the smaller moved.
            if (visit.pages.size() < pages.size())
                visit.pages.swap(pages);
            visit.pages.insert(pages.begin(), pages.end());
            return;
        }
        m_queue.push(Queued{git_commit_time(commit.get()), m_order++, std::move(id)});
        visit = Visit{std::move(commit), std::move(tree), std::move(pages)};
    }
    bool empty() const { return m_queue.empty(); }
    // The newest commit waiting, with its pages.
    Visit pop()
    {
        auto node = m_waiting.extract(m_queue.top().id);
        m_queue.pop();
        return std::move(node.mapped());
    }

private:
    std::priority_queue<Queued> m_queue;
    std::unordered_map<std::string, Visit> m_waiting;
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
    if (site != top) {
        if (!site.starts_with(top + "/")) {
            error = siteFolder + " is not in the work tree of " + top;
            return -1;
        }
        prefix = site.substr(top.size() + 1);
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
    Wanted wanted(pages);
    Trees trees(opened);
    if (CleanPages(opened, trees, head, prefix, pages, out, wanted, error) != 0)
        return -1;
    if (wanted.pages.empty())
        return 0;
    Tree headTree;
    if (CommitSiteTree(opened, head, prefix, headTree) != 0) {
        error = GitMessage("cannot read the checked-out commit");
        return -1;
    }
    std::unordered_set<std::size_t> all;
    for (const auto& page : wanted.pages)
        all.insert(page.second);
    Walk walk;
    walk.push(std::move(headCommit), std::move(headTree), std::move(all));

    std::vector<std::size_t> changed;
    std::vector<std::size_t> alsoChanged;
    while (!walk.empty()) {
        Visit visit = walk.pop();
        ++out.commitsRead;
        const std::int64_t time = git_commit_time(visit.commit.get());

        const unsigned parentCount = git_commit_parentcount(visit.commit.get());
        std::vector<Commit> parents;
        std::vector<Tree> parentTrees;
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
            if (CommitSiteTree(opened, parent, prefix, parentTrees.back()) != 0) {
                error = GitMessage("cannot read a commit");
                return -1;
            }
        }
        if (boundary) {
            out.beyondHistory += static_cast<long long>(visit.pages.size());
            continue;
        }
        if (parents.empty()) {
            for (const std::size_t page : visit.pages) {
                out.dates[page] = time;  // the first commit: it holds the page
                wanted.found(page);
            }
            continue;
        }

        if (ChangedPages(trees, wanted, parentTrees[0].get(), visit.tree.get(), changed) != 0) {
            error = GitMessage("cannot compare two commits");
            return -1;
        }
        // A page that differs from the first parent follows the first other
        // parent it is the same in; the commit changed it when there is none.
        std::vector<std::unordered_set<std::size_t>> followers(parents.size());
        std::vector<bool> compared(parents.size(), false);
        std::vector<std::unordered_set<std::size_t>> differs(parents.size());
        for (const std::size_t page : changed) {
            if (!visit.pages.erase(page))
                continue;
            std::size_t same = 0;
            for (std::size_t i = 1; i < parents.size() && same == 0; ++i) {
                if (!compared[i]) {
                    if (ChangedPages(trees, wanted, parentTrees[i].get(), visit.tree.get(), alsoChanged) != 0) {
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
            walk.push(std::move(parents[i]), std::move(parentTrees[i]), std::move(followers[i]));
    }
    return 0;
}

}  // namespace larkspur
