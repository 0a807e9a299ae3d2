// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "robots/robots_txt.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

TEST(RobotsTxt, AddsMissingSitemapLinesKeepingEveryOtherByte)
{
    const std::vector<std::string> one = {"https://example.org/sitemap.xml"};
    struct Case { std::string before; std::string after; int added; };
    const Case cases[] = {
        {"", "Sitemap: https://example.org/sitemap.xml\n", 1},
        {"User-agent: *\nDisallow: /tmp/\n", "User-agent: *\nDisallow: /tmp/\nSitemap: https://example.org/sitemap.xml\n", 1},
        {"User-agent: *\r\nDisallow:", "User-agent: *\r\nDisallow:\r\nSitemap: https://example.org/sitemap.xml\r\n", 1},
        {"User-agent: *\n\n\n", "User-agent: *\n\n\nSitemap: https://example.org/sitemap.xml\n", 1},
        {"Sitemap: https://example.org/sitemap.xml\n", "Sitemap: https://example.org/sitemap.xml\n", 0},
        {"  SITEMAP:https://example.org/sitemap.xml  \r\nX", "  SITEMAP:https://example.org/sitemap.xml  \r\nX", 0},
        {"Sitemap: https://example.org/sitemap.xml.gz",
         "Sitemap: https://example.org/sitemap.xml.gz\nSitemap: https://example.org/sitemap.xml\n", 1},
        {"# Sitemap: https://example.org/sitemap.xml\n",
         "# Sitemap: https://example.org/sitemap.xml\nSitemap: https://example.org/sitemap.xml\n", 1},
        {"\xEF\xBB\xBFSitemap: https://example.org/sitemap.xml\n", "\xEF\xBB\xBFSitemap: https://example.org/sitemap.xml\n", 0},
        {"Sitemap: HTTPS://Example.ORG/sitemap.xml\n", "Sitemap: HTTPS://Example.ORG/sitemap.xml\n", 0},
        {"Sitemap: https://example.org/Sitemap.xml\n",
         "Sitemap: https://example.org/Sitemap.xml\nSitemap: https://example.org/sitemap.xml\n", 1},
    };
    for (const Case& c : cases) {
        std::string contents = c.before;
        EXPECT_EQ(AddSitemapLines(contents, one), c.added) << c.before;
        EXPECT_EQ(contents, c.after) << c.before;
    }
    std::string contents;
    EXPECT_EQ(AddSitemapLines(contents, {"https://e.org/a.txt", "https://e.org/b.txt", "https://e.org/a.txt"}), 2);
    EXPECT_EQ(contents, "Sitemap: https://e.org/a.txt\nSitemap: https://e.org/b.txt\n");
}

TEST(RobotsTxt, RemovesOnlyTheLinesNamingTheGivenUrls)
{
    const std::vector<std::string> gone = {"https://example.org/sitemap.xml", "https://example.org/sitemap-index.xml"};
    struct Case { std::string before; std::string after; int removed; };
    const Case cases[] = {
        {"User-agent: *\r\nSitemap: https://example.org/sitemap.xml\r\nDisallow: /x/\r\n",
         "User-agent: *\r\nDisallow: /x/\r\n", 1},
        {"\xEF\xBB\xBF sitemap:HTTPS://EXAMPLE.org/sitemap-index.xml\nSitemap: https://example.org/sitemap.xml",
         "\xEF\xBB\xBF", 2},
        {"Sitemap: https://example.org/sitemap.xml.gz\nSitemap: https://example.org/Sitemap.xml\n"
         "# Sitemap: https://example.org/sitemap.xml\nSitemap: https://other.example/sitemap.xml\n",
         "Sitemap: https://example.org/sitemap.xml.gz\nSitemap: https://example.org/Sitemap.xml\n"
         "# Sitemap: https://example.org/sitemap.xml\nSitemap: https://other.example/sitemap.xml\n", 0},
    };
    for (const Case& c : cases) {
        std::string contents = c.before;
        EXPECT_EQ(RemoveSitemapLines(contents, gone), c.removed) << c.before;
        EXPECT_EQ(contents, c.after) << c.before;
    }
}

TEST(RobotsTxt, CreatedAppendedOrLeftAlone)
{
    TempTree t;
    const std::string site = t.folder("site");
    const std::vector<std::string> urls = {"https://example.org/sitemap.xml"};
    RobotsTxtReport report;
    std::string error;
    ASSERT_EQ(UpdateRobotsTxt(site, urls, report, error), 0) << error;
    EXPECT_TRUE(report.created);
    EXPECT_EQ(t.read("site/robots.txt"), "Sitemap: https://example.org/sitemap.xml\n");

    t.file("site/robots.txt", "User-agent: *\r\nDisallow: /private/");
    ::chmod(t.path("site/robots.txt").c_str(), 0640);
    ASSERT_EQ(UpdateRobotsTxt(site, urls, report, error), 0) << error;
    EXPECT_FALSE(report.created);
    EXPECT_EQ(report.linesAdded, 1);
    EXPECT_EQ(t.read("site/robots.txt"),
              "User-agent: *\r\nDisallow: /private/\r\nSitemap: https://example.org/sitemap.xml\r\n");
    struct stat before;
    ASSERT_EQ(::stat(t.path("site/robots.txt").c_str(), &before), 0);
    EXPECT_EQ(before.st_mode & 0777, 0640u);

    // Nothing to add: not even rewritten.
    ASSERT_EQ(UpdateRobotsTxt(site, urls, report, error), 0) << error;
    EXPECT_EQ(report.linesAdded, 0);
    struct stat after;
    ASSERT_EQ(::stat(t.path("site/robots.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);

    t.folder("site2/robots.txt");
    EXPECT_EQ(UpdateRobotsTxt(t.path("site2"), urls, report, error), -1);
    EXPECT_FALSE(error.empty());
}

// Someone else's link in the site folder: robots.txt is neither read through
// it nor written through it.
TEST(RobotsTxt, APlantedLinkIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the link to another user";
    TempTree t;
    const std::string site = t.folder("site");
    t.file("victim.txt", "User-agent: *\n");
    ASSERT_EQ(::symlink(t.path("victim.txt").c_str(), t.path("site/robots.txt").c_str()), 0);
    ASSERT_EQ(::lchown(t.path("site/robots.txt").c_str(), 65534, 65534), 0);
    RobotsTxtReport report;
    std::string error;
    EXPECT_EQ(UpdateRobotsTxt(site, {"https://example.org/sitemap.xml"}, report, error), -1);
    EXPECT_NE(error.find("robots.txt"), std::string::npos) << error;
    EXPECT_EQ(t.read("victim.txt"), "User-agent: *\n");
}
