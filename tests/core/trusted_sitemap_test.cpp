// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The options that make a sitemap one search engines trust: dates from git,
// pages that ask not to be listed left out, robots.txt, gzip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "gzip/gzip.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

constexpr std::int64_t kMarch7 = 1141732800;  // 2006-03-07 12:00 UTC

SitemapParameters Parameters(const SitemapOptions& options)
{
    return {"https://example.org/", 6, 3, options};
}

std::string Write(const ScanTree& tree, SitemapFormat format, const SitemapOptions& options,
                  SaveReport* report = nullptr)
{
    std::ostringstream out;
    std::string error;
    EXPECT_EQ(WriteSitemap(out, format, tree, Parameters(options), report, {}, &error), 0) << error;
    return out.str();
}

std::string Gunzip(const std::string& data)
{
    std::string text, error;
    return larkspur::Gunzip(data, text, std::size_t(1) << 30, error) == 0 ? text : "<not gzip: " + error + ">";
}

}  // namespace

TEST(TrustedSitemap, PagesThatAskNotToBeListedAreLeftOut)
{
    TempTree t;
    t.file("site/plain.html", "<title>x</title>", kMarch7);
    t.file("site/hidden.html", "<meta name=robots content=noindex>", kMarch7);
    t.file("site/self.html", "<link rel=canonical href=self.html>", kMarch7);
    t.file("site/copy.html", "<link rel=canonical href=/plain.html>", kMarch7);
    t.file("site/docs/index.html", "<link rel=canonical href=https://example.org/docs>", kMarch7);
    t.file("site/blog/index.html", "<link rel=canonical href=index.html>", kMarch7);
    t.file("site/both.html", "<meta name=robots content=none><link rel=canonical href=plain.html>", kMarch7);
    // Clean URLs: "taken" leads to the folder beside taken.html, not to it.
    t.file("site/clean.html", "<link rel=canonical href=clean>", kMarch7);
    t.file("site/taken.html", "<link rel=canonical href=taken>", kMarch7);
    t.file("site/taken/notes.txt", "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);

    struct Case { bool robots; bool canonical; UrlStyle style; const char* urls; long long noindex, elsewhere; };
    // A canonical URL naming the same file in another style is the page's own.
    const Case cases[] = {
        {false, false, UrlStyle::File,
         "blog/index.html both.html clean.html copy.html docs/index.html hidden.html plain.html self.html taken.html ",
         0, 0},
        {true, false, UrlStyle::File,
         "blog/index.html clean.html copy.html docs/index.html plain.html self.html taken.html ", 2, 0},
        {false, true, UrlStyle::File, "blog/index.html clean.html docs/index.html hidden.html plain.html self.html ",
         0, 3},
        {true, true, UrlStyle::Folder, "blog/ clean.html docs/ plain.html self.html ", 2, 2},
        {false, true, UrlStyle::Clean, "blog/ clean docs/ hidden plain self ", 0, 3},
    };
    for (const Case& c : cases) {
        SitemapOptions options;
        options.respectRobots = c.robots;
        options.canonicalOnly = c.canonical;
        options.urlStyle = c.style;
        SaveReport report;
        std::string urls;
        std::istringstream lines(Write(scan.tree, SitemapFormat::Text, options, &report));
        for (std::string line; std::getline(lines, line);)
            urls += line.substr(20, line.size() - 21) + " ";
        EXPECT_EQ(urls, c.urls) << c.robots << c.canonical;
        EXPECT_EQ(report.noindex, c.noindex);
        EXPECT_EQ(report.canonicalElsewhere, c.elsewhere);
    }
}

TEST(TrustedSitemap, PagesRobotsTxtDisallowsAreLeftOut)
{
    TempTree t;
    for (const char* page : {"site/a.html", "site/c.html", "site/private/b.html", "site/private/index.html"})
        t.file(page, "x", kMarch7);
    t.file("site/robots.txt", "User-agent: *\nDisallow: /private/\nAllow: /private/b$\n\n"
                              "User-agent: foobot\nDisallow: /c.html\n");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    struct Case { bool respect; const char* agent; UrlStyle style; const char* base; const char* urls; long long left; };
    const Case cases[] = {
        {false, "*", UrlStyle::File, "https://example.org", "a.html c.html private/b.html private/index.html ", 0},
        {true, "*", UrlStyle::File, "https://example.org", "a.html c.html ", 2},
        {true, "*", UrlStyle::Clean, "https://example.org", "a c private/b ", 1},
        {true, "FooBot", UrlStyle::File, "https://example.org", "a.html private/b.html private/index.html ", 1},
        {true, "*", UrlStyle::File, "https://example.org/blog", "a.html c.html private/b.html private/index.html ", 0},
    };
    for (const Case& c : cases) {
        SitemapOptions options;
        options.respectRobots = c.respect;
        options.robotsAgent = c.agent;
        options.urlStyle = c.style;
        SaveReport report;
        std::ostringstream out;
        ASSERT_EQ(WriteSitemap(out, SitemapFormat::Text, scan.tree, {c.base, 6, 3, options}, &report), 0);
        std::string urls;
        std::istringstream lines(out.str());
        const std::size_t base = std::string_view(c.base).size() + 1;
        for (std::string line; std::getline(lines, line);)
            urls += line.substr(base, line.size() - base - 1) + " ";
        EXPECT_EQ(urls, c.urls) << c.agent << " " << c.base;
        EXPECT_EQ(report.robotsDisallowed, c.left);
        const std::string notes = report.notes.empty() ? "" : report.notes.front();
        EXPECT_EQ(notes, c.respect && std::string_view(c.base).ends_with("/blog")
                             ? "robots.txt not read: crawlers read it only at https://example.org/robots.txt, "
                               "which is not in the site folder"
                             : "");
    }
}

TEST(TrustedSitemap, NoLastmodLeavesTheDateOut)
{
    TempTree t;
    t.file("site/a.html", "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapOptions options;
    options.lastmod = LastmodSource::None;
    const std::string xml = Write(scan.tree, SitemapFormat::Xml, options);
    EXPECT_NE(xml.find("<loc>https://example.org/a.html</loc>\r\n  <changefreq>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("lastmod"), std::string::npos);
    options.omitHints = true;
    EXPECT_NE(Write(scan.tree, SitemapFormat::Xml, options).find("<url>\r\n  <loc>https://example.org/a.html</loc>\r\n</url>"),
              std::string::npos);
    EXPECT_EQ(Write(scan.tree, SitemapFormat::Csv, options), "loc,lastmod,changefreq,priority\r\nhttps://example.org/a.html,,,\r\n");
}

TEST(TrustedSitemap, DatesFromTheCommitsOfAFreshClone)
{
    if (std::system("git --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "git is not installed; it builds the test repository";
    TempTree t;
    t.file("origin/old.html");
    t.file("origin/edited.html");
    const std::string git = "cd '" + t.root() + "/origin' && export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1 "
                            "GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@example.org GIT_COMMITTER_NAME=t "
                            "GIT_COMMITTER_EMAIL=t@example.org GIT_AUTHOR_DATE='1500000000 +0000' "
                            "GIT_COMMITTER_DATE='1500000000 +0000' && git init -q && git add -A && "
                            "git commit -qm first && cd .. && git clone -q origin clone";
    ASSERT_EQ(std::system((git + " >/dev/null 2>&1").c_str()), 0);
    t.file("clone/edited.html", "changed", kMarch7);
    t.file("clone/new.html", "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("clone")), 0);
    SitemapOptions options;
    options.lastmod = LastmodSource::Git;
    SaveReport report;
    EXPECT_EQ(Write(scan.tree, SitemapFormat::Csv, options, &report),
              "loc,lastmod,changefreq,priority\r\n"
              "https://example.org/edited.html,2006-03-07,weekly,0.6\r\n"
              "https://example.org/new.html,2006-03-07,weekly,0.6\r\n"
              "https://example.org/old.html,2017-07-14,weekly,0.6\r\n");
    EXPECT_EQ(report.fileDates, 2);

    ScanResult outside;
    ASSERT_EQ(WalkAndCount(outside, t.path("origin/..")), 0);  // the folder holding the repository
    std::ostringstream out;
    std::string error;
    EXPECT_EQ(WriteSitemap(out, SitemapFormat::Xml, outside.tree, Parameters(options), nullptr, {}, &error), -1);
    EXPECT_NE(error.find("not in a git work tree"), std::string::npos) << error;
}

TEST(TrustedSitemap, GzipFilesHoldWhatThePlainOnesWould)
{
    TempTree t;
    for (int i = 0; i < 5; ++i)
        t.file("site/p" + std::to_string(i) + ".html", "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    t.folder("plain");
    OutputLimits limits;
    limits.maxUrls = 2;  // an index of three parts
    limits.now = kMarch7;
    SitemapOptions options;
    std::string error;
    SaveReport plain;
    ASSERT_EQ(SaveSitemap(t.path("plain/sitemap.xml"), SitemapFormat::Xml, scan.tree, Parameters(options), &error,
                          &plain, limits), 0) << error;
    options.gzip = true;
    SaveReport zipped;
    ASSERT_EQ(SaveSitemap(t.path("plain/sitemap.xml"), SitemapFormat::Xml, scan.tree, Parameters(options), &error,
                          &zipped, limits), 0) << error;
    ASSERT_EQ(zipped.files.size(), 4u);
    for (std::size_t i = 0; i < zipped.files.size(); ++i) {
        EXPECT_EQ(zipped.files[i], plain.files[i] + ".gz");
        std::string expected = t.read(plain.files[i].substr(t.root().size() + 1));
        if (i == 0) {  // the index names the compressed parts
            for (std::size_t at = 0; (at = expected.find(".xml</loc>", at)) != std::string::npos; at += 13)
                expected.replace(at, 10, ".xml.gz</loc>");
        }
        EXPECT_EQ(Gunzip(t.read(zipped.files[i].substr(t.root().size() + 1))), expected) << zipped.files[i];
    }
    // The site fits one file again: the compressed parts the index named go,
    // a file of the same form it did not name stays.
    t.file("plain/sitemap9.xml.gz", "mine");
    limits.maxUrls = 50000;
    ASSERT_EQ(SaveSitemap(t.path("plain/sitemap.xml"), SitemapFormat::Xml, scan.tree, Parameters(options), &error,
                          &zipped, limits), 0) << error;
    EXPECT_NE(Gunzip(t.read("plain/sitemap.xml.gz")).find("<urlset"), std::string::npos);
    for (const char* gone : {"plain/sitemap1.xml.gz", "plain/sitemap2.xml.gz", "plain/sitemap3.xml.gz"})
        EXPECT_FALSE(t.exists(gone)) << gone;
    EXPECT_EQ(t.read("plain/sitemap9.xml.gz"), "mine");
    options.lastmod = LastmodSource::FileTime;
    std::ostringstream out;
    ASSERT_EQ(WriteSitemap(out, SitemapFormat::Text, scan.tree, Parameters(options)), 0);
    options.gzip = false;
    EXPECT_EQ(Gunzip(out.str()), Write(scan.tree, SitemapFormat::Text, options));
}

TEST(TrustedSitemap, RobotsTxtNamesTheSitemapInTheSiteFolder)
{
    TempTree t;
    t.file("site/docs/a.html", "x", kMarch7);
    t.file("site/robots.txt", "User-agent: *\r\nDisallow: /tmp/");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapOptions options;
    options.robotsTxt = true;
    std::string error;
    SaveReport report;
    ASSERT_EQ(SaveSitemap(t.path("site/docs/map.xml"), SitemapFormat::Xml, scan.tree, Parameters(options), &error,
                          &report), 0) << error;
    EXPECT_EQ(report.robotsTxt, t.path("site/robots.txt"));
    EXPECT_EQ(t.read("site/robots.txt"), "User-agent: *\r\nDisallow: /tmp/\r\nSitemap: https://example.org/docs/map.xml\r\n");

    ASSERT_EQ(SaveSitemap(t.path("sitemap.xml"), SitemapFormat::Xml, scan.tree, Parameters(options), &error,
                          &report), 0) << error;
    EXPECT_TRUE(report.robotsTxt.empty());
    EXPECT_NE(report.robotsTxtSkipped.find("not in the site folder"), std::string::npos);

    // A site below a path: its folder's robots.txt is not the host's.
    SitemapParameters below = Parameters(options);
    below.websiteUrl = "https://example.org/blog/";
    ASSERT_EQ(SaveSitemap(t.path("site/sitemap.xml"), SitemapFormat::Xml, scan.tree, below, &error, &report), 0);
    EXPECT_TRUE(report.robotsTxt.empty());
    EXPECT_EQ(report.robotsTxtSkipped, "robots.txt not changed: crawlers read it only at https://example.org/robots.txt, "
                                       "above the site folder; add \"Sitemap: https://example.org/blog/sitemap.xml\" there");
    EXPECT_EQ(t.read("site/robots.txt"), "User-agent: *\r\nDisallow: /tmp/\r\nSitemap: https://example.org/docs/map.xml\r\n");
}

// robots.txt names a sitemap by the name it has now: a gzip switched on or
// off, a text sitemap split or whole again leaves no line for a file that is
// gone; lines of others stay.
TEST(TrustedSitemap, RobotsTxtFollowsTheSitemapsName)
{
    TempTree t;
    for (int i = 0; i < 3; ++i)
        t.file("site/p" + std::to_string(i) + ".html", "x", kMarch7);
    t.file("site/robots.txt", "Sitemap: https://example.org/news.xml\n");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    struct Step { SitemapFormat format; bool gzip; std::size_t perPart; const char* names; };
    const Step steps[] = {
        {SitemapFormat::Xml, false, 50000, "news.xml sitemap.xml"},
        {SitemapFormat::Xml, true, 50000, "news.xml sitemap.xml.gz"},
        {SitemapFormat::Xml, false, 1, "news.xml sitemap.xml"},
        {SitemapFormat::Text, true, 2, "news.xml sitemap.xml sitemap-index.xml.gz"},
        {SitemapFormat::Text, true, 50000, "news.xml sitemap.xml sitemap.txt.gz"},
        {SitemapFormat::Text, false, 2, "news.xml sitemap.xml sitemap-index.xml"},
    };
    SitemapOptions options;
    options.robotsTxt = true;
    std::string error;
    for (const Step& step : steps) {
        options.gzip = step.gzip;
        std::string expected, name;
        for (std::istringstream names(step.names); names >> name;)
            expected += "Sitemap: https://example.org/" + name + "\n";
        ASSERT_EQ(SaveSitemap(t.path("site/") + SitemapFileName(step.format), step.format, scan.tree,
                              Parameters(options), &error, nullptr, {step.perPart, 1 << 20, kMarch7}), 0) << error;
        EXPECT_EQ(t.read("site/robots.txt"), expected) << step.names;
    }
}
