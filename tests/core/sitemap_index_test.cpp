// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <sstream>

#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "sitemap_heads.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;
using larkspur::test::kHead084;
using larkspur::test::kIndexHead084;

namespace {

constexpr std::int64_t kMarch7 = 1141732800;  // 2006-03-07 12:00 UTC
constexpr std::int64_t kToday = 1796731200;    // 2026-12-08 12:00 UTC

std::string Url(const std::string& loc)
{
    return "<url>\r\n  <loc>" + loc
         + "</loc>\r\n  <lastmod>2006-03-07</lastmod>\r\n  <changefreq>weekly</changefreq>\r\n"
           "  <priority>0.6</priority>\r\n</url>\r\n";
}

std::string IndexEntry(const std::string& loc)
{
    return "<sitemap>\r\n  <loc>" + loc + "</loc>\r\n  <lastmod>2026-12-08</lastmod>\r\n</sitemap>\r\n";
}

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class Index : public testing::Test {
protected:
    void site(int pages)
    {
        for (int i = 0; i < pages; ++i)
            t.file("site/p" + std::to_string(i) + ".html", "x", kMarch7);
        ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    }

    int save(const OutputLimits& limits, SaveReport* report = nullptr, const std::string& output = "site/sitemap.xml")
    {
        std::string error;
        t.folder(output.substr(0, output.rfind('/')));
        const int result = SaveSitemap(t.path(output), SitemapFormat::Xml, scan.tree,
                                       {"https://example.com/docs", 6, 3}, &error, report, limits);
        EXPECT_EQ(result, 0) << error;
        return result;
    }

    TempTree t;
    ScanResult scan;
};

}  // namespace

TEST_F(Index, AtTheUrlLimitStaysOneFile)
{
    site(3);
    SaveReport report;
    save({3, 1 << 20, kToday}, &report);
    EXPECT_EQ(t.read("site/sitemap.xml"),
              kHead084 + Url("https://example.com/docs/p0.html") + Url("https://example.com/docs/p1.html")
                  + Url("https://example.com/docs/p2.html") + "</urlset>\r\n");
    EXPECT_FALSE(t.exists("site/sitemap1.xml"));
    EXPECT_EQ(report.files, std::vector<std::string>{t.path("site/sitemap.xml")});
}

TEST_F(Index, OneUrlOverTheLimitMakesAnIndex)
{
    site(4);
    SaveReport report;
    save({3, 1 << 20, kToday}, &report);
    EXPECT_EQ(t.read("site/sitemap.xml"),
              kIndexHead084 + IndexEntry("https://example.com/docs/sitemap1.xml")
                  + IndexEntry("https://example.com/docs/sitemap2.xml") + "</sitemapindex>\r\n");
    EXPECT_EQ(t.read("site/sitemap1.xml"),
              kHead084 + Url("https://example.com/docs/p0.html") + Url("https://example.com/docs/p1.html")
                  + Url("https://example.com/docs/p2.html") + "</urlset>\r\n");
    EXPECT_EQ(t.read("site/sitemap2.xml"), kHead084 + Url("https://example.com/docs/p3.html") + "</urlset>\r\n");
    EXPECT_EQ(report.urls, 4);
    EXPECT_EQ(report.files.size(), 3u);
}

// A part holds head, urls and tail within the byte limit, up to its last
// byte: two URLs fit exactly a limit of their size, not one byte less.
TEST_F(Index, ByteLimitCountsHeadAndTail)
{
    site(4);
    const std::size_t url = Url("https://example.com/docs/p0.html").size();
    const std::size_t twoUrls = kHead084.size() + 2 * url + 11;
    for (const auto& [limit, perPart] : {std::pair{twoUrls, 2u}, std::pair{twoUrls - 1, 1u}}) {
        SCOPED_TRACE(limit);
        save({100, limit, kToday});
        EXPECT_EQ(Count(t.read("site/sitemap.xml"), "<sitemap>"), 4u / perPart);
        for (unsigned i = 1; i <= 4u / perPart; ++i) {
            const std::string text = t.read("site/sitemap" + std::to_string(i) + ".xml");
            EXPECT_EQ(text.size(), kHead084.size() + perPart * url + 11);
            EXPECT_EQ(Count(text, "<url>"), perPart);
        }
    }
}

// The index lists its parts at the address of their folder; a folder
// outside the site has none, and the run says so.
TEST_F(Index, PartsAreListedAtTheirFoldersAddress)
{
    site(2);
    struct Case { const char* output; const char* firstPart; bool note; };
    for (const Case& c : {Case{"site/maps/sitemap.xml", "https://example.com/docs/maps/sitemap1.xml", false},
                          Case{"elsewhere/sitemap.xml", "https://example.com/docs/sitemap1.xml", true}}) {
        SCOPED_TRACE(c.output);
        SaveReport report;
        save({1, 1 << 20, kToday}, &report, c.output);
        EXPECT_EQ(t.read(c.output).find(IndexEntry(c.firstPart)), kIndexHead084.size());
        EXPECT_EQ(report.notes.size(), c.note ? 1u : 0u);
    }
}

TEST_F(Index, ProtocolLimitOf50000Urls)
{
    site(50001);
    SaveReport report;
    save({}, &report);
    const std::string index = t.read("site/sitemap.xml");
    EXPECT_EQ(index.rfind(kIndexHead084, 0), 0u);
    EXPECT_EQ(Count(index, "<sitemap>"), 2u);
    EXPECT_EQ(Count(t.read("site/sitemap1.xml"), "<url>"), 50000u);
    // Listing order is byte order for these names: p9999 is the last one.
    EXPECT_EQ(t.read("site/sitemap2.xml"), kHead084 + Url("https://example.com/docs/p9999.html") + "</urlset>\r\n");
    EXPECT_EQ(report.urls, 50001);
}

TEST(IndexConvert, CsvPastTheLimitNamesPartsBesideIt)
{
    TempTree t;
    t.file("site/map.csv",
           "loc,lastmod,changefreq,priority\r\n"
           "https://example.com/docs/a.html,2006-3-7,weekly,0.6\r\n"
           "https://example.com/docs/sub/b.html,2006-03-07,weekly,0.6\r\n"
           "https://example.com/docs/abc.html,2006-03-07,weekly,0.6\r\n");
    ConvertReport report;
    std::string error;
    ASSERT_EQ(ConvertCsvToXml(t.path("site/map.csv"), t.path("site/map.xml"), &report, &error, {2, 1 << 20, kToday}), 0)
        << error;
    EXPECT_EQ(t.read("site/map.xml"), kIndexHead084 + IndexEntry("https://example.com/map1.xml")
                                          + IndexEntry("https://example.com/map2.xml") + "</sitemapindex>\r\n");
    EXPECT_EQ(t.read("site/map1.xml"), kHead084 + Url("https://example.com/docs/a.html")
                                           + Url("https://example.com/docs/sub/b.html") + "</urlset>\r\n");
    EXPECT_EQ(t.read("site/map2.xml"), kHead084 + Url("https://example.com/docs/abc.html") + "</urlset>\r\n");
    EXPECT_EQ(report.files, (std::vector<std::string>{t.path("site/map.xml"), t.path("site/map1.xml"),
                                                      t.path("site/map2.xml")}));
}

struct PartAddressCase {
    const char* name;
    std::vector<std::string> locs;
    const char* folderUrl;  // the address of the CSV's folder, or ""
    const char* firstPart;  // the index's first loc; nullptr: refused
};

class PartAddress : public testing::TestWithParam<PartAddressCase> {};

TEST_P(PartAddress, ComesFromTheCsvFolderOrTheRowsHost)
{
    const PartAddressCase& c = GetParam();
    TempTree t;
    std::string csv;
    for (const std::string& loc : c.locs)
        csv += loc + ",2006-03-07,weekly,0.6\n";
    t.file("s.csv", csv);
    std::string error;
    const int result = ConvertCsvToXml(t.path("s.csv"), t.path("s.xml"), nullptr, &error, {1, 1 << 20, kToday},
                                       c.folderUrl);
    if (!c.firstPart) {
        EXPECT_EQ(result, -1);
        EXPECT_NE(error.find("https://one.example/"), std::string::npos) << error;
        EXPECT_NE(error.find("http://two.example/"), std::string::npos) << error;
        EXPECT_EQ(t.exists("s.xml") || t.exists("s1.xml"), false);
        return;
    }
    ASSERT_EQ(result, 0) << error;
    EXPECT_NE(t.read("s.xml").find("<loc>" + std::string(c.firstPart) + "</loc>"), std::string::npos)
        << t.read("s.xml");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PartAddress,
    testing::Values(
        PartAddressCase{"host_of_rows_below_a_folder", {"https://e.com/blog/a.html", "https://e.com/blog/b.html"}, "",
                        "https://e.com/s1.xml"},
        PartAddressCase{"host_case_ignored", {"https://E.com/a.html", "https://e.COM/b.html"}, "",
                        "https://e.com/s1.xml"},
        PartAddressCase{"folder_url_given", {"https://e.com/blog/a.html", "https://e.com/blog/b.html"},
                        "https://E.com/blog", "https://e.com/blog/s1.xml"},
        PartAddressCase{"folder_url_with_idn_host", {"https://xn--bcher-kva.example/a.html", "https://xn--bcher-kva.example/b"},
                        "https://b\xC3\xBC" "cher.example/", "https://xn--bcher-kva.example/s1.xml"},
        PartAddressCase{"two_hosts_refused", {"https://one.example/a.html", "http://two.example/b.html"}, "", nullptr},
        PartAddressCase{"two_hosts_with_folder_url", {"https://one.example/a.html", "http://two.example/b.html"},
                        "https://one.example/", "https://one.example/s1.xml"}),
    [](const testing::TestParamInfo<PartAddressCase>& info) { return info.param.name; });

TEST(IndexConvert, BelowTheLimitOneFile)
{
    TempTree t;
    t.file("site/map.csv", "https://example.com/a.html,2006-03-07,weekly,0.6\r\n");
    ConvertReport report;
    ASSERT_EQ(ConvertCsvToXml(t.path("site/map.csv"), t.path("site/map.xml"), &report), 0);
    EXPECT_EQ(t.read("site/map.xml"), kHead084 + Url("https://example.com/a.html") + "</urlset>\r\n");
    EXPECT_EQ(report.files, std::vector<std::string>{t.path("site/map.xml")});
}
