// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// projects, projects add/remove, and the sitemap commands on a saved
// project; saving.dat stays readable by the desktop program.
#include "cli_harness.h"

#include <gtest/gtest.h>

#include <future>

namespace larkspur::clitest {
namespace {

class Projects : public ::testing::Test {
protected:
    Projects() { box.folder("work"); }

    RunResult cli(std::vector<std::string> args, const RunOptions& options = {})
    {
        args.insert(args.end(), {"--working-dir", box.path("work")});
        return box.run(args, options);
    }
    RunResult add(const std::string& name, std::vector<std::string> more = {})
    {
        std::vector<std::string> args = {"projects", "add", name, "--path", "site", "--url", "https://example.com"};
        args.insert(args.end(), more.begin(), more.end());
        return cli(args);
    }
    std::string savingFile() const { return box.read("work/saving.dat"); }

    Sandbox box;
};

TEST_F(Projects, ListIsEmptyWithoutASavingFileAndCreatesNone)
{
    const RunResult r = cli({"projects"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(box.exists("work/saving.dat"));
}

TEST_F(Projects, AddedProjectsAreListedInOrderWithTabs)
{
    box.folder("site");
    ASSERT_EQ(add("first").status, 0);
    const RunResult second = cli({"projects", "add", "second site", "--path", box.path("site") + "/../site/",
                                  "--url", "HTTP://Example.org/Docs", "--priority", "1.0", "--changefreq", "daily"});
    ASSERT_EQ(second.status, 0) << second;
    EXPECT_EQ(second.out, "");
    const RunResult r = cli({"projects"});
    ASSERT_EQ(r.status, 0) << r;
    // The folder is stored absolute; the URL as it was given.
    EXPECT_EQ(r.out, "first\t" + box.path("site") + "\thttps://example.com\t0.6\tweekly\n"
                     "second site\t" + box.path("site") + "/\tHTTP://Example.org/Docs\t1.0\tdaily\n");
}

TEST_F(Projects, RelativePathIsStoredAgainstTheCurrentFolder)
{
    box.folder("sites/blog");
    RunOptions options;
    options.cwd = box.path("sites");
    const RunResult r = cli({"projects", "add", "blog", "--path", "./blog", "--url", "https://example.com"}, options);
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(cli({"projects"}).out, "blog\t" + box.path("sites/blog") + "\thttps://example.com\t0.6\tweekly\n");
}

// The desktop program reads the same file: fields at their offsets, 32
// records, 0x0A stored as CR LF (priority 1.0 is index 10).
TEST_F(Projects, SavingFileHasTheRecordLayout)
{
    ASSERT_EQ(add("blog", {"--priority", "1.0", "--changefreq", "never"}).status, 0);
    const std::string file = savingFile();
    EXPECT_EQ(file.size(), 43136u + 1u);
    const std::string image = RecordImage(file);
    ASSERT_EQ(image.size(), 43136u);
    EXPECT_EQ(TextAt(image, 0), "blog");
    EXPECT_EQ(TextAt(image, 260), box.path("site"));
    EXPECT_EQ(TextAt(image, 520), "https://example.com");
    EXPECT_EQ(IntAt(image, 780), 10);
    EXPECT_EQ(IntAt(image, 784), 6);
    // The run-time part of the record is stored as zeros; the other slots
    // are fresh: no name, "0.6" and "weekly".
    for (std::size_t i = 788; i < 1348; ++i)
        ASSERT_EQ(image[i], '\0') << "byte " << i;
    for (int slot = 1; slot < kImageSlots; ++slot) {
        EXPECT_EQ(TextAt(image, slot * kImageRecordSize), "");
        EXPECT_EQ(IntAt(image, slot * kImageRecordSize + 780), 6);
        EXPECT_EQ(IntAt(image, slot * kImageRecordSize + 784), 3);
    }
}

TEST_F(Projects, DuplicateNameFailsAndLeavesTheFile)
{
    ASSERT_EQ(add("blog").status, 0);
    const std::string before = savingFile();
    const RunResult r = add("blog", {"--priority", "0.1"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: a project named 'blog' exists already\n");
    EXPECT_EQ(savingFile(), before);
}

TEST_F(Projects, NamesDifferingInCaseAreDifferentProjects)
{
    ASSERT_EQ(add("blog").status, 0);
    EXPECT_EQ(add("Blog").status, 0);
    EXPECT_EQ(Lines(cli({"projects"}).out).size(), 2u);
}

TEST_F(Projects, TheThirtyThirdProjectIsRefused)
{
    for (int i = 1; i <= 32; ++i)
        ASSERT_EQ(add("site " + std::to_string(i)).status, 0) << i;
    const std::string before = savingFile();
    const RunResult r = add("site 33");
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: 32 projects in Maximum\n");
    EXPECT_EQ(savingFile(), before);
    const std::vector<std::string> listed = Lines(cli({"projects"}).out);
    ASSERT_EQ(listed.size(), 32u);
    EXPECT_EQ(listed.front().substr(0, listed.front().find('\t')), "site 1");
    EXPECT_EQ(listed.back().substr(0, listed.back().find('\t')), "site 32");
}

// Fifty adds at once, as a deploy script might start them: each one's read,
// change and write of saving.dat happens while no other is in between.
TEST_F(Projects, ParallelAddsKeepEveryProjectThatFits)
{
    std::vector<std::future<RunResult>> runs;
    for (int i = 0; i < 50; ++i)
        runs.push_back(std::async(std::launch::async, [this, i] { return add("p" + std::to_string(i)); }));
    int added = 0;
    for (auto& run : runs) {
        const RunResult r = run.get();
        if (r.status == 0) {
            ++added;
            continue;
        }
        EXPECT_EQ(r.status, 1) << r;
        // Each may have said it waited for another first.
        EXPECT_TRUE(r.err.ends_with("larkspur-cli: 32 projects in Maximum\n")) << r;
    }
    EXPECT_EQ(added, 32);
    const std::vector<std::string> listed = Lines(cli({"projects"}).out);
    ASSERT_EQ(listed.size(), 32u);
    // Removes take the same lock.
    std::vector<std::future<RunResult>> removes;
    for (int i = 0; i < 16; ++i) {
        const std::string name = listed[i].substr(0, listed[i].find('\t'));
        removes.push_back(std::async(std::launch::async, [this, name] { return cli({"projects", "remove", name}); }));
    }
    for (auto& run : removes)
        EXPECT_EQ(run.get().status, 0);
    EXPECT_EQ(Lines(cli({"projects"}).out).size(), 16u);
}

TEST_F(Projects, RemovingFromAFullTableMakesRoomAgain)
{
    for (int i = 1; i <= 32; ++i)
        ASSERT_EQ(add("site " + std::to_string(i)).status, 0) << i;
    ASSERT_EQ(cli({"projects", "remove", "site 32"}).status, 0);
    // The slot a removal clears is zero bytes: "0.0" and "always".
    const std::string image = RecordImage(savingFile());
    EXPECT_EQ(image.substr(31 * kImageRecordSize, kImageRecordSize), std::string(kImageRecordSize, '\0'));
    const RunResult r = add("site 33");
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(Lines(cli({"projects"}).out).back(), "site 33\t" + box.path("site") + "\thttps://example.com\t0.6\tweekly");
}

TEST_F(Projects, RemoveKeepsTheOrderOfTheOthers)
{
    for (const char* name : {"a", "b", "c"})
        ASSERT_EQ(add(name).status, 0);
    const RunResult r = cli({"projects", "remove", "b"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> listed = Lines(cli({"projects"}).out);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].substr(0, 2), "a\t");
    EXPECT_EQ(listed[1].substr(0, 2), "c\t");
}

TEST_F(Projects, RemovingAnUnknownNameFailsAndLeavesTheFile)
{
    ASSERT_EQ(add("blog").status, 0);
    const std::string before = savingFile();
    const RunResult r = cli({"projects", "remove", "Blog"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: no project named 'Blog'\n");
    EXPECT_EQ(savingFile(), before);
}

TEST_F(Projects, RemovingTheLastProjectLeavesAnEmptyList)
{
    ASSERT_EQ(add("blog").status, 0);
    ASSERT_EQ(cli({"projects", "remove", "blog"}).status, 0);
    EXPECT_EQ(cli({"projects"}).out, "");
    EXPECT_EQ(savingFile().size(), 43136u);
}

TEST_F(Projects, NameOfAtMost259BytesFits)
{
    const std::string longest(259, 'n');
    ASSERT_EQ(add(longest).status, 0);
    EXPECT_EQ(TextAt(RecordImage(savingFile()), 0), longest);
    const RunResult r = add(std::string(260, 'm'));
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("at most 259 bytes"), std::string::npos);
    EXPECT_EQ(Lines(cli({"projects"}).out).size(), 1u);
}

// The list is one project per line, its fields separated by tabs.
TEST_F(Projects, NameFolderOrUrlWithATabOrLineBreakIsRefused)
{
    const std::vector<std::vector<std::string>> cases = {
        {"a\tb", "site", "https://example.com"},
        {"a\nb", "site", "https://example.com"},
        {"a\rb", "site", "https://example.com"},
        {"p", "si\tte", "https://example.com"},
        {"p", "site\n", "https://example.com"},
        {"p", "site", "https://example.com/a\tb"},
        {"p", "site", "https://example.com/\n"},
        {"p", "site", "https://example.com/\x7F"},
    };
    for (const auto& c : cases) {
        const RunResult r = cli({"projects", "add", c[0], "--path", c[1], "--url", c[2]});
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_NE(r.err.find("control characters"), std::string::npos) << r;
    }
    EXPECT_FALSE(box.exists("work/saving.dat"));
}

TEST_F(Projects, AMissingWorkingDirectoryFails)
{
    const RunResult r = box.run({"projects", "--working-dir", box.path("nowhere")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: working directory " + box.path("nowhere") + ": No such file or directory\n");
}

TEST_F(Projects, AFolderNamedSavingDatFailsTheList)
{
    box.folder("work/saving.dat");
    const RunResult r = cli({"projects"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("cannot read the project table"), std::string::npos) << r;
}

// ----- sitemaps of a saved project

TEST_F(Projects, SitemapOfAProjectSavedByTheDesktopProgram)
{
    box.file("site/index.html", "i", k2006March7);
    box.file("work/saving.dat",
             SavingFileImage({{"other", "/nowhere", "https://other.example", 0, 0},
                              {"blog", box.path("site"), "https://Blog.Example.com/me", 9, 5}}));
    const RunResult r = cli({"xml", "--project", "blog"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, box.path("site") + "/sitemap.xml saved.\n");
    const std::string xml = box.read("site/sitemap.xml");
    EXPECT_NE(xml.find("<url>\r\n  <loc>https://blog.example.com/me/index.html</loc>\r\n  <lastmod>2006-03-07</lastmod>"
                       "\r\n  <changefreq>yearly</changefreq>\r\n  <priority>0.9</priority>\r\n</url>\r\n"),
              std::string::npos)
        << xml;
}

TEST_F(Projects, OptionsOverrideTheProjectsScales)
{
    box.file("site/index.html", "i", k2006March7);
    ASSERT_EQ(add("blog", {"--priority", "0.2", "--changefreq", "hourly"}).status, 0);
    const RunResult r = cli({"csv", "--project", "blog", "--priority", "0.8", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "loc,lastmod,changefreq,priority\r\nhttps://example.com/index.html,2006-03-07,hourly,0.8\r\n");
    const RunResult r2 = cli({"csv", "--project", "blog", "--changefreq", "yearly", "--output", "-"});
    EXPECT_EQ(r2.out, "loc,lastmod,changefreq,priority\r\nhttps://example.com/index.html,2006-03-07,yearly,0.2\r\n");
}

TEST_F(Projects, TxtOfAProjectGoesIntoItsFolderWhenTheCommandRunsElsewhere)
{
    box.file("site/index.html", "i", k2006March7);
    ASSERT_EQ(add("blog").status, 0);
    RunOptions options;
    options.cwd = box.path("work");
    const RunResult r = cli({"txt", "--project", "blog"}, options);
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(box.read("site/sitemap.txt"), "https://example.com/index.html\r\n");
    EXPECT_FALSE(box.exists("work/sitemap.txt"));
}

TEST_F(Projects, AnUnknownProjectFails)
{
    ASSERT_EQ(add("blog").status, 0);
    const RunResult r = cli({"xml", "--project", "news"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: no project named 'news'\n");
}

// A project saved with a URL the desktop program let through: a failure of
// the saved data, not of the command line.
TEST_F(Projects, AStoredInvalidUrlFailsWithStatusOneAndWritesNothing)
{
    box.file("site/index.html", "i", k2006March7);
    box.file("work/saving.dat", SavingFileImage({{"blog", box.path("site"), "www.example.com", 6, 3}}));
    const auto before = box.snapshot();
    const RunResult r = cli({"xml", "--project", "blog"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("the URL must be absolute"), std::string::npos) << r;
    EXPECT_EQ(box.snapshot(), before);
}

TEST_F(Projects, AProjectWhoseFolderIsGoneFails)
{
    box.file("work/saving.dat", SavingFileImage({{"blog", box.path("gone"), "https://example.com", 6, 3}}));
    const RunResult r = cli({"txt", "--project", "blog"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: " + box.path("gone") + ": No such file or directory\n");
}

TEST_F(Projects, AProjectNeedsAWorkingDirectory)
{
    const RunResult r = box.run({"xml", "--project", "blog"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("no working directory is set"), std::string::npos) << r;
    EXPECT_NE(r.err.find("--working-dir"), std::string::npos) << r;
}

}  // namespace
}  // namespace larkspur::clitest
