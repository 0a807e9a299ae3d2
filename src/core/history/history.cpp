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
using Diff = std::unique_ptr<git_diff, Deleter<git_diff, git_diff_free>>;
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

// Paths (relative to the site folder) that differ between two site trees.
int ChangedPaths(git_repository* repo, const Tree& before, const Tree& after,
                 std::unordered_set<std::string>& paths)
{
    git_diff_options options = GIT_DIFF_OPTIONS_INIT;
    options.flags = GIT_DIFF_SKIP_BINARY_CHECK | GIT_DIFF_IGNORE_SUBMODULES;
    git_diff* diff = nullptr;
    if (git_diff_tree_to_tree(&diff, repo, before.get(), after.get(), &options) != 0)
        return -1;
    Diff owned(diff);
    const std::size_t count = git_diff_num_deltas(diff);
    for (std::size_t i = 0; i < count; ++i) {
        const git_diff_delta* delta = git_diff_get_delta(diff, i);
        paths.insert(delta->new_file.path);
        if (delta->old_file.path && std::strcmp(delta->old_file.path, delta->new_file.path) != 0)
            paths.insert(delta->old_file.path);
    }
    return 0;
}

struct Pending {
    std::int64_t time;
    std::uint64_t order;  // first queued first among equal times, as git does
    Commit commit;
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
    char* spec = const_cast<char*>(prefix.c_str());
    if (!prefix.empty()) {
        options.pathspec.strings = &spec;
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
    auto push = [&](Commit commit) {
        if (!seen.insert(OidKey(*git_commit_id(commit.get()))).second)
            return;
        const std::int64_t time = git_commit_time(commit.get());
        queue.push(Pending{time, order++, std::move(commit)});
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
    push(std::move(headCommit));

    std::size_t remaining = wanted.size();
    bool historyEnded = false;
    std::unordered_set<std::string> changed;
    while (!queue.empty() && remaining > 0) {
        // priority_queue only hands out const references; the commit is moved
        // out before the element is dropped.
        Commit commit = std::move(const_cast<Pending&>(queue.top()).commit);
        const std::int64_t time = queue.top().time;
        queue.pop();
        ++out.commitsRead;

        Tree tree;
        if (CommitSiteTree(opened, commit.get(), prefix, tree) != 0) {
            error = GitMessage("cannot read a commit");
            return -1;
        }
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
                push(std::move(parents[i]));
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
        for (Commit& parent : parents)
            push(std::move(parent));
    }
    if (remaining > 0 && historyEnded)
        out.beyondHistory = static_cast<long long>(remaining);
    return 0;
}

}  // namespace larkspur
