// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Two programs on one saving.dat: the lock, and the merge the window does
// when the file changed while it was open.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/paths.h"
#include "projects/projects.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

// A project as the tests write it: name, folder and URL.
struct P {
    std::string name, path, url;
    bool operator==(const P&) const = default;
};

std::ostream& operator<<(std::ostream& os, const P& p)
{
    return os << p.name << '|' << p.path << '|' << p.url;
}

ProjectTable Table(const std::vector<P>& projects)
{
    ProjectTable table;
    for (const P& p : projects) {
        const int slot = AddProject(table, p.name);
        table.slots[slot].localPath = p.path;
        table.slots[slot].websiteUrl = p.url;
    }
    return table;
}

std::vector<P> Projects(const ProjectTable& table)
{
    std::vector<P> out;
    for (int i = 0; i < table.projectCount; ++i)
        out.push_back({table.slots[i].name, table.slots[i].localPath, table.slots[i].websiteUrl});
    return out;
}

// A table as a program holds it, with what it changed since loading.
struct Held {
    ProjectTable table;
    ProjectChanges changes;
};

Held Loaded(const std::vector<P>& projects)
{
    Held held{Table(projects), {}};
    for (int i = 0; i < held.table.projectCount; ++i)
        held.changes[i].loadedSlot = i;
    return held;
}

// What the window does to its copy, marking what the user edited; `nth`
// picks among projects of one name.
int Named(const Held& h, const std::string& name, int nth = 0)
{
    for (int i = 0; i < h.table.projectCount; ++i) {
        if (h.table.slots[i].name == name && nth-- == 0)
            return i;
    }
    return -1;
}
auto SetUrl(const std::string& name, const std::string& url, int nth = 0)
{
    return [=](Held& h) {
        const int i = Named(h, name, nth);
        h.table.slots[i].websiteUrl = url;
        h.changes[i].edited |= kEditedWebsiteUrl;
    };
}
auto Rename(const std::string& name, const std::string& to)
{
    return [=](Held& h) {
        const int i = Named(h, name);
        h.changes[i].edited |= kEditedName;
        h.table.slots[i].name = to;
    };
}
auto Remove(const std::string& name)
{
    return [=](Held& h) {
        const int i = Named(h, name);
        RemoveProject(h.table, i);
        std::move(h.changes.begin() + i + 1, h.changes.end(), h.changes.begin() + i);
        h.changes.back() = {};
    };
}
auto Add(const std::string& name, const std::string& url)
{
    return [=](Held& h) { h.table.slots[AddProject(h.table, name)].websiteUrl = url; };
}

struct MergeCase {
    const char* what;
    std::vector<P> loaded;
    std::vector<std::function<void(Held&)>> here;
    std::vector<P> there;  // the file now
    std::vector<P> expected;
    std::vector<std::string> overruled;
};

const P a{"a", "/a", "u"}, b{"b", "/b", "u"}, c{"c", "/c", "u"}, d{"d", "/d", "u"}, a2{"a", "/a2", "u"};

TEST(MergeProjects, ByName)
{
    const MergeCase cases[] = {
        {"added there, edited here", {a, b}, {SetUrl("a", "mine")}, {a, b, c}, {{"a", "/a", "mine"}, b, c}, {}},
        {"removed there, untouched here", {a, b}, {}, {a}, {a}, {}},
        {"removed there, edited here", {a, b}, {SetUrl("b", "mine")}, {a}, {a, {"b", "/b", "mine"}}, {"b"}},
        {"added on both sides", {a}, {Add("x", "mine")}, {a, c}, {a, c, {"x", "", "mine"}}, {}},
        {"removed here, there added", {a, b}, {Remove("a")}, {a, b, c}, {b, c}, {}},
        {"removed here, edited there", {a, b}, {Remove("a")}, {{"a", "/a", "theirs"}, b}, {b}, {"a"}},
        {"one field each side", {a}, {SetUrl("a", "mine")}, {{"a", "/new", "u"}}, {{"a", "/new", "mine"}}, {}},
        {"same field both sides", {a}, {SetUrl("a", "mine")}, {{"a", "/a", "theirs"}}, {{"a", "/a", "mine"}}, {"a"}},
        {"one name added on both", {a}, {Add("x", "mine")}, {a, {"x", "/x", "theirs"}}, {a, {"x", "", "mine"}}, {"x"}},
        {"renamed here", {a, b}, {Rename("a", "z")}, {a, b, c}, {{"z", "/a", "u"}, b, c}, {}},
        {"removed there and re-added", {a, b}, {}, {b, {"a", "/a", "new"}}, {b, {"a", "/a", "new"}}, {}},
        {"repeated names pair in order", {a, a}, {SetUrl("a", "mine")}, {a, a}, {{"a", "/a", "mine"}, a}, {}},
        {"the second of a repeated name", {a, a2}, {SetUrl("a", "mine", 1)}, {a, a2, c}, {a, {"a", "/a2", "mine"}, c}, {}},
        {"two removed here, one added there", {a, b, c}, {Remove("a"), Remove("b")}, {a, b, c, d}, {c, d}, {}},
    };
    for (const MergeCase& test : cases) {
        SCOPED_TRACE(test.what);
        Held ours = Loaded(test.loaded);
        for (const auto& change : test.here)
            change(ours);
        ProjectTable merged;
        MergeReport report;
        MergeProjects(Table(test.loaded), ours.table, ours.changes, Table(test.there), merged, report);
        EXPECT_EQ(Projects(merged), test.expected);
        EXPECT_EQ(report.overruled, test.overruled);
        EXPECT_TRUE(report.notKept.empty());
    }
}

TEST(MergeProjects, AdditionsBeyondAFullTableAreReportedNotKept)
{
    std::vector<P> full;
    for (int i = 0; i < kMaxProjects; ++i)
        full.push_back({"p" + std::to_string(i), "/p", "u"});
    Held ours = Loaded({});
    AddProject(ours.table, "mine");
    ProjectTable merged;
    MergeReport report;
    MergeProjects(Table({}), ours.table, ours.changes, Table(full), merged, report);
    EXPECT_EQ(Projects(merged), full);
    EXPECT_EQ(report.notKept, std::vector<std::string>{"mine"});
}

// Against the file as it is now: merged only when another program changed
// it since loading.
TEST(MergeWithSavedProjects, MergesOnlyWhenTheFileChanged)
{
    TempTree dir;
    ASSERT_EQ(SaveProjects(Table({a, b}), dir.root()), 0);
    Held window = Loaded({});
    ProjectSnapshot snapshot;
    ASSERT_EQ(LoadProjects(window.table, dir.root(), nullptr, nullptr, &snapshot), 0);
    window.changes = Loaded({a, b}).changes;
    Remove("b")(window);
    ProjectTable merged;
    MergeReport report;
    ASSERT_EQ(MergeWithSavedProjects(window.table, window.changes, snapshot, dir.root(), merged, report), 0);
    EXPECT_FALSE(report.merged);

    // Now another program adds c and removes a behind the window's back.
    ASSERT_EQ(SaveProjects(Table({b, c}), dir.root()), 0);
    ASSERT_EQ(MergeWithSavedProjects(window.table, window.changes, snapshot, dir.root(), merged, report), 0);
    EXPECT_TRUE(report.merged);
    EXPECT_EQ(Projects(merged), std::vector<P>{c});
}

TEST(StoredFolder, IsAbsoluteAndPlain)
{
    const std::string here = std::filesystem::current_path().string();
    const std::string up = std::filesystem::current_path().parent_path().string();
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"/srv/a/./b/../c/", "/srv/a/c/"},
        {"site", here + "/site"},
        {"../work/", up + (up == "/" ? "work/" : "/work/")},
    };
    for (const auto& [typed, stored] : cases)
        EXPECT_EQ(StoredFolder(typed), stored) << typed;
}

// 0 when another process could take the lock file's flock right now.
int ProbeFromAnotherProcess(const std::string& lockPath)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(lockPath.c_str(), O_RDWR);
        ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProjectFileLock, IsExclusiveBetweenProcessesAndRefusesALink)
{
    TempTree dir;
    {
        ProjectFileLock held;
        std::string error;
        ASSERT_EQ(held.lock(dir.root(), error), 0) << error;
        EXPECT_EQ(ProbeFromAnotherProcess(SavingLockPath(dir.root())), 1);
        // Whoever may open the lock file may hold it: the owner alone.
        struct stat st;
        ASSERT_EQ(::stat(SavingLockPath(dir.root()).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_EQ(ProbeFromAnotherProcess(SavingLockPath(dir.root())), 0);

    TempTree other;
    ASSERT_EQ(::symlink(other.path("elsewhere").c_str(), SavingLockPath(other.root()).c_str()), 0);
    ProjectFileLock linked;
    std::string error;
    EXPECT_EQ(linked.lock(other.root(), error), -1);
    EXPECT_NE(error.find("saving.dat.lock"), std::string::npos) << error;
    EXPECT_FALSE(platform::Exists(other.path("elsewhere")));
}

}  // namespace
