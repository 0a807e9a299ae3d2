// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <sstream>

#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap_heads.h"
#include "temp_tree.h"
#include "text/text.h"

using namespace larkspur;
using larkspur::test::TempTree;
using larkspur::test::kHead084;

namespace {

// An empty text leaves its element out.
std::string Url(const std::string& loc, const std::string& lastmod, const std::string& freq,
                const std::string& priority)
{
    const auto element = [](const char* name, const std::string& text) {
        return text.empty() ? "" : "  <" + std::string(name) + ">" + text + "</" + name + ">\r\n";
    };
    return "<url>\r\n  <loc>" + loc + "</loc>\r\n" + element("lastmod", lastmod) + element("changefreq", freq)
         + element("priority", priority) + "</url>\r\n";
}

std::string Convert(const std::string& csv, ConvertReport* report = nullptr)
{
    std::istringstream in(csv);
    std::ostringstream out;
    EXPECT_EQ(ConvertCsvToXml(in, out, report), 0);
    return out.str();
}

}  // namespace

struct SplitCase {
    const char* name;
    const char* line;
    int result;
    std::vector<std::string> fields;
};

class Split : public testing::TestWithParam<SplitCase> {};

TEST_P(Split, Fields)
{
    FieldList list;
    const SplitCase& c = GetParam();
    ASSERT_EQ(SplitFields(list, c.line, ','), c.result);
    EXPECT_EQ(list.fields, c.fields);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Split,
    testing::Values(
        SplitCase{"four_plain", "http://h/a.html,2006-03-07,weekly,0.6", 0, {"http://h/a.html", "2006-03-07", "weekly", "0.6"}},
        SplitCase{"empty_field_kept", "http://h/a.html,,weekly,0.6", 0, {"http://h/a.html", "", "weekly", "0.6"}},
        SplitCase{"trailing_separator_ends_an_empty_field", "http://h/a.html,2006-03-07,weekly,0.6,", 0, {"http://h/a.html", "2006-03-07", "weekly", "0.6", ""}},
        SplitCase{"trailing_separators_of_omitted_hints", "http://h/a.html,2006-03-07,,", 0, {"http://h/a.html", "2006-03-07", "", ""}},
        SplitCase{"ends_trimmed_inner_spaces_kept", "  http://h/a b.html , x ,weekly,0.6  ", 0, {"http://h/a b.html ", " x ", "weekly", "0.6"}},
        SplitCase{"quoted_separator", "\"http://h/a,b.html\",2006-03-07,weekly,0.6", 0, {"http://h/a,b.html", "2006-03-07", "weekly", "0.6"}},
        SplitCase{"doubled_quote", "\"say \"\"hi\"\"\",b,c,d", 0, {"say \"hi\"", "b", "c", "d"}},
        SplitCase{"unbalanced_quote_runs_to_end", "\"http://h/a.html,b,c,d", 0, {"http://h/a.html,b,c,d"}},
        SplitCase{"quote_inside_unquoted_field_escapes_next", "ab\"cd,efgh", 0, {"abcd", "efgh"}},
        SplitCase{"too_many_fields_for_length", "a,b,c,d", -1, {}},
        SplitCase{"empty_line", "", -1, {}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(TrimSpaces, AllWhiteSpaceKinds)
{
    std::string text = " \t\v\f\r\n a b \n";
    TrimSpaces(text);
    EXPECT_EQ(text, "a b");
    text = " \t ";
    TrimSpaces(text);
    EXPECT_EQ(text, "");
}

TEST(Convert, HeadLineOnlyGivesEmptyUrlset)
{
    EXPECT_EQ(Convert("loc,lastmod,changefreq,priority\r\n"), kHead084 + "</urlset>\r\n");
    EXPECT_EQ(Convert("LOC,LASTMOD,CHANGEFREQ,PRIORITY\n"), kHead084 + "</urlset>\r\n");
}

TEST(Convert, RowsSkippedAndKept)
{
    ConvertReport report;
    const std::string xml = Convert(
        "loc,lastmod,changefreq,priority\r\n"
        "http://h/a.html,2006-03-07,weekly,0.6\r\n"
        "\r\n"
        "      \r\n"
        "http://h/only-three.html,2006-03-07,weekly\r\n"
        "http://h/b.html,,daily,0.5,\r\n"
        // Written with --omit-hints and --lastmod none, or blanked by hand.
        "http://h/d.html,,,\r\n"
        "http://h/e.html, ,weekly,,,\r\n"
        // A spreadsheet's padding for a column once used, longer than the row.
        "http://h/,2006-03-07,weekly,0.6,,,,,,,,,,,,,,,,,,,,,,\r\n"
        // No absolute http or https address: skipped like the lines above.
        ",2006-03-07,weekly,0.6\r\n"
        "javascript:alert(1),2006-03-07,weekly,0.6\r\n"
        "/relative.html,2006-03-07,weekly,0.6\r\n"
        "ftp://h/a.html,2006-03-07,weekly,0.6\r\n"
        "http:///no-host.html,2006-03-07,weekly,0.6\r\n"
        "https://:80/no-host.html,2006-03-07,weekly,0.6\r\n"
        "HTTPS://H/c.html,2006-03-07,weekly,0.6\r\n",
        &report);
    EXPECT_EQ(xml, kHead084 + Url("http://h/a.html", "2006-03-07", "weekly", "0.6")
                       + Url("http://h/b.html", "", "daily", "0.5") + Url("http://h/d.html", "", "", "")
                       + Url("http://h/e.html", "", "weekly", "") + Url("http://h/", "2006-03-07", "weekly", "0.6")
                       + Url("HTTPS://H/c.html", "2006-03-07", "weekly", "0.6") + "</urlset>\r\n");
    EXPECT_EQ(report.rowsWritten, 6);
    EXPECT_EQ(report.linesSkipped, 7);
}

// Hints the schema does not take are written as the CSV gives them, and said.
TEST(Convert, HintsSearchEnginesDoNotTakeAreSaid)
{
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/a.html,2006-3-7,weekly,0.6", ""},
        {"http://h/a.html, 2006-03-07T10:00:00+01:00 ,daily, 1.0 ", ""},
        {"http://h/a.html,,,.5", ""},
        {"http://h/a.html,1/5/2024,weekly,0.6", "line 1: lastmod '1/5/2024'"},
        {"http://h/a.html,2006-03-07,Weekly,0.6", "line 1: changefreq 'Weekly'"},
        {"http://h/a.html,2006-03-07, daily,0.6", "line 1: changefreq ' daily'"},
        {"http://h/a.html,2006-03-07,weekly,1.5", "line 1: priority '1.5'"},
        {"http://h/a.html,2006-03-07,weekly,high", "line 1: priority 'high'"},
    };
    for (const auto& [row, first] : cases) {
        ConvertReport report;
        EXPECT_NE(Convert(row, &report).find("<loc>http://h/a.html</loc>"), std::string::npos) << row;
        EXPECT_EQ(report.firstValueNotValid, first) << row;
        EXPECT_EQ(report.valuesNotValid, *first ? 1 : 0) << row;
    }
}

TEST(Convert, ReadsBackTheQuotedRowsOfTheWriter)
{
    const std::string xml = Convert("\"http://h/R&amp;D/Page,1.HTML\",2009-05-01,daily,0.8\r\n");
    EXPECT_EQ(xml, kHead084 + Url("http://h/R&amp;D/Page,1.HTML", "2009-05-01", "daily", "0.8")
                       + "</urlset>\r\n");
}

TEST(Convert, HandEditedTextBecomesWellFormed)
{
    const std::string xml = Convert("http://h/a.html?x=1&y=<2>&amp;&#38;&#x26;,2006-3-7,week&ly,<0.5>\n");
    EXPECT_EQ(xml, kHead084
                       + Url("http://h/a.html?x=1&amp;y=&lt;2&gt;&amp;&#38;&#x26;", "2006-03-07", "week&amp;ly", "&lt;0.5&gt;")
                       + "</urlset>\r\n");
}

TEST(Convert, LongLinesStayWholeUpToTheUrlLimit)
{
    // 2048 characters once read: "&amp;" counts as one.
    const std::string loc = "http://h/" + std::string(2033, 'a') + "&amp;.html";
    const std::string longer = "http://h/" + std::string(2034, 'a') + "&amp;.html";
    ConvertReport report;
    const std::string xml = Convert(loc + ",2006-03-07,weekly,0.6\n" + longer + ",2006-03-07,weekly,0.6\n", &report);
    EXPECT_EQ(xml, kHead084 + Url(loc, "2006-03-07", "weekly", "0.6") + "</urlset>\r\n");
    EXPECT_EQ(report.rowsWritten, 1);
    EXPECT_EQ(report.tooLong, 1);
}

TEST(Convert, ByteOrderMarkAndLineEndings)
{
    ConvertReport report;
    const std::string xml = Convert("\xEF\xBB\xBFloc,lastmod,changefreq,priority\r"
                                    "http://h/a.html,2006-03-07,weekly,0.6\r"
                                    "http://h/b.html,2006-03-07,weekly,0.6\n"
                                    "http://h/c.html,2006-03-07,weekly,0.6",
                                    &report);
    EXPECT_EQ(report.rowsWritten, 3);
    EXPECT_EQ(report.linesSkipped, 0);
    EXPECT_EQ(xml.find("loc,"), std::string::npos);
}

struct DateCase { const char* in; const char* out; };
class PadDates : public testing::TestWithParam<DateCase> {};
TEST_P(PadDates, Pads) { EXPECT_EQ(PadDate(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Texts, PadDates,
    testing::Values(DateCase{"2006-3-7", "2006-03-07"}, DateCase{"2006-12-7", "2006-12-07"},
                    DateCase{"2006-03-07", "2006-03-07"}, DateCase{"2006-03-07T10:00:00Z", "2006-03-07T10:00:00Z"},
                    DateCase{"yesterday", "yesterday"}, DateCase{"06-3-7", "06-3-7"}, DateCase{"", ""},
                    DateCase{"2006-3-", "2006-3-"}));

TEST(CsvPath, XmlNameAndChecks)
{
    std::string xml;
    EXPECT_EQ(XmlPathForCsv("/x/Sitemap.CSV", xml), 0);
    EXPECT_EQ(xml, "/x/Sitemap.xml");
    EXPECT_EQ(XmlPathForCsv("/x/a.Csv", xml), 0);
    EXPECT_EQ(xml, "/x/a.xml");
    EXPECT_EQ(XmlPathForCsv("/x/a.csv.bak", xml), -1);
    EXPECT_EQ(XmlPathForCsv("/x.csv/noext", xml), -1);

    TempTree t;
    t.file("site/map.Csv", "loc\n");
    t.file("site/map.csv.bak", "loc\n");
    t.folder("site/folder.csv");
    std::string message;
    EXPECT_EQ(CheckCsvPath(t.path("site/map.Csv"), message), 0);
    EXPECT_EQ(message, "map.xml will be created in same folder!");
    EXPECT_EQ(CheckCsvPath(t.path("site/map.csv.bak"), message), -1);
    EXPECT_EQ(message, "A csv file required!");
    EXPECT_EQ(CheckCsvPath(t.path("site/folder.csv"), message), -1);
    EXPECT_EQ(message, "A csv file required!");
    EXPECT_EQ(CheckCsvPath(t.path("site/none.csv"), message), -1);
    EXPECT_EQ(message, "File not exists!");
    EXPECT_EQ(CheckCsvPath("", message), -1);
    EXPECT_EQ(message, "");
}

TEST(ConvertFile, WritesBesideAndReportsFailure)
{
    TempTree t;
    t.file("site/sitemap.csv", "loc,lastmod,changefreq,priority\r\nhttp://h/a.html,2006-3-7,weekly,0.6\r\n");
    std::string error;
    ASSERT_EQ(ConvertCsvToXml(t.path("site/sitemap.csv"), t.path("site/sitemap.xml"), nullptr, &error), 0);
    EXPECT_EQ(t.read("site/sitemap.xml"),
              kHead084 + Url("http://h/a.html", "2006-03-07", "weekly", "0.6") + "</urlset>\r\n");

    t.file("site/old.xml", "keep me");
    EXPECT_EQ(ConvertCsvToXml(t.path("site/missing.csv"), t.path("site/old.xml"), nullptr, &error), -1);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(t.read("site/old.xml"), "keep me");
    EXPECT_EQ(ConvertCsvToXml(t.path("site/sitemap.csv"), t.path("site/gone/x.xml"), nullptr, &error), -1);

    // Split, then its head line alone: the parts of the split go with it.
    t.file("site/sitemap.csv", "http://h/a.html,,,\r\nhttp://h/b.html,,,\r\nhttp://h/c.html,,,\r\n");
    OutputLimits two;
    two.maxUrls = 2;
    ASSERT_EQ(ConvertCsvToXml(t.path("site/sitemap.csv"), t.path("site/sitemap.xml"), nullptr, &error, two), 0);
    ASSERT_TRUE(t.exists("site/sitemap2.xml"));
    t.file("site/sitemap.csv", "loc,lastmod,changefreq,priority\r\n");
    ASSERT_EQ(ConvertCsvToXml(t.path("site/sitemap.csv"), t.path("site/sitemap.xml"), nullptr, &error, two), 0);
    EXPECT_FALSE(t.exists("site/sitemap1.xml") || t.exists("site/sitemap2.xml"));
}

TEST(RoundTrip, WriterCsvConvertsToTheWriterXml)
{
    TempTree t;
    t.file("site/a,b.html", "x", 1141732800);
    t.file("site/R&D's \"q\".htm", "x", 1141732800);
    t.file("site/caf\xC3\xA9.html", "x", 1141732800);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapParameters parameters{"http://example.com/", 3, 4};
    std::ostringstream csv, xml;
    ASSERT_EQ(WriteSitemap(csv, SitemapFormat::Csv, scan.tree, parameters), 0);
    ASSERT_EQ(WriteSitemap(xml, SitemapFormat::Xml, scan.tree, parameters), 0);
    EXPECT_EQ(Convert(csv.str()), xml.str());
}

TEST(Convert, LinePastSixteenMegabytesIsSkippedNotKept)
{
    ConvertReport report;
    const std::string xml = Convert("http://h/" + std::string(17 << 20, 'a') + ",2006-03-07,weekly,0.6\n"
                                    "http://h/b.html,2006-03-07,weekly,0.6\n",
                                    &report);
    EXPECT_EQ(report.linesSkipped, 1);
    EXPECT_EQ(report.rowsWritten, 1);
    EXPECT_EQ(xml, kHead084 + Url("http://h/b.html", "2006-03-07", "weekly", "0.6") + "</urlset>\r\n");
}
