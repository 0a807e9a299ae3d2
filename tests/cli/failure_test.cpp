// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Failures: exit status 1, a message on standard error, and nothing written:
// a sitemap already there stays as it was and no temporary file is left.
#include "cli_harness.h"

#include <gtest/gtest.h>

namespace larkspur::clitest {
namespace {

const char* const kFormats[] = {"xml", "txt", "csv"};

std::string SitemapName(const std::string& format)
{
    return "sitemap." + format;
}

// Runs `args` as an ordinary user; skips the test when that user cannot run
// the binary where it was built.
RunResult RunUnprivileged(const Sandbox& box, const std::vector<std::string>& args)
{
    box.giveToUnprivilegedUser();
    RunOptions options;
    options.unprivileged = true;
    return box.run(args, options);
}

#define SKIP_IF_NOT_RUNNABLE(result)                                                                     \
    if ((result).status == 126 || (result).status == 127)                                                \
        GTEST_SKIP() << "larkspur-cli cannot be run as uid " << kUnprivilegedId

class WalkFailure : public ::testing::TestWithParam<const char*> {};

TEST_P(WalkFailure, AnUnreadableSubfolderFailsAndLeavesTheOldSitemap)
{
    Sandbox box;
    const std::string format = GetParam();
    box.file("site/ok/a.html");
    box.file("site/locked/b.html");
    box.file("site/" + SitemapName(format), "the previous sitemap");
    ::chmod(box.path("site/locked").c_str(), 0);
    const auto before = box.snapshot("site");

    const RunResult r = RunUnprivileged(box, {format, "site", "--url", "https://example.com"});
    SKIP_IF_NOT_RUNNABLE(r);
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "");
    // The message names the folder and gives the system's reason.
    EXPECT_NE(r.err.find(fs::canonical(box.path("site")).string() + "/locked: Permission denied"), std::string::npos)
        << r;
    EXPECT_EQ(box.snapshot("site"), before);
}

TEST_P(WalkFailure, AMissingSiteFolderFails)
{
    Sandbox box;
    const RunResult r = box.run({GetParam(), "no-such-site", "--url", "https://example.com"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("no-such-site: No such file or directory"), std::string::npos) << r;
    EXPECT_FALSE(box.exists("no-such-site"));
}

TEST_P(WalkFailure, AFileGivenAsSiteFolderFails)
{
    Sandbox box;
    box.file("index.html");
    const auto before = box.snapshot();
    const RunResult r = box.run({GetParam(), "index.html", "--url", "https://example.com"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("index.html: Not a directory"), std::string::npos) << r;
    EXPECT_EQ(box.snapshot(), before);
}

TEST_P(WalkFailure, ABadUrlLeavesTheOldSitemap)
{
    Sandbox box;
    const std::string format = GetParam();
    box.file("site/a.html");
    box.file("site/" + SitemapName(format), "the previous sitemap");
    const auto before = box.snapshot();
    const RunResult r = box.run({format, "site", "--url", "mailto:me@example.com"});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_EQ(box.snapshot(), before);
}

TEST_P(WalkFailure, AnOutputThatIsAFolderFailsAndLeavesNoTemporaryFile)
{
    Sandbox box;
    box.file("site/a.html");
    box.folder("out/sitemap");
    const auto before = box.snapshot();
    const RunResult r = box.run({GetParam(), "site", "--url", "https://example.com", "--output", "out/sitemap"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("out/sitemap: Is a directory"), std::string::npos) << r;
    EXPECT_EQ(box.snapshot(), before);
}

TEST_P(WalkFailure, AnOutputInAMissingFolderFails)
{
    Sandbox box;
    box.file("site/a.html");
    const auto before = box.snapshot();
    const RunResult r = box.run({GetParam(), "site", "--url", "https://example.com", "--output", "nowhere/x"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("nowhere/x: No such file or directory"), std::string::npos) << r;
    EXPECT_EQ(box.snapshot(), before);
}

TEST_P(WalkFailure, AReadOnlySiteFolderFailsAndKeepsTheOldSitemap)
{
    Sandbox box;
    const std::string format = GetParam();
    box.file("site/a.html");
    box.file("site/" + SitemapName(format), "the previous sitemap");
    ::chmod(box.path("site").c_str(), 0555);
    const auto before = box.snapshot();
    const RunResult r = RunUnprivileged(box, {format, "site", "--url", "https://example.com"});
    SKIP_IF_NOT_RUNNABLE(r);
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r;
    EXPECT_EQ(box.read("site/" + SitemapName(format)), "the previous sitemap");
}

// A full disk behind standard output is a failure, not a success.
TEST_P(WalkFailure, AFullStandardOutputFails)
{
    Sandbox box;
    for (int i = 0; i < 50; ++i)
        box.file("site/page" + std::to_string(i) + ".html");
    RunOptions options;
    options.stdoutPath = "/dev/full";
    const RunResult r = box.run({GetParam(), "site", "--url", "https://example.com", "--output", "-"}, options);
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("standard output: No space left on device"), std::string::npos) << r;
}

INSTANTIATE_TEST_SUITE_P(Cli, WalkFailure, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param); });

TEST(StandardOutput, AFullDiskFailsEveryCommandThatPrints)
{
    Sandbox box;
    box.file("site/a.html");
    box.file("data/s.csv", "http://example.com/a.html,2006-03-07,daily,0.5\n");
    box.folder("work");
    RunOptions options;
    options.stdoutPath = "/dev/full";
    ASSERT_EQ(box.run({"projects", "add", "p", "--path", "site", "--url", "https://example.com", "--working-dir",
                       "work"}).status, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"--help"},
        {"--version"},
        {"stats", "site"},
        {"projects", "--working-dir", "work"},
        {"csv2xml", "data/s.csv"},
    };
    for (const auto& args : commands) {
        const RunResult r = box.run(args, options);
        EXPECT_EQ(r.status, 1) << args[0] << ": " << r;
        EXPECT_NE(r.err.find("standard output: No space left on device"), std::string::npos) << args[0] << ": " << r;
    }
}

}  // namespace
}  // namespace larkspur::clitest
