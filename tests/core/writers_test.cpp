// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap_heads.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;
using larkspur::test::kHead084;

namespace {

constexpr std::int64_t kMarch7 = 1141732800;  // 2006-03-07 12:00 UTC
constexpr std::int64_t kMay1 = 1241179200;    // 2009-05-01 12:00 UTC

class Writers : public testing::Test {
protected:
    void SetUp() override
    {
        t.file("site/index.html", "home", kMarch7);
        t.file("site/R&D/Page,1.HTML", "x", kMay1);
        t.file("site/a b.htm", "x", kMay1);
        t.file("site/empty.html", "", kMay1);
        t.file("site/style.css", "x", kMay1);
        t.file("site/page.html.bak", "x", kMay1);
        ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
        parameters.websiteUrl = "https://example.com/site";
        parameters.priorityIndex = 8;
        parameters.frequencyIndex = 2;
    }

    std::string write(SitemapFormat format)
    {
        std::ostringstream out;
        EXPECT_EQ(WriteSitemap(out, format, scan.tree, parameters), 0);
        return out.str();
    }

    TempTree t;
    ScanResult scan;
    SitemapParameters parameters;
};

std::string Entry(const char* loc, const char* date)
{
    return std::string("<url>\r\n  <loc>") + loc + "</loc>\r\n  <lastmod>" + date
         + "</lastmod>\r\n  <changefreq>daily</changefreq>\r\n  <priority>0.8</priority>\r\n</url>\r\n";
}

}  // namespace

TEST_F(Writers, XmlExactBytes)
{
    const std::string expected = kHead084
        + Entry("https://example.com/site/a%20b.htm", "2009-05-01")
        + Entry("https://example.com/site/index.html", "2006-03-07")
        + Entry("https://example.com/site/R&amp;D/Page,1.HTML", "2009-05-01") + "</urlset>\r\n";
    EXPECT_EQ(write(SitemapFormat::Xml), expected);
}

TEST_F(Writers, TextHoldsPlainUrls)
{
    EXPECT_EQ(write(SitemapFormat::Text),
              "https://example.com/site/a%20b.htm\r\n"
              "https://example.com/site/index.html\r\n"
              "https://example.com/site/R&D/Page,1.HTML\r\n");
}

TEST_F(Writers, CsvQuotesFieldsWithCommas)
{
    EXPECT_EQ(write(SitemapFormat::Csv),
              "loc,lastmod,changefreq,priority\r\n"
              "https://example.com/site/a%20b.htm,2009-05-01,daily,0.8\r\n"
              "https://example.com/site/index.html,2006-03-07,daily,0.8\r\n"
              "\"https://example.com/site/R&amp;D/Page,1.HTML\",2009-05-01,daily,0.8\r\n");
}

TEST_F(Writers, RefusesInvalidUrlAndUnwalkedTree)
{
    std::ostringstream out;
    parameters.websiteUrl = "www.example.com";
    EXPECT_EQ(WriteSitemap(out, SitemapFormat::Xml, scan.tree, parameters), -1);
    parameters.websiteUrl = "http://example.com";
    ScanTree unwalked;
    EXPECT_EQ(WriteSitemap(out, SitemapFormat::Xml, unwalked, parameters), -1);
}

TEST(WritersEmpty, NoPagesGivesHeadAndTailOnly)
{
    TempTree t;
    t.file("site/a.css");
    t.file("site/b.html", "");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapParameters parameters{"http://h", 6, 3};
    std::ostringstream xml, txt, csv;
    WriteSitemap(xml, SitemapFormat::Xml, scan.tree, parameters);
    WriteSitemap(txt, SitemapFormat::Text, scan.tree, parameters);
    WriteSitemap(csv, SitemapFormat::Csv, scan.tree, parameters);
    EXPECT_EQ(xml.str(), kHead084 + "</urlset>\r\n");
    EXPECT_EQ(txt.str(), "");
    EXPECT_EQ(csv.str(), "loc,lastmod,changefreq,priority\r\n");
}

TEST_F(Writers, SaveOverwrites)
{
    t.file("site/sitemap.xml", "old content that is longer than nothing");
    std::string error;
    ASSERT_EQ(SaveSitemap(t.path("site/sitemap.xml"), SitemapFormat::Xml, scan.tree, parameters, &error), 0) << error;
    EXPECT_EQ(t.read("site/sitemap.xml"), write(SitemapFormat::Xml));
}

TEST_F(Writers, FailedSaveLeavesThePreviousFile)
{
    t.file("site/sitemap.xml", "previous");
    std::string error;
    EXPECT_EQ(SaveSitemap(t.path("site/missing/sitemap.xml"), SitemapFormat::Xml, scan.tree, parameters, &error), -1);
    EXPECT_FALSE(error.empty());
    parameters.websiteUrl = "relative/url";
    EXPECT_EQ(SaveSitemap(t.path("site/sitemap.xml"), SitemapFormat::Xml, scan.tree, parameters, &error), -1);
    EXPECT_EQ(error, "Invalid parameter(s)!");
    EXPECT_EQ(t.read("site/sitemap.xml"), "previous");
}

TEST(WritersDates, ATimeOutsideYearsOneTo9999LeavesTheDateOut)
{
    struct Case { std::int64_t mtime; const char* date; };
    const Case cases[] = {
        {-62135596800, "0001-01-01"}, {253402300799, "9999-12-31"}, {253402300800, ""},
        {1000000000000, ""},          {INT64_MIN, ""},              {INT64_MAX, ""},
    };
    for (const Case& c : cases) {
        ScanTree tree;
        tree.walked = true;
        const FileEntry& root = tree.entries.emplace_back(nullptr, ".", 0, EntryType::Directory);
        tree.entries.emplace_back(&root, "p.html", c.mtime, EntryType::File);
        const std::string date = c.date;
        std::ostringstream xml, csv;
        ASSERT_EQ(WriteSitemap(xml, SitemapFormat::Xml, tree, {"https://e.com", 6, 3}), 0);
        ASSERT_EQ(WriteSitemap(csv, SitemapFormat::Csv, tree, {"https://e.com", 6, 3}), 0);
        EXPECT_NE(xml.str().find(date.empty() ? "</loc>\r\n  <changefreq>" : "<lastmod>" + date + "</lastmod>"),
                  std::string::npos) << c.mtime << "\n" << xml.str();
        EXPECT_EQ(xml.str().find("<lastmod>" + date + "</lastmod>") != std::string::npos, !date.empty());
        EXPECT_NE(csv.str().find("\r\nhttps://e.com/p.html," + date + ",weekly,0.6\r\n"), std::string::npos)
            << c.mtime << "\n" << csv.str();
    }
}

TEST(CsvField, QuotesOnlyWhenNeeded)
{
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField(""), "");
}

TEST(WritersLimits, UrlsPastTheProtocolLimitAreLeftOutAndCounted)
{
    TempTree t;
    // "http://h/" (9) + 8 folders of 250 bytes and "/" (2008) + a name.
    std::string folder = "site";
    for (int i = 0; i < 8; ++i)
        folder += "/" + std::string(250, static_cast<char>('a' + i));
    t.file(folder + "/" + std::string(26, 'x') + ".html");  // 2048: kept
    t.file(folder + "/" + std::string(27, 'y') + ".html");  // 2049: left out
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    for (const SitemapFormat format : {SitemapFormat::Xml, SitemapFormat::Text, SitemapFormat::Csv}) {
        std::ostringstream out;
        SaveReport report;
        ASSERT_EQ(WriteSitemap(out, format, scan.tree, {"http://h", 6, 3}, &report), 0);
        EXPECT_EQ(report.tooLong, 1);
        EXPECT_NE(out.str().find(std::string(26, 'x') + ".html"), std::string::npos);
        EXPECT_EQ(out.str().find(std::string(27, 'y')), std::string::npos);
    }
}

TEST_F(Writers, ALinkedSitemapStaysALinkAndItsTargetIsReplaced)
{
    t.file("deploy/sitemap.txt", "old");
    ASSERT_EQ(::symlink("../deploy/sitemap.txt", t.path("site/sitemap.txt").c_str()), 0);
    std::string error;
    ASSERT_EQ(SaveSitemap(t.path("site/sitemap.txt"), SitemapFormat::Text, scan.tree, parameters, &error), 0)
        << error;
    struct stat st;
    ASSERT_EQ(::lstat(t.path("site/sitemap.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(t.read("deploy/sitemap.txt"), write(SitemapFormat::Text));
}
