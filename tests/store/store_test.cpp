// The project store: its rules for every edit, the options that follow a
// project through rename and removal, the merge with another program's
// save, the lock, and the options file's odd lines and values.
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"
#include "project_store.h"
#include "saving_image.h"
#include "temp_tree.h"

namespace larkspur {
namespace {

using test::SavingFileImage;
using test::TempTree;
using Step = std::function<int(ProjectStore&, std::string&)>;

int Row(const ProjectStore& store, const std::string& name)
{
    const int row = store.find(name);
    EXPECT_GE(row, 0) << name;
    return row;
}

Step Add(const std::string& name, std::vector<std::string> exclude = {})
{
    return [=](ProjectStore& store, std::string& error) {
        const int row = store.add(name, error);
        if (row < 0)
            return -1;
        SitemapOptions options;
        options.exclude = exclude;
        store.setOptions(row, options);
        return 0;
    };
}
Step Rename(const std::string& from, const std::string& to)
{
    return [=](ProjectStore& store, std::string& error) { return store.rename(Row(store, from), to, error); };
}
Step Remove(const std::string& name)
{
    return [=](ProjectStore& store, std::string&) { return store.remove(Row(store, name)), 0; };
}
Step Folder(const std::string& name, const std::string& folder)
{
    return [=](ProjectStore& store, std::string& error) { return store.setFolder(Row(store, name), folder, error); };
}
Step Url(const std::string& name, const std::string& url)
{
    return [=](ProjectStore& store, std::string& error) { return store.setUrl(Row(store, name), url, error); };
}
Step Exclude(const std::string& name, const std::string& pattern)
{
    return [=](ProjectStore& store, std::string&) {
        SitemapOptions options = store.options(Row(store, name));
        options.exclude = {pattern};
        return store.setOptions(Row(store, name), options), 0;
    };
}
Step Save()
{
    return [](ProjectStore& store, std::string& error) {
        MergeReport report;
        return store.save(error, report);
    };
}
// Another program saves a change between this store's load and its save.
Step Elsewhere(Step change)
{
    return [=](ProjectStore& store, std::string& error) {
        ProjectStore other;
        return other.open(store.folder(), error) != 0 || other.load(error) != 0 || change(other, error) != 0
                    || Save()(other, error) != 0
                 ? -1
                 : 0;
    };
}
// Another program holds the lock: the store says it waits, then gives up.
Step WhileLocked(Step step)
{
    return [=](ProjectStore& store, std::string& error) {
        ProjectFileLock held;
        std::string notice;
        store.setLockPatience(std::chrono::milliseconds(0));
        store.setWaitingNotice([&notice](const std::string& text) { notice += text; });
        if (held.lock(store.folder(), error) != 0)
            return 0;
        const int result = step(store, error);
        EXPECT_EQ(notice, "waiting for another Larkspur program to finish with " + SavingFilePath(store.folder()));
        return result;
    };
}

// sitemap-options.ini a link to a file that can be read but not replaced:
// another user's (root may write anything else).
Step OptionsUnwritable()
{
    return [](ProjectStore& store, std::string&) {
        const std::string target = platform::JoinPath(store.folder(), "elsewhere/options.ini");
        const bool ok = ::symlink(target.c_str(), ProjectOptionsPath(store.folder()).c_str()) == 0;
        return ok && (::geteuid() == 0 ? ::chown(target.c_str(), 65534, 65534)
                                       : ::chmod(platform::JoinPath(store.folder(), "elsewhere").c_str(), 0500)) == 0
                 ? 0
                 : -1;
    };
}

// A project after saving and loading again: name, scales, exclusions, and
// the options whose stored value could not be read.
std::string Describe(const ProjectStore& store, int row)
{
    std::string text = store.project(row).name + ' ' + PriorityText(store.project(row).priorityIndex) + ' '
                     + FrequencyText(store.project(row).frequencyIndex);
    for (const std::string& pattern : store.options(row).exclude)
        text += " -" + pattern;
    for (const OptionProblem& problem : store.optionProblems(row))
        text += " bad " + problem.key;
    return text;
}

Step Problem(const std::string& name, const std::string& key)
{
    return [=](ProjectStore& store, std::string& error) {
        const auto& problems = store.optionProblems(Row(store, name));
        error = problems.empty() ? std::string() : problems.front().message;
        return problems.size() == 1 && problems.front().key == key ? 0 : -1;
    };
}

// Each edit breaks a rule: it is refused with why, and nothing changes.
TEST(ProjectStore, EditsFollowOneSetOfRules)
{
    const std::pair<Step, const char*> refused[] = {
        {Add(""), "a project needs a name"},
        {Add(std::string(260, 'n')), "at most 259 bytes"},
        {Add("a\tb"), "control characters"},
        {Add("a"), "a project named 'a' exists already"},
        {Rename("b", "a"), "a project named 'a' exists already"},
        {Url("a", "https://example.com/" + std::string(240, 'x')), "at most 259 bytes"},
        {Folder("a", "/x\ny"), "control characters"},
    };
    TempTree work;
    work.file("saving.dat", SavingFileImage({{"a", "/a", "u"}, {"b", "/b", "u"}}));
    for (const auto& [step, why] : refused) {
        SCOPED_TRACE(why);
        ProjectStore store;
        std::string error;
        ASSERT_EQ(store.open(work.root(), error) | store.load(error), 0) << error;
        EXPECT_EQ(step(store, error), -1);
        EXPECT_NE(error.find(why), std::string::npos) << error;
        EXPECT_FALSE(store.changed());
    }
}

struct StoreCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // in the working directory first
    std::vector<Step> steps;  // each succeeds, but the last fails with `error` when one is given
    std::string error;
    std::vector<std::string> projects;  // as Describe gives them, loaded again afterwards
    std::vector<std::string> notes;     // from that load
    const char* options;                // sitemap-options.ini holds this text afterwards
};

TEST(ProjectStore, SavesAndLoadsProjectsWithTheirOptions)
{
    const StoreCase cases[] = {
        {"names swapped keep their options", {},
         {Add("a", {"x"}), Add("b", {"y"}), Save(), Rename("a", "tmp"), Rename("b", "a"), Rename("tmp", "b"), Save()},
         "", {"b 0.6 weekly -x", "a 0.6 weekly -y"}, {}, ""},
        {"a removed project's options go", {}, {Add("a", {"x"}), Add("b"), Save(), Remove("a"), Save()}, "",
         {"b 0.6 weekly"}, {}, "[b]"},
        {"names and patterns that are not UTF-8", {},
         {Add("n\xff", {"caf\xe9.html"}), Add("n\xfe", {"y"}), Save()}, "",
         {"n\xff 0.6 weekly -caf\xe9.html", "n\xfe 0.6 weekly -y"}, {}, ""},
        {"merged with another program's save", {},
         {Add("a"), Save(), Exclude("a", "mine"), Elsewhere(Add("c", {"theirs"})), Save()}, "",
         {"a 0.6 weekly -mine", "c 0.6 weekly -theirs"}, {}, ""},
        {"lock held elsewhere", {}, {Add("a"), WhileLocked(Save())}, "another Larkspur program is still busy with",
         {}, {}, ""},
        {"a line without '=' is kept", {{"sitemap-options.ini", "[b]\nnot a setting\n; a comment\n[c]\nx=1\n"}},
         {Add("a", {"x"}), Add("b"), Save()}, "", {"a 0.6 weekly -x", "b 0.6 weekly"},
         {"'not a setting' cannot be read"}, "[b]\nnot a setting\n; a comment\n"},
        {"a bad value is named, then repaired", {{"saving.dat", SavingFileImage({{"a", "", ""}})},
          {"sitemap-options.ini", "[a]\nprotocol=0.85\nfuture=kept\n"}},
         {Problem("a", "protocol"), Exclude("a", "x"), Save()}, "", {"a 0.6 weekly -x"}, {},
         "[a]\ncanonical-only=no\nexclude=x\nextensions=\"html,htm\"\nfuture=kept\n"},
        {"options not writable: saving.dat neither", {{"elsewhere/options.ini", ""}},
         {OptionsUnwritable(), Add("a"), Save()}, "sitemap-options.ini", {}, {}, ""},
    };
    for (const StoreCase& test : cases) {
        SCOPED_TRACE(test.what);
        TempTree work;
        for (const auto& [name, content] : test.files)
            work.file(name, content);
        ProjectStore store;
        std::string error;
        ASSERT_EQ(store.open(work.root(), error) | store.load(error), 0) << error;
        for (std::size_t i = 0; i < test.steps.size(); ++i) {
            const bool last = i + 1 == test.steps.size();
            error.clear();
            EXPECT_EQ(test.steps[i](store, error), last && !test.error.empty() ? -1 : 0) << i << ": " << error;
        }
        EXPECT_NE(error.find(test.error), std::string::npos) << error;
        ProjectStore again;
        ASSERT_EQ(again.open(work.root(), error) | again.load(error), 0) << error;
        std::vector<std::string> projects;
        for (int row = 0; row < again.count(); ++row)
            projects.push_back(Describe(again, row));
        EXPECT_EQ(projects, test.projects);
        ASSERT_EQ(again.notes().size(), test.notes.size());
        for (std::size_t i = 0; i < test.notes.size(); ++i)
            EXPECT_NE(again.notes()[i].find(test.notes[i]), std::string::npos) << again.notes()[i];
        if (*test.options) {
            EXPECT_NE(work.read("sitemap-options.ini").find(test.options), std::string::npos)
                << work.read("sitemap-options.ini");
        }
    }
}

// The options file is written as every Larkspur file: through a link of the
// user's to the file it leads to, which keeps its mode.
TEST(ProjectStore, OptionsAreWrittenThroughALinkKeepingItsMode)
{
    TempTree work;
    work.file("elsewhere/options.ini", "");
    ::chmod(work.path("elsewhere/options.ini").c_str(), 0600);
    ASSERT_EQ(::symlink("elsewhere/options.ini", work.path("sitemap-options.ini").c_str()), 0);
    ProjectStore store;
    std::string error;
    ASSERT_EQ(store.open(work.root(), error) | store.load(error) | Add("blog", {"x"})(store, error)
                  | Save()(store, error),
              0)
        << error;
    struct stat st;
    ASSERT_EQ(::lstat(work.path("sitemap-options.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(work.path("elsewhere/options.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(work.read("elsewhere/options.ini").find("exclude=x"), std::string::npos);
}

}  // namespace
}  // namespace larkspur
