// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The working directory the command line takes when --working-dir is not
// given: the value the desktop program stores in the user's settings.
#include "cli_harness.h"
#include "settings.h"

#include <gtest/gtest.h>

namespace larkspur::clitest {
namespace {

// Stores `folder` as the desktop program does, in a child process whose home
// is the sandbox's (the settings store reads its location once per process).
int StoreAsTheDesktopProgramDoes(const Sandbox& box, const std::string& folder)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", box.home().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", box.configHome().c_str(), 1);
        ::_exit(WriteWorkingDirectory(folder) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class StoredWorkingDirectory : public ::testing::Test {
protected:
    StoredWorkingDirectory()
    {
        // A project in the working directory tells which folder was used.
        box.folder("work");
        box.folder("other");
        EXPECT_EQ(box.run({"projects", "add", "in work", "--path", "site", "--url", "https://example.com",
                           "--working-dir", box.path("work")}).status, 0);
        EXPECT_EQ(box.run({"projects", "add", "in other", "--path", "site", "--url", "https://example.com",
                           "--working-dir", box.path("other")}).status, 0);
    }
    void writeSettings(const std::string& text, const std::string& configHome) const
    {
        box.file(configHome.substr(box.root().size() + 1) + "/Brindle/Larkspur.conf", text);
    }
    static std::string listedName(const RunResult& r) { return r.out.substr(0, r.out.find('\t')); }

    Sandbox box;
};

TEST_F(StoredWorkingDirectory, SetByTheDesktopProgramIsUsed)
{
    ASSERT_EQ(StoreAsTheDesktopProgramDoes(box, box.path("work")), 0);
    // The store is an INI file; the space of the key is written as %20.
    EXPECT_EQ(box.read("home/.config/Brindle/Larkspur.conf"),
              "[General]\nworking%20directory=" + box.path("work") + "\n");
    const RunResult r = box.run({"projects"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(listedName(r), "in work");
}

TEST_F(StoredWorkingDirectory, WithACommaAndNonAsciiLettersRoundTrips)
{
    const std::string odd = box.folder("caf\xC3\xA9, \"work\"; #1");
    ASSERT_EQ(box.run({"projects", "add", "odd", "--path", "site", "--url", "https://example.com", "--working-dir",
                       odd}).status, 0);
    ASSERT_EQ(StoreAsTheDesktopProgramDoes(box, odd), 0);
    const RunResult r = box.run({"projects"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(listedName(r), "odd");
}

struct KeyCase {
    const char* name;
    const char* key;
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.key;
}

class SettingsKey : public StoredWorkingDirectory, public ::testing::WithParamInterface<KeyCase> {};

// Written by hand, the key may be spelt with the space or with %20.
TEST_P(SettingsKey, IsReadInEitherSpelling)
{
    writeSettings(std::string("[General]\n") + GetParam().key + "=" + box.path("work") + "\n", box.configHome());
    const RunResult r = box.run({"projects"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(listedName(r), "in work");
}

INSTANTIATE_TEST_SUITE_P(Cli, SettingsKey,
                         ::testing::Values(KeyCase{"Escaped", "working%20directory"},
                                           KeyCase{"Spaced", "working directory"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoredWorkingDirectory, WithoutXdgConfigHomeTheHomeConfigFolderIsRead)
{
    writeSettings("[General]\nworking%20directory=" + box.path("work") + "\n", box.home() + "/.config");
    RunOptions options;
    options.withXdgConfigHome = false;
    const RunResult r = box.run({"projects"}, options);
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(listedName(r), "in work");
}

TEST_F(StoredWorkingDirectory, XdgConfigHomeIsPreferredToTheHomeConfigFolder)
{
    box.folder("xdg");
    writeSettings("[General]\nworking%20directory=" + box.path("work") + "\n", box.home() + "/.config");
    writeSettings("[General]\nworking%20directory=" + box.path("other") + "\n", box.path("xdg"));
    RunOptions options;
    options.withXdgConfigHome = false;
    options.extraEnvironment = {"XDG_CONFIG_HOME=" + box.path("xdg")};
    const RunResult r = box.run({"projects"}, options);
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(listedName(r), "in other");
}

TEST_F(StoredWorkingDirectory, WorkingDirOptionWinsOverTheStoredValue)
{
    ASSERT_EQ(StoreAsTheDesktopProgramDoes(box, box.path("work")), 0);
    const auto settings = box.read("home/.config/Brindle/Larkspur.conf");
    const RunResult r = box.run({"projects", "--working-dir", box.path("other")});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(listedName(r), "in other");
    // The option is for this run only: the stored value is not changed.
    EXPECT_EQ(box.read("home/.config/Brindle/Larkspur.conf"), settings);
}

TEST_F(StoredWorkingDirectory, AStoredFolderThatIsGoneFails)
{
    ASSERT_EQ(StoreAsTheDesktopProgramDoes(box, box.path("deleted")), 0);
    const RunResult r = box.run({"projects"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: working directory " + box.path("deleted") + ": No such file or directory\n");
}

TEST_F(StoredWorkingDirectory, AnEmptyStoredValueCountsAsNone)
{
    writeSettings("[General]\nworking%20directory=\n", box.configHome());
    const RunResult r = box.run({"projects"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("no working directory is set"), std::string::npos) << r;
}

TEST_F(StoredWorkingDirectory, NoSettingsFileFailsAndCreatesNone)
{
    const RunResult r = box.run({"projects"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: no working directory is set: pass --working-dir DIR, set LARKSPUR_WORKING_DIR, "
                     "or store one with 'larkspur-cli working-dir DIR' (or in the desktop program larkspur)\n");
    EXPECT_FALSE(box.exists("home/.config/Brindle"));
}

TEST_F(StoredWorkingDirectory, ProjectsAddUsesTheStoredValue)
{
    ASSERT_EQ(StoreAsTheDesktopProgramDoes(box, box.path("work")), 0);
    ASSERT_EQ(box.run({"projects", "add", "new", "--path", "site", "--url", "https://example.com"}).status, 0);
    const RunResult r = box.run({"projects", "--working-dir", box.path("work")});
    EXPECT_EQ(Lines(r.out).size(), 2u) << r;
}

// --working-dir over LARKSPUR_WORKING_DIR over the stored value; working-dir
// names the one in force and where it comes from.
TEST_F(StoredWorkingDirectory, EnvironmentOverTheStoredValueUnderTheOption)
{
    ASSERT_EQ(StoreAsTheDesktopProgramDoes(box, box.path("work")), 0);
    RunOptions environment;
    environment.extraEnvironment = {"LARKSPUR_WORKING_DIR=" + box.path("other")};
    EXPECT_EQ(listedName(box.run({"projects"}, environment)), "in other");
    EXPECT_EQ(listedName(box.run({"projects", "--working-dir", box.path("work")}, environment)), "in work");
    const struct {
        std::vector<std::string> args;
        RunOptions options;
        std::string out, err;
    } cases[] = {
        {{"working-dir"}, {}, box.path("work") + "\n",
         "larkspur-cli: stored in " + box.configHome() + "/Brindle/Larkspur.conf\n"},
        {{"working-dir"}, environment, box.path("other") + "\n", "larkspur-cli: set by LARKSPUR_WORKING_DIR\n"},
        {{"working-dir", "--working-dir", "site"}, environment, "site\n", "larkspur-cli: given by --working-dir\n"},
    };
    for (const auto& c : cases) {
        const RunResult r = box.run(c.args, c.options);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

// On a server the window never ran: the folder is stored from the command
// line, by its absolute path, and every later command finds it.
TEST_F(StoredWorkingDirectory, StoredFromTheCommandLineWhereTheWindowNeverRan)
{
    box.file("site/a.html", "a", k2006March7);
    RunOptions inSite;
    inSite.cwd = box.path("site");
    EXPECT_EQ(box.run({"working-dir", "../gone"}, inSite).status, 1);
    EXPECT_FALSE(box.exists("home/.config/Brindle"));
    const RunResult stored = box.run({"working-dir", "../work"}, inSite);
    ASSERT_EQ(stored.status, 0) << stored;
    EXPECT_EQ(stored.out, box.path("work") + " stored in " + box.configHome() + "/Brindle/Larkspur.conf.\n");
    ASSERT_EQ(box.run({"projects", "add", "server", "--path", box.path("site"), "--url", "https://example.com"}).status,
              0);
    const RunResult r = box.run({"xml", "-p", "server", "-o", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find("<loc>https://example.com/a.html</loc>"), std::string::npos) << r;
}

}  // namespace
}  // namespace larkspur::clitest
