// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/history.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <queue>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include <git2.h>

#include "history/git_handles.h"
#include "history/tree_diff.h"
#include "history/tree_reader.h"
#include "history/work_tree_status.h"
#include "platform/paths.h"
#include "platform/read_file.h"

namespace larkspur {

namespace {

using namespace history;

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

using OidSet = std::unordered_set<git_oid, OidHash, OidEqual>;

// The commits a shallow repository's `shallow` file lists are where git ends
// its history, whether or not their parents are there: fetched again, they
// may be. libgit2 1.7 and later give such a commit no parents at all, which
// would make it look like the first commit and date every older page by it.
int ShallowCommits(git_repository* repo, OidSet& out, std::string& error)
{
    const int shallow = git_repository_is_shallow(repo);
    if (shallow < 0) {
        error = GitMessage("cannot read which commits end the shallow history");
        return -1;
    }
    if (shallow == 0)
        return 0;
    std::string path = git_repository_commondir(repo);
    if (!path.ends_with('/'))
        path += '/';
    path += "shallow";
    // 41 bytes a commit: far more boundaries than any clone has. A file cut
    // at the bound loses only its last line, which no longer reads as an id.
    constexpr std::size_t kShallowReadLimit = std::size_t{16} << 20;
    std::string text;
    if (platform::ReadFile(path, text, error, kShallowReadLimit) != 0)
        return -1;
    constexpr std::size_t kSha1Hex = 40;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        git_oid id;
        if (end - from == kSha1Hex && git_oid_fromstrn(&id, text.data() + from, kSha1Hex) == 0)
            out.insert(id);
        from = end + 1;
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

GitStarted::GitStarted(bool start)
{
    if (!start)
        return;
    try {
        m_starting = std::thread([] { git_libgit2_init(); });
    } catch (const std::system_error&) {
        // No thread: libgit2 starts when the dates are read, as it would.
    }
}

GitStarted::~GitStarted()
{
    if (!m_starting.joinable())
        return;
    m_starting.join();
    git_libgit2_shutdown();
}

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
    OidSet shallow;
    if (ShallowCommits(opened, shallow, error) != 0)
        return -1;
    Trees trees(odb);
    SiteTree headTree;
    if (CommitSiteTree(trees, head, prefixNames, headTree) != 0) {
        error = GitMessage("cannot read the checked-out commit");
        return -1;
    }

    // Which pages the checked-out commit holds, and which of them the work
    // tree changes, are known when these end; until then every page is
    // sought, and those they rule out are dropped as soon as they have.
    std::promise<CheckedOutPages> heldPromise;
    std::future<CheckedOutPages> held = heldPromise.get_future();
    std::future<WorkTreeChanges> status =
        std::async(std::launch::async, CompareWithCheckedOut, std::cref(site), std::cref(prefix), headTree,
                   std::cref(pages), std::ref(heldPromise));
    std::vector<char> committed(pages.size(), 0);
    std::vector<char> changed(pages.size(), 0);
    std::vector<char> beyond(pages.size(), 0);
    Wanted wanted(pages);
    Walk walk;
    const auto readHeld = [&]() {
        CheckedOutPages checkedOut = held.get();
        if (checkedOut.result != 0) {
            error = checkedOut.error;
            return -1;
        }
        std::vector<char> gone(pages.size(), 0);
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (checkedOut.found[i] == Found::InSubmodule)
                ++out.inSubmodule;
            else if (checkedOut.found[i] != Found::File)
                ++out.untracked;
            committed[i] = checkedOut.found[i] == Found::File;
            gone[i] = !committed[i];
        }
        walk.drop(gone, wanted);
        return 0;
    };
    const auto readStatus = [&]() {
        if (held.valid() && readHeld() != 0)
            return -1;
        WorkTreeChanges changes = status.get();
        if (changes.result != 0) {
            error = changes.error;
            return -1;
        }
        for (std::size_t i = 0; i < pages.size(); ++i)
            changed[i] = committed[i] && changes.paths.count(pages[i]);
        walk.drop(changed, wanted);
        return 0;
    };

    std::unordered_set<std::size_t> all;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        wanted.add(i);
        all.insert(i);
    }
    walk.push(std::move(headCommit), headTree, std::move(all));

    std::vector<std::size_t> changedPages;
    std::vector<std::size_t> alsoChanged;
    while (!walk.empty()) {
        // A future read is no longer valid.
        if (held.valid() && held.wait_for(std::chrono::seconds(0)) == std::future_status::ready && readHeld() != 0)
            return -1;
        if (status.valid() && status.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
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
        // A shallow clone: the history stops here, and this commit's content
        // is not its own change.
        bool boundary = shallow.count(*git_commit_id(visit.commit.get())) != 0;
        for (unsigned i = 0; i < parentCount && !boundary; ++i) {
            git_commit* parent = nullptr;
            const int result = git_commit_parent(&parent, visit.commit.get(), i);
            if (result == GIT_ENOTFOUND) {
                // A parent missing though no shallow file lists its child.
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
    if (status.valid() && readStatus() != 0)
        return -1;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (!committed[i]) {
            out.dates[i] = -1;  // dated by the walk before it was known to be no page of the commit
        } else if (changed[i]) {
            out.dates[i] = -1;  // the work tree's own file time stays
            ++out.changed;
        } else if (beyond[i]) {
            ++out.beyondHistory;
        }
    }
    return 0;
}

}  // namespace larkspur
