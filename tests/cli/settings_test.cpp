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
    EXPECT_EQ(r.err, "larkspur-cli: no working directory is set: start larkspur once, or pass --working-dir\n");
    EXPECT_FALSE(box.exists("home/.config/Brindle"));
}

TEST_F(StoredWorkingDirectory, ProjectsAddUsesTheStoredValue)
{
    ASSERT_EQ(StoreAsTheDesktopProgramDoes(box, box.path("work")), 0);
    ASSERT_EQ(box.run({"projects", "add", "new", "--path", "site", "--url", "https://example.com"}).status, 0);
    const RunResult r = box.run({"projects", "--working-dir", box.path("work")});
    EXPECT_EQ(Lines(r.out).size(), 2u) << r;
}

}  // namespace
}  // namespace larkspur::clitest
