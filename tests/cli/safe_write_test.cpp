// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What larkspur-cli does with a planted link, a device or a pipe as its
// output, and a file size limit.
#include "cli_harness.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

namespace larkspur::clitest {
namespace {

bool HasTemporaryFile(const Sandbox& box, const std::string& folder)
{
    for (const auto& entry : fs::directory_iterator(box.path(folder)))
        if (entry.path().filename().string().find(".tmp") != std::string::npos)
            return true;
    return false;
}

struct PlantedCase {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the sandbox root
    const char* link;               // planted there by another user
};

TEST(SafeWriteCli, ALinkPlantedByAnotherUserIsRefusedAndNothingIsWritten)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to plant a link as another user (nobody)";
    const std::vector<PlantedCase> cases = {
        {"txt into the site", {"txt", "@/site", "--url", "https://example.com/"}, "site/sitemap.txt"},
        {"xml --output", {"xml", "@/site", "--url", "https://example.com/", "--output", "@/shared/map.xml"},
         "shared/map.xml"},
        {"csv2xml", {"csv2xml", "@/site/list.csv"}, "site/list.xml"},
    };
    for (const PlantedCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.file("site/index.html", "home");
        box.file("site/list.csv", "https://example.com/a.html,2006-03-07,weekly,0.6\r\n");
        box.folder("shared");
        const std::string victim = box.file("home/.bashrc", "alias ls='ls -F'\n");
        ::chmod(box.root().c_str(), 0755);
        ::chmod(box.path("site").c_str(), 0777);
        ::chmod(box.path("shared").c_str(), 0777);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const bool made = ::setgid(kUnprivilegedId) == 0 && ::setuid(kUnprivilegedId) == 0
                           && ::symlink(victim.c_str(), box.path(c.link).c_str()) == 0;
            ::_exit(made ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "cannot plant the link as nobody";

        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(a[0] == '@' ? box.root() + a.substr(1) : a);
        const auto before = box.snapshot();
        const RunResult r = box.run(args);
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_NE(r.err.find(box.path(c.link)), std::string::npos) << r;
        EXPECT_NE(r.err.find("another user"), std::string::npos) << r;
        EXPECT_EQ(box.snapshot(), before);
    }
}

// As cp does: a device or a pipe named with --output is written into, and
// stays what it is.
TEST(SafeWriteCli, AnOutputThatIsADeviceOrAPipeIsWrittenInto)
{
    Sandbox box;
    box.file("site/index.html", "home");
    ASSERT_EQ(::mkfifo(box.path("pipe").c_str(), 0600), 0);
    const int reader = ::open(box.path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    RunResult r = box.run({"txt", box.path("site"), "--url", "https://example.com/", "--output", box.path("pipe")});
    EXPECT_EQ(r.status, 0) << r;
    char buffer[256];
    const ssize_t got = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), "https://example.com/index.html\r\n");
    struct stat st;
    ASSERT_EQ(::lstat(box.path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // Standard output by its name holds the sitemap alone, plain or gzipped.
    for (const char* format : {"xml", "txt", "csv"}) {
        const RunResult dash = box.run({format, box.path("site"), "--url", "https://example.com/", "--output", "-"});
        r = box.run({format, box.path("site"), "--url", "https://example.com/", "--output", "/dev/stdout"});
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, dash.out) << format;
    }
    r = box.run({"xml", box.path("site"), "--url", "https://example.com/", "--output", "/dev/stdout", "--gzip"});
    EXPECT_EQ(r.out.substr(0, 2), "\x1f\x8b") << r;
    EXPECT_EQ(r.out, box.run({"xml", box.path("site"), "--url", "https://example.com/", "--output", "-", "--gzip"}).out);

    if (::geteuid() != 0)
        GTEST_SKIP() << "making a device node (a copy of /dev/null) needs root";
    ASSERT_EQ(::mknod(box.path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    r = box.run({"xml", box.path("site"), "--url", "https://example.com/", "--output", box.path("null")});
    EXPECT_EQ(r.status, 0) << r;
    ASSERT_EQ(::lstat(box.path("null").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_FALSE(HasTemporaryFile(box, ""));
}

// Standard output by any of its names is written where the shell left it,
// as "-" is: `{ echo header; larkspur-cli ... --output /dev/stdout; } >> log`
// keeps the log.
TEST(SafeWriteCli, StandardOutputByNameIsAppendedToNotReplaced)
{
    Sandbox box;
    box.file("site/index.html", "home");
    RunOptions options;
    options.stdoutPath = box.path("log");
    options.appendStdout = true;
    for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        box.file("log", "header\n");
        const RunResult r = box.run({"txt", box.path("site"), "--url", "https://example.com/", "--output", name}, options);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(box.read("log"), "header\nhttps://example.com/index.html\r\n") << name;
    }
}

// A file size limit is a write error with its reason, not the end of the
// program with a temporary file left in the web root.
TEST(SafeWriteCli, AFileSizeLimitIsAnErrorAndLeavesTheOldSitemap)
{
    Sandbox box;
    for (int i = 0; i < 100; ++i)
        box.file("site/page" + std::to_string(i) + ".html", "x");
    box.file("site/sitemap.xml", "old");
    RunOptions options;
    options.fileSizeLimit = 4096;
    const RunResult r = box.run({"xml", box.path("site"), "--url", "https://example.com/"}, options);
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r;
    EXPECT_EQ(box.read("site/sitemap.xml"), "old");
    EXPECT_FALSE(HasTemporaryFile(box, "site"));
}

}  // namespace
}  // namespace larkspur::clitest
