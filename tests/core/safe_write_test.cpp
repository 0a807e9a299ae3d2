// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What every file Larkspur writes does with links, modes, devices and pipes,
// and how a split sitemap replaces the previous set of files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "hostile_support.h"
#include "platform/atomic_file.h"
#include "projects/projects.h"
#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"

using namespace larkspur;
using namespace larkspur::test;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kToday = 1796731200;  // 2026-12-08 12:00 UTC

// Everything below `top`: mode and, for files, content, links as links.
std::map<std::string, std::string> Snapshot(const std::string& top)
{
    std::map<std::string, std::string> result;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(top, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st;
        if (::lstat(it->path().c_str(), &st) != 0)
            continue;
        std::string description = std::to_string(st.st_mode) + ":" + std::to_string(st.st_uid) + ":";
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(it->path(), std::ios::binary);
            description.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else if (S_ISLNK(st.st_mode)) {
            description += fs::read_symlink(it->path(), ec).string();
        }
        result[fs::relative(it->path(), top).string()] = description;
    }
    return result;
}

class SafeWrite : public testing::Test {
protected:
    void SetUp() override
    {
        // Folders another user may write in, as a shared web root is.
        ::chmod(t.root().c_str(), 0755);
        for (const char* folder : {"site", "work", "other"})
            ::chmod(t.folder(folder).c_str(), 0777);
        t.file("site/a.html");
        t.file("site/b.html");
        ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    }

    // A link made by `owner` (0: ourselves; else a forked child as nobody).
    void plant(const std::string& target, const std::string& at, bool byOther)
    {
        const std::string where = t.path(at);
        const ChildOutcome made = RunInChild(
            [&] { return std::string(::symlink(target.c_str(), where.c_str()) == 0 ? "ok" : ::strerror(errno)); },
            byOther);
        ASSERT_EQ(made.output, "ok") << at;
    }

    int save(const std::string& path, SitemapFormat format, std::string& error, const OutputLimits& limits = {},
             const SitemapOptions& options = {})
    {
        return SaveSitemap(path, format, scan.tree, {"https://example.com/", 6, 3, options}, &error, nullptr, limits);
    }

    TempTree t;
    ScanResult scan;
};

}  // namespace

// A planted link never makes Larkspur write outside what it owns; a link of
// our own to a file of our own is written through and stays a link.
TEST_F(SafeWrite, LinksAreFollowedOnlyWhenTheyAndTheirFileAreOurs)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to plant links and files as another user (nobody)";
    using Writer = std::function<int(std::string& error)>;
    const OutputLimits split{1, 1 << 20, kToday};
    t.file("site/list.csv", "https://example.com/a.html,2006-03-07,weekly,0.6\r\n"
                            "https://example.com/b.html,2006-03-07,weekly,0.6\r\n");
    const std::vector<std::pair<std::string, Writer>> writers = {
        {"site/sitemap.txt", [&](std::string& e) { return save(t.path("site/sitemap.txt"), SitemapFormat::Text, e); }},
        {"site/sitemap.csv", [&](std::string& e) { return save(t.path("site/sitemap.csv"), SitemapFormat::Csv, e); }},
        {"site/sitemap.xml", [&](std::string& e) { return save(t.path("site/sitemap.xml"), SitemapFormat::Xml, e); }},
        {"site/sitemap.xml", [&](std::string& e) { return save(t.path("site/sitemap.xml"), SitemapFormat::Xml, e, split); }},
        {"site/sitemap1.xml", [&](std::string& e) { return save(t.path("site/sitemap.xml"), SitemapFormat::Xml, e, split); }},
        {"site/sitemap2.xml", [&](std::string& e) { return save(t.path("site/sitemap.xml"), SitemapFormat::Xml, e, split); }},
        {"site/list.xml", [&](std::string& e) {
             ConvertReport report;
             return ConvertCsvToXml(t.path("site/list.csv"), t.path("site/list.xml"), &report, &e, split);
         }},
        {"work/saving.dat", [&](std::string& e) { return SaveProjects(ProjectTable{}, t.path("work"), &e); }},
    };
    struct Case {
        const char* name;
        bool linkByOther;
        std::function<std::string()> makeTarget;  // what the planted link points to
        bool followed;
    };
    int serial = 0;
    auto victim = [&](bool ours) {
        const std::string path = t.file("victims/v" + std::to_string(++serial), "precious");
        if (!ours)
            ::chown(path.c_str(), kNobody, kNobody);
        return path;
    };
    const std::vector<Case> cases = {
        {"our link to our file", false, [&] { return victim(true); }, true},
        {"another user's link to our file", true, [&] { return victim(true); }, false},
        {"our link to another user's file", false, [&] { return victim(false); }, false},
        {"our link through another user's link", false,
         [&] {
             const std::string hop = "other/hop" + std::to_string(++serial);
             plant(victim(true), hop, true);
             return t.path(hop);
         },
         false},
        {"our link into a folder of another user's link", false,
         [&] {
             const std::string hop = "other/hop" + std::to_string(++serial);
             const std::string file = victim(true);
             plant(t.path("victims"), hop, true);
             return t.path(hop) + "/" + fs::path(file).filename().string();
         },
         false},
        {"our link leading nowhere", false, [&] { return t.path("victims/missing"); }, false},
        {"our link to a folder", false, [&] { return t.folder("victims/folder" + std::to_string(++serial)); }, false},
    };
    for (const auto& [at, write] : writers) {
        for (const Case& c : cases) {
            SCOPED_TRACE(at + ": " + c.name);
            const std::string target = c.makeTarget();
            plant(target, at, c.linkByOther);
            const auto site = Snapshot(t.path("site"));
            const auto victims = Snapshot(t.path("victims"));
            std::string error;
            const int result = write(error);
            if (c.followed) {
                EXPECT_EQ(result, 0) << error;
                EXPECT_NE(t.read("victims/" + fs::path(target).filename().string()), "precious");
                EXPECT_TRUE(fs::is_symlink(t.path(at)));
            } else {
                EXPECT_EQ(result, -1);
                EXPECT_NE(error.find(t.path(at)), std::string::npos) << error;
                EXPECT_EQ(Snapshot(t.path("site")), site);
                EXPECT_EQ(Snapshot(t.path("victims")), victims);
            }
            // Start the next case from a clean site.
            for (const char* name : {"sitemap.txt", "sitemap.csv", "sitemap.xml", "sitemap1.xml", "sitemap2.xml",
                                     "list.xml", "list1.xml", "list2.xml"})
                ::unlink(t.path(std::string("site/") + name).c_str());
            ::unlink(t.path("work/saving.dat").c_str());
        }
    }
}

TEST_F(SafeWrite, AReplacedFileKeepsOnlyItsOwnersSafeModeAndGroup)
{
    const mode_t oldMask = ::umask(022);
    struct Case {
        const char* name;
        int mode;  // of the previous file; -1: none
        bool ours;
        mode_t expected;
        bool serversGroup = false;  // ours, of a group the web server reads by
    } const cases[] = {
        {"new file", -1, true, 0644},
        {"ours, private", 0640, true, 0640},
        {"ours, set-user-id", 04755, true, 0755},
        {"ours, world-writable", 0666, true, 0664},
        {"another user's", 0666, false, 0644},
        {"ours, the server's group", 0640, true, 0640, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = t.path("site/sitemap.txt");
        ::unlink(path.c_str());
        if (c.mode >= 0) {
            t.file("site/sitemap.txt", "old");
            ::chmod(path.c_str(), static_cast<mode_t>(c.mode));
            if (!c.ours && (!IsRoot() || ::chown(path.c_str(), kNobody, kNobody) != 0))
                continue;  // only root can give a file away
            if (c.serversGroup && (!IsRoot() || ::chown(path.c_str(), static_cast<uid_t>(-1), kNobody) != 0))
                continue;  // a group of its own, not ours, only root can give
        }
        std::string error;
        ASSERT_EQ(save(path, SitemapFormat::Text, error), 0) << error;
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.expected);
        if (c.serversGroup)
            EXPECT_EQ(st.st_gid, kNobody);
    }
    ::umask(oldMask);
}

// A device or a pipe named as the output is written into, as cp does; it is
// never replaced by a regular file.
TEST_F(SafeWrite, DevicesAndPipesAreWrittenIntoNotReplaced)
{
    std::ostringstream expected;
    ASSERT_EQ(WriteSitemap(expected, SitemapFormat::Text, scan.tree, {"https://example.com/", 6, 3}), 0);

    OutputLimits named;
    named.writeIntoDevices = true;
    const std::string pipe = t.path("out/pipe");
    t.folder("out");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    EXPECT_EQ(save(pipe, SitemapFormat::Text, error, named), 0) << error;
    char buffer[4096];
    const ssize_t got = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), expected.str());
    struct stat st;
    ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A pipe nobody reads is refused at once rather than waited on.
    EXPECT_EQ(save(pipe, SitemapFormat::Xml, error, named), -1);

    if (!IsRoot())
        GTEST_SKIP() << "making a device node (a copy of /dev/null) needs root";
    const std::string null = t.path("out/null");
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    named.maxUrls = 1;  // one document all the same
    SitemapOptions gzip;
    gzip.gzip = true;
    for (const SitemapOptions& options : {SitemapOptions{}, gzip}) {
        for (const SitemapFormat format : {SitemapFormat::Text, SitemapFormat::Xml}) {
            EXPECT_EQ(save(null, format, error, named, options), 0) << error;
            ASSERT_EQ(::lstat(null.c_str(), &st), 0);
            EXPECT_TRUE(S_ISCHR(st.st_mode));
        }
    }
    EXPECT_FALSE(t.exists("out/null1.xml"));
    EXPECT_FALSE(t.exists("out/null.gz")) << "a compressed sitemap goes into the device named, too";
}

// The new set of files replaces the old one only when every file can be put
// in place; otherwise every sitemap file stays as it was.
TEST_F(SafeWrite, ASplitSitemapIsPutInPlaceWholeOrNotAtAll)
{
    t.file("site/sitemap.xml", "old index");
    t.file("site/sitemap1.xml", "old part");
    t.folder("site/sitemap2.xml");
    const auto before = Snapshot(t.path("site"));
    std::string error;
    EXPECT_EQ(save(t.path("site/sitemap.xml"), SitemapFormat::Xml, error, {1, 1 << 20, kToday}), -1);
    EXPECT_NE(error.find("sitemap2.xml"), std::string::npos) << error;
    EXPECT_EQ(Snapshot(t.path("site")), before);
}

TEST_F(SafeWrite, ALinkedIndexOnAnotherFileSystemWorksAtAnySize)
{
    struct stat here, shm;
    if (::stat(t.root().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    const std::string deploy = "/dev/shm/larkspur-test-deploy-" + std::to_string(::getpid());
    fs::create_directories(deploy);
    std::ofstream(deploy + "/sitemap.xml") << "old";
    plant(deploy + "/sitemap.xml", "site/sitemap.xml", false);
    std::string error;
    for (const std::size_t perPart : {std::size_t(1), std::size_t(100)}) {
        SCOPED_TRACE(perPart);
        EXPECT_EQ(save(t.path("site/sitemap.xml"), SitemapFormat::Xml, error, {perPart, 1 << 20, kToday}), 0) << error;
        EXPECT_TRUE(fs::is_symlink(t.path("site/sitemap.xml")));
        std::ifstream in(deploy + "/sitemap.xml");
        const std::string index((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(index.find(perPart == 1 ? "<sitemapindex" : "<urlset"), std::string::npos);
    }
    fs::remove_all(deploy);
}

// Parts of an earlier, larger run go once the new files are in place, but
// only the ones the previous index listed.
TEST_F(SafeWrite, LeftoverPartsListedByTheOldIndexAreRemoved)
{
    for (int i = 0; i < 3; ++i)
        t.file("site/p" + std::to_string(i) + ".html");
    ::unlink(t.path("site/a.html").c_str());
    ::unlink(t.path("site/b.html").c_str());
    std::string error;
    auto run = [&](int pages) {
        for (int i = pages; i < 3; ++i)
            ::unlink(t.path("site/p" + std::to_string(i) + ".html").c_str());
        scan = {};
        ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
        ASSERT_EQ(save(t.path("site/sitemap.xml"), SitemapFormat::Xml, error, {1, 1 << 20, kToday}), 0) << error;
    };
    run(3);
    ASSERT_TRUE(t.exists("site/sitemap3.xml"));
    t.file("site/sitemap9.xml", "someone else's");  // not listed: kept
    run(2);
    EXPECT_TRUE(t.exists("site/sitemap1.xml"));
    EXPECT_TRUE(t.exists("site/sitemap2.xml"));
    EXPECT_FALSE(t.exists("site/sitemap3.xml"));
    run(1);
    EXPECT_NE(t.read("site/sitemap.xml").find("<urlset"), std::string::npos);
    EXPECT_FALSE(t.exists("site/sitemap1.xml"));
    EXPECT_FALSE(t.exists("site/sitemap2.xml"));
    EXPECT_EQ(t.read("site/sitemap9.xml"), "someone else's");
    // Another program's index under the same name, listing more: its parts stay.
    t.file("site/sitemap.xml", "<sitemapindex><sitemap><loc>https://example.com/sitemap9.xml</loc></sitemap>"
                               "<sitemap><loc>https://example.com/news.xml</loc></sitemap></sitemapindex>");
    run(1);
    EXPECT_EQ(t.read("site/sitemap9.xml"), "someone else's");
}

// Signals as a terminal gives them: a run started under nohup, or in the
// background of a script, has some ignored, which the handlers leave so.
void DefaultSignals()
{
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        ::signal(signalNumber, SIG_DFL);
}

// An interrupt, a termination or a hang-up removes the temporary files in
// flight, written or prepared, and still ends the program by that signal.
TEST_F(SafeWrite, SignalsRemoveTemporaryFilesInFlight)
{
    t.file("site/sitemap.txt", "old");
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        const ChildOutcome outcome = RunInChild([&] {
            DefaultSignals();
            platform::HandleInterruptions();
            platform::AtomicFile writing, prepared;
            std::string error;
            if (writing.open(t.path("site/sitemap.txt"), error) != 0 || prepared.open(t.path("site/other.txt"), error) != 0
                || prepared.prepare(error) != 0)
                return error;
            writing.stream() << "half";
            writing.stream().flush();
            ::raise(signalNumber);
            return std::string("survived");
        });
        EXPECT_EQ(outcome.signal, signalNumber) << outcome.output;
        EXPECT_EQ(Snapshot(t.path("site")).size(), 3u) << "a.html, b.html and sitemap.txt only";
        EXPECT_EQ(t.read("site/sitemap.txt"), "old");
    }
}

// A second signal while the first one's handler removes the temporary files
// (timeout(1) sends one to the child, then one to its group) lands on
// another thread: it waits for the removal instead of ending the process
// halfway through it.
TEST_F(SafeWrite, ASecondSignalWaitsForTheRemoval)
{
    const ChildOutcome outcome = RunInChild([&] {
        DefaultSignals();
        platform::HandleInterruptions();
        std::vector<std::unique_ptr<platform::AtomicFile>> files;
        std::string error;
        for (int i = 0; i < 3000; ++i) {
            files.push_back(std::make_unique<platform::AtomicFile>());
            if (files.back()->open(t.path("site/f" + std::to_string(i)), error) != 0)
                return error;
        }
        std::atomic<bool> running{true};
        std::thread other([&] {
            while (running)
                std::this_thread::yield();
        });
        // From outside, as timeout(1) sends them: the second one while the
        // files of the first are being removed.
        const pid_t self = ::getpid();
        if (::fork() == 0) {
            ::kill(self, SIGINT);
            ::usleep(2000);
            ::kill(self, SIGINT);
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::seconds(5));
        running = false;
        other.join();
        return std::string("survived");
    });
    EXPECT_EQ(outcome.signal, SIGINT) << outcome.output;
    EXPECT_EQ(Snapshot(t.path("site")).size(), 2u) << "a.html and b.html only";
}

// Standard output cannot be split into parts: one document, and the report
// says it is past the limits for one file.
TEST_F(SafeWrite, OneDocumentPastTheLimitsIsReported)
{
    for (const SitemapFormat format : {SitemapFormat::Xml, SitemapFormat::Text}) {
        for (const std::size_t perFile : {std::size_t(1), std::size_t(2)}) {
            std::ostringstream out;
            SaveReport report;
            ASSERT_EQ(WriteSitemap(out, format, scan.tree, {"https://example.com/", 6, 3}, &report,
                                   {perFile, 1 << 20, kToday}),
                      0);
            EXPECT_EQ(report.overLimit, perFile == 1);
            EXPECT_EQ(report.urls, 2);
            EXPECT_EQ(out.str().find("<sitemapindex"), std::string::npos);
        }
    }
}
