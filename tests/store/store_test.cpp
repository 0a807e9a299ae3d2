// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The project store: its rules for every edit, the options that follow a
// project through rename and removal, the merge with another program's
// save, the lock, and the options file's odd lines and values.
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
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
    return store.find(name);
}

Step Add(const std::string& name, std::vector<std::string> exclude = {})
{
    return [=](ProjectStore& s, std::string& error) {
        SitemapOptions options;
        options.exclude = exclude;
        const int row = s.add(name, error);
        return row < 0 ? -1 : (s.setOptions(row, options), 0);
    };
}
Step Rename(const std::string& from, const std::string& to)
{
    return [=](ProjectStore& s, std::string& error) { return s.rename(Row(s, from), to, error); };
}
Step Remove(const std::string& name)
{
    return [=](ProjectStore& s, std::string&) { return s.remove(Row(s, name)), 0; };
}
Step Exclude(const std::string& name, const std::string& pattern)
{
    return [=](ProjectStore& s, std::string&) {
        SitemapOptions options = s.options(Row(s, name));
        options.exclude = {pattern};
        return s.setOptions(Row(s, name), options), 0;
    };
}
Step Gzip(const std::string& name)
{
    return [=](ProjectStore& s, std::string&) {
        SitemapOptions options = s.options(Row(s, name));
        options.gzip = true;
        return s.setOptions(Row(s, name), options), 0;
    };
}
Step Save()
{
    return [](ProjectStore& s, std::string& error) {
        MergeReport report;
        return s.save(error, report);
    };
}
// Another program saves a change between this store's load and its save.
Step Elsewhere(Step change)
{
    return [=](ProjectStore& s, std::string& error) {
        ProjectStore other;
        return other.open(s.folder(), error) | other.load(error) | change(other, error) | Save()(other, error);
    };
}
// Another program holds the lock: the store says it waits, then gives up.
Step WhileLocked(Step step)
{
    return [=](ProjectStore& s, std::string& error) {
        ProjectFileLock held;
        std::string notice;
        s.setLockPatience(std::chrono::milliseconds(0));
        s.setWaitingNotice([&notice](const std::string& text) { notice += text; });
        const int result = held.lock(s.folder(), error) == 0 ? step(s, error) : 0;
        EXPECT_EQ(notice, "waiting for another Larkspur program to finish with " + SavingFilePath(s.folder()));
        return result;
    };
}
// sitemap-options.ini a link to elsewhere/options.ini, of mode 0600, ours or
// another user's (which root may read but Larkspur does not replace).
Step Linked(bool foreign)
{
    return [=](ProjectStore& s, std::string&) {
        const std::string target = platform::JoinPath(s.folder(), "elsewhere/options.ini");
        return ::symlink(target.c_str(), ProjectOptionsPath(s.folder()).c_str()) | ::chmod(target.c_str(), 0600)
             | (!foreign                ? 0
                : ::geteuid() == 0 ? ::chown(target.c_str(), 65534, 65534)
                                   : ::chmod(platform::JoinPath(s.folder(), "elsewhere").c_str(), 0500));
    };
}
Step Problem(const std::string& name, const std::string& key)
{
    return [=](ProjectStore& s, std::string&) {
        const auto& problems = s.optionProblems(Row(s, name));
        return problems.size() == 1 && problems.front().key == key ? 0 : -1;
    };
}

// Each edit breaks a rule: it is refused with why, and nothing changes.
TEST(ProjectStore, EditsFollowOneSetOfRules)
{
    const auto url = [](const std::string& to) {
        return [=](ProjectStore& s, std::string& error) { return s.setUrl(0, to, error); };
    };
    const std::pair<Step, const char*> refused[] = {
        {Add(""), "a project needs a name"},
        {Add(std::string(260, 'n')), "at most 259 bytes"},
        {Add("a\tb"), "control characters"},
        {Add("a"), "a project named 'a' exists already"},
        {Rename("b", "a"), "a project named 'a' exists already"},
        {url("https://example.com/" + std::string(240, 'x')), "at most 259 bytes"},
        {[](ProjectStore& s, std::string& error) { return s.setFolder(0, "/x\ny", error); }, "control characters"},
    };
    TempTree work;
    work.file("saving.dat", SavingFileImage({{"a", "/a", "u"}, {"b", "/b", "u"}}));
    for (const auto& [step, why] : refused) {
        ProjectStore store;
        std::string error;
        ASSERT_EQ(store.open(work.root(), error) | store.load(error), 0) << error;
        EXPECT_EQ(step(store, error), -1) << why;
        EXPECT_NE(error.find(why), std::string::npos) << error;
        EXPECT_FALSE(store.changed()) << why;
    }
}

struct StoreCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // in the working directory first
    std::vector<Step> steps;  // each succeeds, but the last fails with `error` when one is given
    std::string error;
    std::vector<std::string> projects;  // name and exclusions, loaded again afterwards
    const char* note;                   // that load's note, if any
    const char* options;                // sitemap-options.ini holds this text afterwards
};

TEST(ProjectStore, SavesAndLoadsProjectsWithTheirOptions)
{
    const StoreCase cases[] = {
        {"names swapped keep their options", {},
         {Add("a", {"x"}), Add("b", {"y"}), Save(), Rename("a", "tmp"), Rename("b", "a"), Rename("tmp", "b"), Save()},
         "", {"b -x", "a -y"}, "", ""},
        {"a removed project's options go", {}, {Add("a", {"x"}), Add("b"), Save(), Remove("a"), Save()}, "", {"b"}, "",
         "[b]"},
        {"names and patterns that are not UTF-8", {}, {Add("n\xff", {"caf\xe9.html"}), Add("n\xfe", {"y"}), Save()},
         "", {"n\xff -caf\xe9.html", "n\xfe -y"}, "", ""},
        {"merged with another program's save", {},
         {Add("a"), Save(), Exclude("a", "mine"), Elsewhere(Add("c", {"theirs"})), Save()}, "",
         {"a -mine", "c -theirs"}, "", ""},
        {"options changed here and elsewhere: each side's change stays", {},
         {Add("a"), Save(), Elsewhere(Exclude("a", "theirs")), Gzip("a"), Save()}, "", {"a -theirs"}, "",
         "gzip=yes"},
        {"options changed here, the project removed elsewhere: kept, as for its other fields", {},
         {Add("a"), Add("b"), Save(), Elsewhere(Remove("a")), Exclude("a", "mine"), Save()}, "", {"b", "a -mine"}, "",
         ""},
        {"renamed here to a name added elsewhere: one project, this side's", {},
         {Add("a", {"mine"}), Save(), Rename("a", "z"), Elsewhere(Add("z", {"theirs"})), Save()}, "", {"z -mine"},
         "", ""},
        {"one of two of a name removed: the other keeps its options",
         {{"saving.dat", SavingFileImage({{"x", "/a", "u"}, {"x", "/b", "u"}})}, {"sitemap-options.ini", "[x]\nexclude=keep\n"}},
         {Remove("x"), Save()}, "", {"x -keep"}, "", ""},
        {"lock held elsewhere", {}, {Add("a"), WhileLocked(Save())}, "another Larkspur program is still busy", {},
         "", ""},
        {"a line without '=' is kept", {{"sitemap-options.ini", "[b]\nnot a setting\n; a comment\n[c]\nx=1\n"}},
         {Add("a", {"x"}), Add("b"), Save()}, "", {"a -x", "b"}, "'not a setting' cannot be read",
         "[b]\nnot a setting\n; a comment\n"},
        {"a bad value is named, then repaired",
         {{"saving.dat", SavingFileImage({{"a", "", ""}})}, {"sitemap-options.ini", "[a]\nprotocol=0.85\nfuture=kept\n"}},
         {Problem("a", "protocol"), Exclude("a", "x"), Save()}, "", {"a -x"}, "",
         "[a]\ncanonical-only=no\nexclude=x\nextensions=\"html,htm\"\nfuture=kept\n"},
        {"written through a link of ours", {{"elsewhere/options.ini", ""}}, {Linked(false), Add("a", {"x"}), Save()},
         "", {"a -x"}, "", "exclude=x"},
        {"options not writable: saving.dat neither", {{"elsewhere/options.ini", ""}},
         {Linked(true), Add("a"), Save()}, "sitemap-options.ini", {}, "", ""},
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
            error.clear();
            const bool fails = i + 1 == test.steps.size() && !test.error.empty();
            EXPECT_EQ(test.steps[i](store, error), fails ? -1 : 0) << i << ": " << error;
        }
        EXPECT_NE(error.find(test.error), std::string::npos) << error;
        ProjectStore again;
        ASSERT_EQ(again.open(work.root(), error) | again.load(error), 0) << error;
        std::vector<std::string> projects;
        for (int row = 0; row < again.count(); ++row) {
            projects.push_back(again.project(row).name);
            for (const std::string& pattern : again.options(row).exclude)
                projects.back() += " -" + pattern;
        }
        EXPECT_EQ(projects, test.projects);
        EXPECT_EQ(again.notes().size(), *test.note ? 1u : 0u);
        for (const std::string& note : again.notes())
            EXPECT_NE(note.find(test.note), std::string::npos) << note;
        EXPECT_NE(*test.options ? work.read("sitemap-options.ini").find(test.options) : 0, std::string::npos);
        struct stat st;
        if (work.exists("elsewhere")) {  // a link stays a link, its file keeps its mode
            EXPECT_TRUE(::lstat(ProjectOptionsPath(work.root()).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
            EXPECT_TRUE(::stat(work.path("elsewhere/options.ini").c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
        }
    }
}

}  // namespace
}  // namespace larkspur
