// Two programs on one saving.dat: the lock, and the merge the window does
// when the file changed while it was open.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

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
        table.slots[slot].loadedSlot = slot;  // as if loaded
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

// What the window does to its copy, marking what the user edited.
ProjectRecord& Named(ProjectTable& t, const std::string& name)
{
    return t.slots[FindProject(t, name)];
}
auto SetUrl(const std::string& name, const std::string& url)
{
    return [=](ProjectTable& t) {
        Named(t, name).websiteUrl = url;
        Named(t, name).edited |= kEditedWebsiteUrl;
    };
}
auto Rename(const std::string& name, const std::string& to)
{
    return [=](ProjectTable& t) {
        Named(t, name).edited |= kEditedName;
        Named(t, name).name = to;
    };
}
auto Remove(const std::string& name)
{
    return [=](ProjectTable& t) { RemoveProject(t, FindProject(t, name)); };
}
auto Add(const std::string& name, const std::string& url)
{
    return [=](ProjectTable& t) { t.slots[AddProject(t, name)].websiteUrl = url; };
}

struct MergeCase {
    const char* what;
    std::vector<P> loaded;
    std::vector<std::function<void(ProjectTable&)>> here;
    std::vector<P> there;  // the file now
    std::vector<P> expected;
    std::vector<std::string> overruled;
};

const P a{"a", "/a", "u"}, b{"b", "/b", "u"}, c{"c", "/c", "u"};

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
    };
    for (const MergeCase& test : cases) {
        SCOPED_TRACE(test.what);
        const ProjectTable loaded = Table(test.loaded);
        ProjectTable ours = Table(test.loaded);
        for (const auto& change : test.here)
            change(ours);
        ProjectTable merged;
        MergeReport report;
        MergeProjects(loaded, ours, Table(test.there), merged, report);
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
    ProjectTable ours = Table({});
    AddProject(ours, "mine");
    ProjectTable merged;
    MergeReport report;
    MergeProjects(Table({}), ours, Table(full), merged, report);
    EXPECT_EQ(Projects(merged), full);
    EXPECT_EQ(report.notKept, std::vector<std::string>{"mine"});
}

// The whole round as the window does it, against a file another program
// changed meanwhile; the slots follow the file's rules (a removal clears
// slot 31 to zeros), and a file nobody else touched is written as before.
TEST(SaveMergedProjects, MergesOnlyWhenTheFileChanged)
{
    TempTree dir;
    ASSERT_EQ(SaveProjects(Table({a, b}), dir.root()), 0);
    ProjectTable window;
    ProjectSnapshot snapshot;
    ASSERT_EQ(LoadProjects(window, dir.root(), nullptr, nullptr, &snapshot), 0);

    // Unchanged elsewhere: what the window holds is what is written.
    RemoveProject(window, 1);
    MergeReport report;
    ASSERT_EQ(SaveMergedProjects(window, snapshot, dir.root(), &report), 0);
    EXPECT_FALSE(report.merged);
    std::string file, error;
    ASSERT_EQ(platform::ReadFile(SavingFilePath(dir.root()), file, error), 0);
    EXPECT_EQ(file, EncodeTable(window));

    // Now another program adds c and removes a behind the window's back.
    ProjectTable other;
    LoadProjects(other, dir.root());
    AddProject(other, "c");
    RemoveProject(other, 0);
    ASSERT_EQ(SaveProjects(other, dir.root()), 0);
    ASSERT_EQ(SaveMergedProjects(window, snapshot, dir.root(), &report), 0);
    EXPECT_TRUE(report.merged);
    ProjectTable after;
    LoadProjects(after, dir.root());
    ASSERT_EQ(after.projectCount, 1);
    EXPECT_EQ(after.slots[0].name, "c");
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
