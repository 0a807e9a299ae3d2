// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// stats, xml, txt and csv on a site folder given on the command line.
#include "cli_harness.h"
#include "sitemap_heads.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace larkspur::clitest {
namespace {

const std::string kTail = "</urlset>\r\n";

std::string UrlElement(const std::string& loc, const std::string& lastmod, const std::string& changefreq = "weekly",
                       const std::string& priority = "0.6")
{
    return "<url>\r\n  <loc>" + loc + "</loc>\r\n  <lastmod>" + lastmod + "</lastmod>\r\n  <changefreq>" + changefreq
         + "</changefreq>\r\n  <priority>" + priority + "</priority>\r\n</url>\r\n";
}

// A small site with the cases that decide what becomes an entry, how names
// are escaped and in which order entries come.
void MakeSite(const Sandbox& box)
{
    box.file("site/index.html", "<h1>home</h1>", k2006March7);
    box.file("site/Zebra.htm", "z", k1999LastSecond);
    box.file("site/about us.html", "a", k2006March7);
    box.file("site/R&D's \"lab\".HTML", "r", k2006March7);
    box.file("site/empty.html", "", k2006March7);
    box.file("site/style.css", "body{}", k2006March7);
    box.file("site/page.html.bak", "old", k2006March7);
    box.file("site/a.php", "<?php", k2006March7);
    box.file("site/README", "readme", k2006March7);
    box.file("site/docs/Index.HTM", "d", k2006March7);
    box.file("site/docs/caf\xC3\xA9, menu.html", "c", k2006March7);
    box.file("site/docs/q?#100%.html", "q", k2006March7);
    box.file("site/Big/x.html", "x", k2006March7);
}

// Listing order: ASCII letters compared without case ("about us" < "Big" <
// "docs" < "empty" < "index" < "R&D" < "Zebra"), each folder's content right
// after the folder.
const std::vector<std::pair<std::string, std::string>> kEntries = {
    {"https://example.com/about%20us.html", "2006-03-07"},
    {"https://example.com/Big/x.html", "2006-03-07"},
    {"https://example.com/docs/caf%C3%A9,%20menu.html", "2006-03-07"},
    {"https://example.com/docs/Index.HTM", "2006-03-07"},
    {"https://example.com/docs/q%3F%23100%25.html", "2006-03-07"},
    {"https://example.com/index.html", "2006-03-07"},
    {"https://example.com/R&D's%20%22lab%22.HTML", "2006-03-07"},
    {"https://example.com/Zebra.htm", "1999-12-31"},
};

std::string ExpectedXml(const std::string& changefreq = "weekly", const std::string& priority = "0.6")
{
    std::string xml = kHead084;
    for (const auto& [url, date] : kEntries) {
        std::string loc;
        for (const char c : url)
            loc += c == '&' ? "&amp;" : c == '\'' ? "&apos;" : std::string(1, c);
        xml += UrlElement(loc, date, changefreq, priority);
    }
    return xml + kTail;
}

std::string ExpectedTxt()
{
    std::string txt;
    for (const auto& entry : kEntries)
        txt += entry.first + "\r\n";
    return txt;
}

std::string ExpectedCsv()
{
    std::string csv = "loc,lastmod,changefreq,priority\r\n";
    for (const auto& [url, date] : kEntries) {
        std::string loc;
        for (const char c : url)
            loc += c == '&' ? "&amp;" : c == '\'' ? "&apos;" : std::string(1, c);
        if (loc.find(',') != std::string::npos)
            loc = "\"" + loc + "\"";
        csv += loc + "," + date + ",weekly,0.6\r\n";
    }
    return csv;
}

struct FormatCase {
    const char* command;
    const char* fileName;
    std::string (*expected)();
};

void PrintTo(const FormatCase& c, std::ostream* os)
{
    *os << c.command;
}

class WriteFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(WriteFormat, WritesIntoTheSiteFolderByDefault)
{
    Sandbox box;
    MakeSite(box);
    const RunResult r = box.run({GetParam().command, "site", "--url", "https://example.com"});
    ASSERT_EQ(r.status, 0) << r;
    const std::string target = box.path("site/") + GetParam().fileName;
    EXPECT_EQ(r.out, "site/" + std::string(GetParam().fileName) + " saved.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(box.read("site/" + std::string(GetParam().fileName)), GetParam().expected());
}

TEST_P(WriteFormat, OutputDashWritesTheSameBytesToStandardOutputAndNoFile)
{
    Sandbox box;
    MakeSite(box);
    // Walked on one thread or on several, the same bytes.
    for (const char* jobs : {"1", "3"}) {
        const RunResult r = box.run({GetParam().command, "site", "--url", "https://example.com", "--output", "-",
                                     "--jobs", jobs});
        ASSERT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, GetParam().expected());
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(box.exists("site/" + std::string(GetParam().fileName)));
    }
}

TEST_P(WriteFormat, OutputFileGoesWhereItSaysAndNotIntoTheSite)
{
    Sandbox box;
    MakeSite(box);
    box.folder("public");
    const RunResult r = box.run({GetParam().command, box.path("site"), "--url", "https://example.com", "--output",
                                 "public/map.out"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "public/map.out saved.\n");
    EXPECT_EQ(box.read("public/map.out"), GetParam().expected());
    EXPECT_FALSE(box.exists("site/" + std::string(GetParam().fileName)));
}

TEST_P(WriteFormat, SecondRunReplacesTheFileAndSeesNewPages)
{
    Sandbox box;
    box.file("site/a.html", "a", k2006March7);
    ASSERT_EQ(box.run({GetParam().command, "site", "--url", "https://example.com"}).status, 0);
    box.file("site/b.html", "b", k2006March7);
    const RunResult r = box.run({GetParam().command, "site", "--url", "https://example.com"});
    ASSERT_EQ(r.status, 0) << r;
    const std::string written = box.read("site/" + std::string(GetParam().fileName));
    EXPECT_NE(written.find("https://example.com/a.html"), std::string::npos);
    EXPECT_NE(written.find("https://example.com/b.html"), std::string::npos);
    // Only the sitemap itself was added to the folder: no temporary files.
    EXPECT_EQ(box.snapshot("site").size(), 3u);
}

TEST_P(WriteFormat, AFolderWithoutPagesGivesHeadAndTailOnly)
{
    Sandbox box;
    box.file("site/style.css", "x");
    box.file("site/empty.htm", "");
    const RunResult r = box.run({GetParam().command, "site", "--url", "https://example.com", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    const std::string command = GetParam().command;
    const std::string expected = command == "xml" ? kHead084 + kTail
                               : command == "csv" ? "loc,lastmod,changefreq,priority\r\n"
                                                  : "";
    EXPECT_EQ(r.out, expected);
}

INSTANTIATE_TEST_SUITE_P(Cli, WriteFormat,
                         ::testing::Values(FormatCase{"xml", "sitemap.xml", [] { return ExpectedXml(); }},
                                           FormatCase{"txt", "sitemap.txt", ExpectedTxt},
                                           FormatCase{"csv", "sitemap.csv", ExpectedCsv}),
                         [](const auto& info) { return std::string(info.param.command); });

TEST(WriteXml, PriorityAndChangefreqOptionsReachEveryEntry)
{
    Sandbox box;
    MakeSite(box);
    const RunResult r = box.run({"xml", "site", "--url", "https://example.com", "--priority", "1.0",
                                 "--changefreq", "never", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, ExpectedXml("never", "1.0"));
}

struct ScaleCase {
    std::string priority;
    std::string changefreq;
};

void PrintTo(const ScaleCase& c, std::ostream* os)
{
    *os << c.priority << " " << c.changefreq;
}

class EveryScaleValue : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(EveryScaleValue, IsAcceptedAndWrittenAsGiven)
{
    Sandbox box;
    box.file("site/a.html", "a", k2006March7);
    const RunResult r = box.run({"csv", "site", "--url", "https://example.com", "--priority", GetParam().priority,
                                 "--changefreq", GetParam().changefreq, "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "loc,lastmod,changefreq,priority\r\nhttps://example.com/a.html,2006-03-07," + GetParam().changefreq
                         + "," + GetParam().priority + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cli, EveryScaleValue,
                         ::testing::Values(ScaleCase{"0.0", "always"}, ScaleCase{"0.1", "hourly"},
                                           ScaleCase{"0.2", "daily"}, ScaleCase{"0.3", "weekly"},
                                           ScaleCase{"0.4", "monthly"}, ScaleCase{"0.5", "yearly"},
                                           ScaleCase{"0.6", "never"}, ScaleCase{"0.7", "always"},
                                           ScaleCase{"0.8", "daily"}, ScaleCase{"0.9", "hourly"},
                                           ScaleCase{"1.0", "weekly"}),
                         [](const auto& info) {
                             std::string name = "P" + info.param.priority + "_" + info.param.changefreq;
                             name.erase(std::remove(name.begin(), name.end(), '.'), name.end());
                             return name;
                         });

struct BaseCase {
    const char* name;
    const char* url;
    const char* expected;  // the URL of docs/a b.htm
};

void PrintTo(const BaseCase& c, std::ostream* os)
{
    *os << c.name;
}

class BaseUrl : public ::testing::TestWithParam<BaseCase> {};

TEST_P(BaseUrl, IsCombinedWithThePagePath)
{
    Sandbox box;
    box.file("site/docs/a b.htm", "a", k2006March7);
    const RunResult r = box.run({"txt", "site", "--url", GetParam().url, "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, std::string(GetParam().expected) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, BaseUrl,
    ::testing::Values(BaseCase{"HostOnly", "https://example.com", "https://example.com/docs/a%20b.htm"},
                      BaseCase{"HostWithSlash", "https://example.com/", "https://example.com/docs/a%20b.htm"},
                      BaseCase{"SchemeAndHostLowered", "HTTPS://User.Example.IO", "https://user.example.io/docs/a%20b.htm"},
                      BaseCase{"PathKeptAsSiteRoot", "https://user.example.io/project",
                               "https://user.example.io/project/docs/a%20b.htm"},
                      BaseCase{"PathCaseKept", "http://example.com/Project/", "http://example.com/Project/docs/a%20b.htm"},
                      BaseCase{"PortKept", "http://localhost:8080", "http://localhost:8080/docs/a%20b.htm"},
                      BaseCase{"EscapesInBaseKept", "https://example.com/my%20site", "https://example.com/my%20site/docs/a%20b.htm"},
                      BaseCase{"SpaceInBaseEscaped", "https://example.com/my site", "https://example.com/my%20site/docs/a%20b.htm"},
                      BaseCase{"QueryDropped", "https://example.com/site?lang=en", "https://example.com/site/docs/a%20b.htm"},
                      BaseCase{"SurroundingSpacesIgnored", "  https://example.com  ", "https://example.com/docs/a%20b.htm"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteTxt, ListsPlainUrlsWithoutXmlEntities)
{
    Sandbox box;
    box.file("site/R&D's.html", "r", k2006March7);
    const RunResult r = box.run({"txt", "site", "--url", "https://example.com/a&b", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "https://example.com/a&b/R&D's.html\r\n");
}

TEST(WriteCsv, QuotesAUrlWithACommaSoItReadsBackAsOneField)
{
    Sandbox box;
    box.file("site/a,b.html", "r", k2006March7);
    const RunResult r = box.run({"csv", "site", "--url", "https://example.com", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "loc,lastmod,changefreq,priority\r\n\"https://example.com/a,b.html\",2006-03-07,weekly,0.6\r\n");
}

// Bytes that are not UTF-8, control characters and the characters with a
// meaning in URLs or XML all become %XX, so the XML stays well-formed.
TEST(WriteXml, OddBytesInNamesAreEscapedSoTheXmlStaysWellFormed)
{
    Sandbox box;
    box.file("site/bad\xFF" "byte.html", "a", k2006March7);
    box.file("site/tab\there.html", "a", k2006March7);
    box.file("site/line\nbreak.html", "a", k2006March7);
    box.file("site/<angle>[sq]\\back.html", "a", k2006March7);
    const RunResult r = box.run({"txt", "site", "--url", "https://example.com", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out,
              "https://example.com/%3Cangle%3E%5Bsq%5D%5Cback.html\r\n"
              "https://example.com/bad%FFbyte.html\r\n"
              "https://example.com/line%0Abreak.html\r\n"
              "https://example.com/tab%09here.html\r\n");
}

TEST(Stats, ListsTotalsThenOneLinePerExtensionInOrderOfFirstAppearance)
{
    Sandbox box;
    box.file("site/a.HTML", "a");
    box.file("site/b.html", "b");
    box.file("site/c.htm", "");
    box.file("site/d/archive.tar.gz", "g");
    box.file("site/d/README", "r");
    box.file("site/d/e.Html", "");
    box.file("site/x.averyveryverylongextension", "l");
    box.folder("site/empty-folder");
    for (const char* jobs : {"1", "3"}) {
        const RunResult r = box.run({"stats", "site", "--jobs", jobs});
        ASSERT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out,
                  "file totally: 7\n"
                  "empty files: 2\n"
                  ".HTML files: 3\n"
                  ".htm files: 1\n"
                  ".gz files: 1\n"
                  " files: 1\n"
                  ".averyveryveryl files: 1\n");
    }
    EXPECT_EQ(box.run({"stats", "site", "--extensions", "gz,html"}).out,
              "file totally: 7\nempty files: 2\n.HTML files: 3 (pages)\n.htm files: 1\n.gz files: 1 (pages)\n"
              " files: 1\n.averyveryveryl files: 1\n");
}

TEST(Stats, AnEmptyFolderHasTwoZeroLines)
{
    Sandbox box;
    box.folder("site");
    const RunResult r = box.run({"stats", "site"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "file totally: 0\nempty files: 0\n");
}

// A site kept in git, hg or svn: their folders are not walked, only counted.
TEST(Stats, VersionControlFoldersAreLeftOut)
{
    Sandbox box;
    for (const char* file : {"site/.git/hooks/a.sample", "site/.hg/b", "site/docs/.svn/c", "site/index.html"})
        box.file(file);
    const RunResult r = box.run({"stats", "site"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "file totally: 1\nempty files: 0\n.html files: 1\nversion-control folders left out: 3\n");
}

TEST(Stats, WritesNothing)
{
    Sandbox box;
    MakeSite(box);
    const auto before = box.snapshot();
    ASSERT_EQ(box.run({"stats", "site"}).status, 0);
    EXPECT_EQ(box.snapshot(), before);
}

// A link to a file is that file; a link to a folder is followed, except when
// it leads back into a folder being listed; a dangling link is left out.
TEST(Links, AreFollowedOnceAndCyclesEnd)
{
    Sandbox box;
    box.file("site/real.html", "r", k2006March7);
    box.file("shared/s.html", "s", k2006March7);
    fs::create_symlink(box.path("site/real.html"), box.path("site/alias.html"));
    fs::create_symlink(box.path("shared"), box.path("site/linked"));
    fs::create_symlink(box.path("site"), box.path("site/loop"));
    fs::create_symlink(box.path("nowhere.html"), box.path("site/dangling.html"));
    const RunResult r = box.run({"txt", "site", "--url", "https://example.com", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out,
              "https://example.com/alias.html\r\n"
              "https://example.com/linked/s.html\r\n"
              "https://example.com/real.html\r\n");
    const RunResult stats = box.run({"stats", "site"});
    EXPECT_EQ(stats.out, "file totally: 3\nempty files: 0\n.html files: 3\n");
}

TEST(Links, ASiteFolderGivenAsALinkIsWalked)
{
    Sandbox box;
    box.file("real/a.html", "a", k2006March7);
    fs::create_symlink(box.path("real"), box.path("site"));
    const RunResult r = box.run({"txt", "site", "--url", "https://example.com", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "https://example.com/a.html\r\n");
}

// A link that another user planted in a shared site folder is not followed,
// and the run says how many there were.
TEST(PlantedLinks, AreSkippedAndCountedOnStandardError)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a link of another user can only be made by root here";
    Sandbox box;
    box.file("site/index.html", "x", k2006March7);
    box.file("private/secret.html", "s", k2006March7);
    ASSERT_EQ(::chmod(box.root().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(box.path("site").c_str(), 0777), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const bool planted = ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivilegedId) == 0
                          && ::setuid(kUnprivilegedId) == 0
                          && ::symlink(box.path("private").c_str(), box.path("site/p").c_str()) == 0;
        ::_exit(planted ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not plant the link as another user";

    const std::string said = "larkspur-cli: 1 link(s) not followed: they belong to another user\n";
    const RunResult stats = box.run({"stats", box.path("site")});
    EXPECT_EQ(stats.status, 0) << stats;
    EXPECT_EQ(stats.out.substr(0, 16), "file totally: 1\n") << stats;
    EXPECT_EQ(stats.err, said);
    const RunResult txt = box.run({"txt", box.path("site"), "--url", "https://example.com", "--output", "-"});
    EXPECT_EQ(txt.status, 0) << txt;
    EXPECT_EQ(txt.out, "https://example.com/index.html\r\n");
    EXPECT_EQ(txt.err, said);
}

}  // namespace
}  // namespace larkspur::clitest
