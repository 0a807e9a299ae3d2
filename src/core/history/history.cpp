#include "history/history.h"

#include <cstring>
#include <memory>
#include <queue>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <git2.h>

#include "platform.h"

namespace larkspur {

namespace {

std::string GitMessage(const char* what)
{
    const git_error* last = git_error_last();
    return std::string(what) + ": " + (last && last->message ? last->message : "unknown error");
}

struct Library {
    Library() { git_libgit2_init(); }
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

bool SameTree(const Tree& a, const Tree& b)
{
    if (!a || !b)
        return !a && !b;
    return git_oid_equal(git_tree_id(a.get()), git_tree_id(b.get()));
}

// Adds the paths of the files below `tree` (null: none) to `paths`.
int AddAllFiles(git_repository* repo, const git_tree* tree, std::string& path,
                std::unordered_set<std::string>& paths);

// One side of a comparison: a file is changed, a folder's files all are.
int AddEntry(git_repository* repo, const git_tree_entry* entry, std::string& path,
             std::unordered_set<std::string>& paths)
{
    const std::size_t length = path.size();
    path += git_tree_entry_name(entry);
    int result = 0;
    if (git_tree_entry_type(entry) == GIT_OBJECT_TREE) {
        git_tree* tree = nullptr;
        result = git_tree_lookup(&tree, repo, git_tree_entry_id(entry));
        if (result == 0) {
            Tree owned(tree);
            path += '/';
            result = AddAllFiles(repo, tree, path, paths);
        }
    } else {
        paths.insert(path);
    }
    path.resize(length);
    return result;
}

int AddAllFiles(git_repository* repo, const git_tree* tree, std::string& path,
                std::unordered_set<std::string>& paths)
{
    const std::size_t count = tree ? git_tree_entrycount(tree) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (AddEntry(repo, git_tree_entry_byindex(tree, i), path, paths) != 0)
            return -1;
    }
    return 0;
}

// The paths (below `path`) of the files that differ between two trees,
// either of which may be null. Folders with the same object id are equal
// without a look inside, so a commit that changes a few pages of a large
// site costs a few tree reads.
int ChangedFiles(git_repository* repo, const git_tree* before, const git_tree* after, std::string& path,
                 std::unordered_set<std::string>& paths)
{
    const std::size_t beforeCount = before ? git_tree_entrycount(before) : 0;
    const std::size_t afterCount = after ? git_tree_entrycount(after) : 0;
    std::size_t i = 0;
    std::size_t j = 0;
    // Both lists are in git's order of tree entries; one pass over them.
    while (i < beforeCount || j < afterCount) {
        const git_tree_entry* a = i < beforeCount ? git_tree_entry_byindex(before, i) : nullptr;
        const git_tree_entry* b = j < afterCount ? git_tree_entry_byindex(after, j) : nullptr;
        const int order = !a ? 1 : !b ? -1 : git_tree_entry_cmp(a, b);
        if (order < 0) {
            ++i;
            if (AddEntry(repo, a, path, paths) != 0)
                return -1;
            continue;
        }
        if (order > 0) {
            ++j;
            if (AddEntry(repo, b, path, paths) != 0)
                return -1;
            continue;
        }
        ++i;
        ++j;
        if (git_oid_equal(git_tree_entry_id(a), git_tree_entry_id(b)) &&
            git_tree_entry_filemode(a) == git_tree_entry_filemode(b))
            continue;
        const bool aTree = git_tree_entry_type(a) == GIT_OBJECT_TREE;
        const bool bTree = git_tree_entry_type(b) == GIT_OBJECT_TREE;
        if (!aTree || !bTree) {
            if (AddEntry(repo, a, path, paths) != 0 || AddEntry(repo, b, path, paths) != 0)
                return -1;
            continue;
        }
        git_tree* aSub = nullptr;
        git_tree* bSub = nullptr;
        if (git_tree_lookup(&aSub, repo, git_tree_entry_id(a)) != 0)
            return -1;
        Tree aOwned(aSub);
        if (git_tree_lookup(&bSub, repo, git_tree_entry_id(b)) != 0)
            return -1;
        Tree bOwned(bSub);
        const std::size_t length = path.size();
        path += git_tree_entry_name(a);
        path += '/';
        const int result = ChangedFiles(repo, aSub, bSub, path, paths);
        path.resize(length);
        if (result != 0)
            return -1;
    }
    return 0;
}

// Paths (relative to the site folder) that differ between two site trees.
int ChangedPaths(git_repository* repo, const Tree& before, const Tree& after,
                 std::unordered_set<std::string>& paths)
{
    std::string path;
    return ChangedFiles(repo, before.get(), after.get(), path, paths);
}

struct Pending {
    std::int64_t time;
    std::uint64_t order;  // first queued first among equal times, as git does
    Commit commit;
    Tree tree;  // its site folder, read when it was queued
    bool operator<(const Pending& other) const
    {
        return time != other.time ? time < other.time : order > other.order;
    }
};

// The pages whose committed content is what the work tree holds: in the
// checked-out commit, and neither staged nor changed since.
int CleanPages(git_repository* repo, git_commit* head, const std::string& prefix,
               const std::vector<std::string>& pages,
               CommitDates& out, std::unordered_map<std::string, std::size_t>& wanted, std::string& error)
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
        git_tree_entry* found = nullptr;
        const bool tracked = site && git_tree_entry_bypath(&found, site.get(), pages[i].c_str()) == 0;
        TreeEntry owned(found);
        if (!tracked || git_tree_entry_type(found) != GIT_OBJECT_BLOB)
            ++out.untracked;
        else if (changed.count(pages[i]))
            ++out.changed;
        else
            wanted.emplace(pages[i], i);
    }
    return 0;
}

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


    std::priority_queue<Pending> queue;
    std::unordered_set<std::string> seen;
    std::uint64_t order = 0;
    auto push = [&](Commit commit, Tree tree) {
        if (!seen.insert(OidKey(*git_commit_id(commit.get()))).second)
            return;
        const std::int64_t time = git_commit_time(commit.get());
        queue.push(Pending{time, order++, std::move(commit), std::move(tree)});
    };
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
    std::unordered_map<std::string, std::size_t> wanted;
    if (CleanPages(opened, head, prefix, pages, out, wanted, error) != 0)
        return -1;
    if (wanted.empty())
        return 0;
    Tree headTree;
    if (CommitSiteTree(opened, head, prefix, headTree) != 0) {
        error = GitMessage("cannot read the checked-out commit");
        return -1;
    }
    push(std::move(headCommit), std::move(headTree));

    std::size_t remaining = wanted.size();
    bool historyEnded = false;
    std::unordered_set<std::string> changed;
    while (!queue.empty() && remaining > 0) {
        // priority_queue only hands out const references; the commit and its
        // tree are moved out before the element is dropped.
        Pending& top = const_cast<Pending&>(queue.top());
        const Commit commit = std::move(top.commit);
        const Tree tree = std::move(top.tree);
        const std::int64_t time = top.time;
        queue.pop();
        ++out.commitsRead;

        const unsigned parentCount = git_commit_parentcount(commit.get());
        std::vector<Commit> parents;
        std::vector<Tree> parentTrees;
        bool boundary = false;
        for (unsigned i = 0; i < parentCount; ++i) {
            git_commit* parent = nullptr;
            const int result = git_commit_parent(&parent, commit.get(), i);
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
            historyEnded = true;
            continue;
        }

        // As git log does for a folder: a merge whose site folder equals one
        // parent's brought nothing new there; only that parent's line counts.
        bool sameAsParent = false;
        for (std::size_t i = 0; i < parents.size() && !sameAsParent; ++i) {
            if (SameTree(tree, parentTrees[i])) {
                sameAsParent = true;
                push(std::move(parents[i]), std::move(parentTrees[i]));
            }
        }
        if (sameAsParent)
            continue;

        changed.clear();
        const Tree none;
        if (ChangedPaths(opened, parents.empty() ? none : parentTrees[0], tree, changed) != 0) {
            error = GitMessage("cannot compare two commits");
            return -1;
        }
        for (std::size_t i = 1; i < parents.size() && !changed.empty(); ++i) {
            std::unordered_set<std::string> alsoChanged;
            if (ChangedPaths(opened, parentTrees[i], tree, alsoChanged) != 0) {
                error = GitMessage("cannot compare two commits");
                return -1;
            }
            std::erase_if(changed, [&](const std::string& path) { return !alsoChanged.count(path); });
        }
        for (const std::string& path : changed) {
            const auto found = wanted.find(path);
            if (found == wanted.end() || out.dates[found->second] >= 0)
                continue;
            out.dates[found->second] = time;
            --remaining;
        }
        for (std::size_t i = 0; i < parents.size(); ++i)
            push(std::move(parents[i]), std::move(parentTrees[i]));
    }
    if (remaining > 0 && historyEnded)
        out.beyondHistory = static_cast<long long>(remaining);
    return 0;
}

}  // namespace larkspur
