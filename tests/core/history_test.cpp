// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

#include <git2.h>
#include <git2/sys/mempack.h>
#include <git2/sys/repository.h>
#include <unistd.h>

#include "history/history.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;
using namespace std::string_literals;

namespace {

// libgit2 reads the user's and the system's git configuration, as git does;
// like the git commands below, it reads none here. The reference to the
// library held meanwhile keeps the empty search paths set.
class NoGitConfiguration : public ::testing::Environment {
    void SetUp() override
    {
        git_libgit2_init();
        for (const int level : {GIT_CONFIG_LEVEL_SYSTEM, GIT_CONFIG_LEVEL_XDG, GIT_CONFIG_LEVEL_GLOBAL,
                                GIT_CONFIG_LEVEL_PROGRAMDATA})
            git_libgit2_opts(GIT_OPT_SET_SEARCH_PATH, level, "");
    }
    void TearDown() override { git_libgit2_shutdown(); }
};
[[maybe_unused]] const auto* const kNoGitConfiguration = ::testing::AddGlobalTestEnvironment(new NoGitConfiguration);

// Neither the user's git configuration nor the system's, for git commands.
constexpr const char* kNoGitHome =
    "HOME=/dev/null XDG_CONFIG_HOME=/dev/null GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1 ";

bool HaveGit()
{
    return std::system(("export "s + kNoGitHome + "&& git --version >/dev/null 2>&1").c_str()) == 0;
}

// Runs git commands in `folder` with no user or system configuration, the
// author and committer dates set to `when` (seconds since 1970 UTC), and
// gives what they print, without its last line break.
std::string Git(const std::string& folder, const std::string& arguments, std::int64_t when = 1500000000)
{
    const std::string date = "'" + std::to_string(when) + " +0000'";
    const std::string command = "cd '" + folder + "' && export " + kNoGitHome +
                                "GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@example.org GIT_COMMITTER_NAME=t "
                                "GIT_COMMITTER_EMAIL=t@example.org GIT_AUTHOR_DATE=" + date +
                                " GIT_COMMITTER_DATE=" + date + " && git " + arguments + " 2>/dev/null";
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    for (int c; pipe && (c = std::fgetc(pipe)) != EOF;)
        text += static_cast<char>(c);
    EXPECT_TRUE(pipe && ::pclose(pipe) == 0) << command;
    if (text.ends_with('\n'))
        text.pop_back();
    return text;
}

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t k2020 = 1577836800;

std::map<std::string, std::int64_t> DatesOf(const std::string& site, const std::vector<std::string>& pages,
                                             CommitDates& dates)
{
    std::string error;
    EXPECT_EQ(ReadCommitDates(site, pages, dates, error), 0) << error;
    std::map<std::string, std::int64_t> byPage;
    for (std::size_t i = 0; i < pages.size() && i < dates.dates.size(); ++i)
        byPage[pages[i]] = dates.dates[i];
    return byPage;
}

}  // namespace

// A site in a folder of a repository with a rename, a merged branch and
// commits outside the site, cloned fresh so every file time is now.
// Repositories made for a test, in a tree of its own; skipped without git.
class CommitDatesFromGit : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveGit())
            GTEST_SKIP() << "git is not installed; it builds the test repositories";
    }
    // A new repository in the folder `name`, on the branch main.
    std::string init(const char* name)
    {
        const std::string folder = t.folder(name);
        Git(folder, "init -q -b main");
        return folder;
    }

    TempTree t;
};

TEST_F(CommitDatesFromGit, NewestChangeOfEachPageInAFreshClone)
{
    const std::string origin = init("origin");
    t.file("origin/site/a.html");
    t.file("origin/site/b.html");
    t.file("origin/site/docs/c.html");
    t.file("origin/site/e.html");
    t.file("origin/site/f.html");
    t.file("origin/other/x.html");
    t.file("origin/site/sub/p.html");  // a repository of its own: a submodule
    Git(t.path("origin/site/sub"), "init -q && git add -A && git commit -qm sub");
    Git(origin, "add -A && git commit -qm first", k2020);
    t.file("origin/site/a.html", "changed");
    Git(origin, "commit -qam second", k2020 + 10 * kDay);
    Git(origin, "mv site/docs/c.html site/docs/d.html && git commit -qm rename", k2020 + 20 * kDay);
    Git(origin, "checkout -qb side");
    t.file("origin/site/b.html", "on a branch");
    Git(origin, "commit -qam side", k2020 + 30 * kDay);
    t.file("origin/site/e.html", "on a branch, left out by the merge");
    Git(origin, "commit -qam side", k2020 + 32 * kDay);
    Git(origin, "checkout -q main");
    t.file("origin/other/x.html", "outside the site");
    Git(origin, "commit -qam outside", k2020 + 40 * kDay);
    t.file("origin/site/a.html", "on main");  // authored long before it was committed
    Git(origin, "commit -qam main --date=@" + std::to_string(k2020 + kDay), k2020 + 45 * kDay);
    // Both sides changed the site; the merge keeps main's e.html and changes f.html itself.
    Git(origin, "merge -q --no-commit side; git checkout main -- site/e.html", k2020 + 50 * kDay);
    t.file("origin/site/f.html", "changed by the merge");
    Git(origin, "commit -qam merge", k2020 + 50 * kDay);

    Git(t.root(), "clone -q origin clone");
    const std::string site = t.path("clone/site");
    t.file("clone/site/new.html");                   // untracked
    t.file("clone/site/docs/d.html", "edited");      // changed since the commit
    t.file("clone/site/c.html");                     // a name the history knows elsewhere
    t.file("clone/site/sub/p.html");                 // as a checked-out submodule holds it

    CommitDates dates;
    auto byPage = DatesOf(site, {"a.html", "b.html", "docs/d.html", "e.html", "f.html", "new.html", "c.html",
                                 "docs/c.html", "sub/p.html"}, dates);
    EXPECT_EQ(byPage["a.html"], k2020 + 45 * kDay);  // committed, not authored
    EXPECT_EQ(byPage["b.html"], k2020 + 30 * kDay);  // the branch's commit, not the merge
    EXPECT_EQ(byPage["e.html"], k2020);              // the branch's change was not merged
    EXPECT_EQ(byPage["f.html"], k2020 + 50 * kDay);
    for (const char* page : {"a.html", "b.html", "e.html", "f.html"})
        EXPECT_EQ(std::to_string(byPage[page]), Git(site, "log -1 --format=%ct -- "s + page)) << page;
    EXPECT_EQ(byPage["docs/d.html"], -1);
    EXPECT_EQ(byPage["new.html"], -1);
    EXPECT_EQ(byPage["c.html"], -1);
    EXPECT_EQ(byPage["docs/c.html"], -1);  // renamed away: no longer a page
    EXPECT_EQ(byPage["sub/p.html"], -1);
    EXPECT_EQ(dates.untracked, 3);
    EXPECT_EQ(dates.inSubmodule, 1);
    EXPECT_EQ(dates.changed, 1);
    EXPECT_EQ(dates.beyondHistory, 0);

    // The rename is a change of the new name; staged changes count as changes.
    Git(t.path("clone"), "checkout -q -- site/docs/d.html");
    t.file("clone/site/a.html", "staged");
    Git(t.path("clone"), "add site/a.html");
    Git(t.path("clone"), "rm -q --cached site/e.html");  // the file stays: only the index no longer has it
    byPage = DatesOf(site, {"a.html", "docs/d.html", "e.html"}, dates);
    EXPECT_EQ(byPage["docs/d.html"], k2020 + 20 * kDay);
    EXPECT_EQ(byPage["a.html"], -1);
    EXPECT_EQ(byPage["e.html"], -1);
    EXPECT_EQ(dates.changed, 2);
}

// Trees are compared entry by entry in git's order, where a folder sorts as
// if its name ended in "/": "a" the folder comes after "a-b.html" and
// "a.html" but before "a0.html", so adding a.html beside it changes nothing
// in it. A file that becomes a folder of the same name, and a file that only
// becomes executable, are changes too.
TEST_F(CommitDatesFromGit, NamesInGitsOrderFilesBecomingFoldersAndModes)
{
    const std::string repo = init("repo");
    for (const char* page : {"a-b.html", "a/p.html", "a0.html", "b", "x.html"})
        t.file("repo/"s + page);
    Git(repo, "add -A && git commit -qm first", k2020);
    std::int64_t day = 0;
    for (const char* page : {"a/p.html", "a.html", "a0.html", "a-b.html"}) {
        t.file("repo/"s + page, "changed");
        Git(repo, "add -A && git commit -qm change", k2020 + ++day * kDay);
    }
    Git(repo, "rm -q b && mkdir b && echo q > b/q.html && git add b && git commit -qm folder", k2020 + 10 * kDay);
    Git(repo, "update-index --chmod=+x x.html && git checkout -q -- . && git commit -qm mode", k2020 + 11 * kDay);
    t.file("repo/a.html", "last");
    Git(repo, "commit -qam last", k2020 + 12 * kDay);

    CommitDates dates;
    auto byPage = DatesOf(repo, {"a-b.html", "a.html", "a/p.html", "a0.html", "b/q.html", "x.html"}, dates);
    for (const auto& [page, date] : byPage)
        EXPECT_EQ(std::to_string(date), Git(repo, "log -1 --format=%ct -- " + page)) << page;
    EXPECT_EQ(byPage["a/p.html"], k2020 + kDay);
    EXPECT_EQ(byPage["x.html"], k2020 + 11 * kDay);
}

TEST_F(CommitDatesFromGit, AShallowCloneDatesOnlyWhatItsHistoryHolds)
{
    const std::string origin = init("origin");
    t.file("origin/a.html");
    t.file("origin/b.html");
    t.file("origin/c.html");
    Git(origin, "add -A && git commit -qm first", k2020);
    t.file("origin/a.html", "2");
    Git(origin, "commit -qam second", k2020 + kDay);
    t.file("origin/b.html", "3");
    Git(origin, "commit -qam third", k2020 + 2 * kDay);
    Git(t.root(), "clone -q --depth 2 file://" + origin + " clone");
    // The origin cut by hand where the clone is cut: git stops at the commits
    // .git/shallow lists even where their parents are there.
    std::ofstream(origin + "/.git/shallow") << "not an id\n" << Git(origin, "rev-parse HEAD~") << "\n";

    for (const std::string& repo : {t.path("clone"), origin}) {
        CommitDates dates;
        auto byPage = DatesOf(repo, {"a.html", "b.html", "c.html"}, dates);
        EXPECT_EQ(byPage["b.html"], k2020 + 2 * kDay) << repo;
        // The oldest commit held has no parent to compare with: what it
        // changed is as unknown as what came before it.
        EXPECT_EQ(byPage["a.html"], -1) << repo;
        EXPECT_EQ(byPage["c.html"], -1) << repo;
        EXPECT_EQ(dates.beyondHistory, 2) << repo;
    }
}

// Trees are read as stored: one cut short, its last id missing, is an error,
// not a read past its end.
TEST_F(CommitDatesFromGit, ATreeCutShortInTheHistoryIsAnError)
{
    const std::string repo = init("repo");
    t.file("short", "100644 b.html\0abcde"s);
    const std::string first =
        Git(repo, "commit-tree $(git hash-object -t tree --literally -w --stdin < ../short) -m short");
    t.file("repo/a.html");
    Git(repo, "add a.html && git update-ref HEAD $(git commit-tree $(git write-tree) -p " + first + " -m a)");
    CommitDates dates;
    std::string error;
    EXPECT_EQ(ReadCommitDates(repo, {"a.html"}, dates, error), -1);
    EXPECT_NE(error.find("not well formed"), std::string::npos) << error;
}

TEST(CommitDates, AFolderOutsideAnyWorkTreeIsAnError)
{
    TempTree t;
    t.file("site/a.html");
    CommitDates dates;
    std::string error;
    EXPECT_EQ(ReadCommitDates(t.path("site"), {"a.html"}, dates, error), -1);
    EXPECT_NE(error.find("not in a git work tree"), std::string::npos) << error;
    EXPECT_EQ(ReadCommitDates(t.path("missing"), {"a.html"}, dates, error), -1);
}

TEST_F(CommitDatesFromGit, ARepositoryOfAnotherUserIsRefusedAndSaidSo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give the test repository to another user";
    t.file("owned/a.html");
    Git(t.path("owned"), "init -q");
    ASSERT_EQ(std::system(("chown -R 65534:65534 '" + t.path("owned") + "'").c_str()), 0);
    CommitDates dates;
    std::string error;
    EXPECT_EQ(ReadCommitDates(t.path("owned"), {"a.html"}, dates, error), -1);
    EXPECT_NE(error.find("belongs to another user (see git's safe.directory)"), std::string::npos) << error;
}

namespace {

// The id of a tree of `depth` folders, each "a" holding the next, with one
// file at the bottom, stored in `repository` as a pack: git's own commands
// recurse once a folder and fail long before such a depth.
std::string DeepTree(const std::string& repository, int depth)
{
    git_odb* odb = nullptr;
    git_odb_backend* memory = nullptr;
    git_repository* repo = nullptr;
    git_packbuilder* pack = nullptr;
    git_treebuilder* builder = nullptr;
    git_buf data{};
    git_oid id;
    bool ok = git_odb_new(&odb) == 0 && git_mempack_new(&memory) == 0 && git_odb_add_backend(odb, memory, 1) == 0 &&
              git_repository_wrap_odb(&repo, odb) == 0 && git_packbuilder_new(&pack, repo) == 0 &&
              git_treebuilder_new(&builder, repo, nullptr) == 0 &&
              git_blob_create_from_buffer(&id, repo, "x", 1) == 0 && git_packbuilder_insert(pack, &id, nullptr) == 0;
    for (int level = 0; ok && level < depth; ++level) {
        git_treebuilder_clear(builder);
        ok = git_treebuilder_insert(nullptr, builder, level ? "a" : "x.html", &id,
                                    level ? GIT_FILEMODE_TREE : GIT_FILEMODE_BLOB) == 0 &&
             git_treebuilder_write(&id, builder) == 0 && git_packbuilder_insert(pack, &id, nullptr) == 0;
    }
    ok = ok && git_packbuilder_write_buf(&data, pack) == 0;
    if (ok)
        std::ofstream(repository + "/.git/objects/pack/pack-deep.pack", std::ios::binary).write(data.ptr, data.size);
    git_buf_dispose(&data);
    git_treebuilder_free(builder);
    git_packbuilder_free(pack);
    git_repository_free(repo);
    git_odb_free(odb);
    EXPECT_TRUE(ok) << git_error_last()->message;
    Git(repository, "index-pack .git/objects/pack/pack-deep.pack");
    return git_oid_tostr_s(&id);
}

}  // namespace

TEST_F(CommitDatesFromGit, FoldersNestedEightyThousandDeepInTheHistory)
{
    const std::string repo = init("repo");
    t.file("repo/a.html");
    Git(repo, "add -A && git commit -qm first", k2020);
    // One commit adds the deep tree beside a.html, the next takes it away.
    const std::string tree = Git(repo, "ls-tree HEAD | { cat; printf '040000 tree %s\\tdeep\\n' " +
                                           DeepTree(repo, 80000) + "; } | git mktree");
    const std::string deep = Git(repo, "commit-tree " + tree + " -p HEAD -m deep", k2020 + kDay);
    Git(repo, "update-ref HEAD $(git commit-tree HEAD^{tree} -p " + deep + " -m flat)", k2020 + 2 * kDay);
    CommitDates dates;
    EXPECT_EQ(DatesOf(repo, {"a.html"}, dates)["a.html"], k2020);
}
