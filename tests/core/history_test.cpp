#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "history/history.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

bool HaveGit()
{
    return std::system("git --version >/dev/null 2>&1") == 0;
}

// Runs git commands in `folder` with no user or system configuration, the
// author and committer dates set to `when` (seconds since 1970 UTC).
void Git(const std::string& folder, const std::string& arguments, std::int64_t when = 1500000000)
{
    const std::string date = "'" + std::to_string(when) + " +0000'";
    const std::string command = "cd '" + folder + "' && export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1 "
                                "GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@example.org GIT_COMMITTER_NAME=t "
                                "GIT_COMMITTER_EMAIL=t@example.org GIT_AUTHOR_DATE=" + date +
                                " GIT_COMMITTER_DATE=" + date + " && git " + arguments + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
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
TEST(CommitDates, NewestChangeOfEachPageInAFreshClone)
{
    if (!HaveGit())
        GTEST_SKIP() << "git is not installed; it builds the test repositories";
    TempTree t;
    const std::string origin = t.folder("origin");
    Git(origin, "init -q -b main");
    t.file("origin/site/a.html");
    t.file("origin/site/b.html");
    t.file("origin/site/docs/c.html");
    t.file("origin/other/x.html");
    Git(origin, "add -A && git commit -qm first", k2020);
    t.file("origin/site/a.html", "changed");
    Git(origin, "commit -qam second", k2020 + 10 * kDay);
    Git(origin, "mv site/docs/c.html site/docs/d.html && git commit -qm rename", k2020 + 20 * kDay);
    Git(origin, "checkout -qb side");
    t.file("origin/site/b.html", "on a branch");
    Git(origin, "commit -qam side", k2020 + 30 * kDay);
    Git(origin, "checkout -q main");
    t.file("origin/other/x.html", "outside the site");
    Git(origin, "commit -qam outside", k2020 + 40 * kDay);
    Git(origin, "merge -q --no-edit side", k2020 + 50 * kDay);

    Git(t.root(), "clone -q origin clone");
    const std::string site = t.path("clone/site");
    t.file("clone/site/new.html");                   // untracked
    t.file("clone/site/docs/d.html", "edited");      // changed since the commit
    t.file("clone/site/c.html");                     // a name the history knows elsewhere

    CommitDates dates;
    auto byPage = DatesOf(site, {"a.html", "b.html", "docs/d.html", "new.html", "c.html", "docs/c.html"}, dates);
    EXPECT_EQ(byPage["a.html"], k2020 + 10 * kDay);
    EXPECT_EQ(byPage["b.html"], k2020 + 30 * kDay);  // the branch's commit, not the merge
    EXPECT_EQ(byPage["docs/d.html"], -1);
    EXPECT_EQ(byPage["new.html"], -1);
    EXPECT_EQ(byPage["c.html"], -1);
    EXPECT_EQ(byPage["docs/c.html"], -1);  // renamed away: no longer a page
    EXPECT_EQ(dates.untracked, 3);
    EXPECT_EQ(dates.changed, 1);
    EXPECT_EQ(dates.beyondHistory, 0);

    // The rename is a change of the new name; staged changes count as changes.
    Git(t.path("clone"), "checkout -q -- site/docs/d.html");
    t.file("clone/site/a.html", "staged");
    Git(t.path("clone"), "add site/a.html");
    byPage = DatesOf(site, {"a.html", "docs/d.html"}, dates);
    EXPECT_EQ(byPage["docs/d.html"], k2020 + 20 * kDay);
    EXPECT_EQ(byPage["a.html"], -1);
    EXPECT_EQ(dates.changed, 1);
}

TEST(CommitDates, AShallowCloneDatesOnlyWhatItsHistoryHolds)
{
    if (!HaveGit())
        GTEST_SKIP() << "git is not installed; it builds the test repositories";
    TempTree t;
    const std::string origin = t.folder("origin");
    Git(origin, "init -q -b main");
    t.file("origin/a.html");
    t.file("origin/b.html");
    t.file("origin/c.html");
    Git(origin, "add -A && git commit -qm first", k2020);
    t.file("origin/a.html", "2");
    Git(origin, "commit -qam second", k2020 + kDay);
    t.file("origin/b.html", "3");
    Git(origin, "commit -qam third", k2020 + 2 * kDay);
    Git(t.root(), "clone -q --depth 2 file://" + origin + " clone");

    CommitDates dates;
    auto byPage = DatesOf(t.path("clone"), {"a.html", "b.html", "c.html"}, dates);
    EXPECT_EQ(byPage["b.html"], k2020 + 2 * kDay);
    // The clone's oldest commit has no parent to compare with: what it
    // changed is as unknown as what came before it.
    EXPECT_EQ(byPage["a.html"], -1);
    EXPECT_EQ(byPage["c.html"], -1);
    EXPECT_EQ(dates.beyondHistory, 2);
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
