// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// csv2xml: which paths it takes, where the XML goes, and what it holds.
#include "cli_harness.h"
#include "sitemap_heads.h"

#include <gtest/gtest.h>

#include "gzip/gzip.h"

namespace larkspur::clitest {
namespace {

const std::string kTail = "</urlset>\r\n";
const std::string kRow = "http://example.com/a.html,2006-03-07,daily,0.5\n";
const std::string kRowXml =
    "<url>\r\n  <loc>http://example.com/a.html</loc>\r\n  <lastmod>2006-03-07</lastmod>\r\n"
    "  <changefreq>daily</changefreq>\r\n  <priority>0.5</priority>\r\n</url>\r\n";

struct NameCase {
    const char* name;
    const char* csv;  // the file given
    const char* xml;  // the file expected beside it
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.csv;
}

class AcceptedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(AcceptedName, WritesTheXmlBesideItWithALowerCaseExtension)
{
    Sandbox box;
    box.file(std::string("data/") + GetParam().csv, kRow);
    const RunResult r = box.run({"csv2xml", std::string("data/") + GetParam().csv});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, std::string(GetParam().xml) + " created.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(box.read(std::string("data/") + GetParam().xml), kHead084 + kRowXml + kTail);
    // The CSV and the new XML, nothing else.
    EXPECT_EQ(box.snapshot("data").size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cli, AcceptedName,
                         ::testing::Values(NameCase{"LowerCase", "sitemap.csv", "sitemap.xml"},
                                           NameCase{"MixedCase", "Sitemap.Csv", "Sitemap.xml"},
                                           NameCase{"UpperCase", "SITEMAP.CSV", "SITEMAP.xml"},
                                           NameCase{"DotsBefore", "my.site.map.csv", "my.site.map.xml"},
                                           NameCase{"OnlyTheExtension", ".csv", ".xml"},
                                           NameCase{"Spaces", "site map.csv", "site map.xml"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::string path;
    const char* message;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << c.path;
}

class RefusedPath : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedPath, FailsWithTheDialogsMessageAndWritesNothing)
{
    Sandbox box;
    box.file("data/sitemap.csv.bak", kRow);
    box.file("data/sitemap.txt", kRow);
    box.file("data/csv", kRow);
    box.file("data/sitemapcsv", kRow);
    box.folder("data/folder.csv");
    const auto before = box.snapshot();
    const RunResult r = box.run({"csv2xml", GetParam().path});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "larkspur-cli: " + GetParam().path + ": " + GetParam().message + "\n");
    EXPECT_EQ(box.snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RefusedPath,
    ::testing::Values(RefusedCase{"BackupOfACsv", "data/sitemap.csv.bak", "A csv file required!"},
                      RefusedCase{"OtherExtension", "data/sitemap.txt", "A csv file required!"},
                      RefusedCase{"NoDotAtAll", "data/sitemapcsv", "A csv file required!"},
                      RefusedCase{"NamedCsvWithoutDot", "data/csv", "A csv file required!"},
                      RefusedCase{"AFolderNamedLikeACsv", "data/folder.csv", "A csv file required!"},
                      RefusedCase{"AFolder", "data", "A csv file required!"},
                      RefusedCase{"Missing", "data/missing.csv", "File not exists!"},
                      RefusedCase{"MissingFolder", "nowhere/sitemap.csv", "File not exists!"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RoundTripCase {
    const char* name;
    std::vector<std::string> write;    // sitemap options of csv and xml, or stored with the project
    std::vector<std::string> convert;  // csv2xml's options
    bool project;                      // all three commands take --project instead
    const char* xml;                   // what csv2xml writes
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.name;
}

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// What `csv` writes and `csv2xml` reads back gives the bytes `xml` writes,
// names with commas, quotes and ampersands included, whatever the options.
TEST_P(RoundTrip, OfTheCsvCommandEqualsTheXmlCommand)
{
    const RoundTripCase& c = GetParam();
    Sandbox box;
    box.folder("work");
    box.file("site/index.html", "i", k2006March7);
    box.file("site/a,b.html", "a", k2006March7);
    box.file("site/R&D's \"x\".htm", "r", k1999LastSecond);
    box.file("site/docs/caf\xC3\xA9 <1>.html", "c", k2006March7);
    std::vector<std::string> site = {"site", "--url", "https://example.com/base"};
    if (c.project) {
        std::vector<std::string> add = {"projects", "add", "p", "--path", "site", "--url", "https://example.com/base",
                                        "--working-dir", "work"};
        add.insert(add.end(), c.write.begin(), c.write.end());
        ASSERT_EQ(box.run(add).status, 0);
        site = {"--project", "p", "--working-dir", "work"};
    } else {
        site.insert(site.end(), c.write.begin(), c.write.end());
    }
    const auto run = [&](std::vector<std::string> args, const std::vector<std::string>& options) {
        args.insert(args.end(), options.begin(), options.end());
        return box.run(args);
    };
    ASSERT_EQ(run({"csv", "--priority", "0.3", "--changefreq", "monthly", "--output", "site/map.csv"}, site).status, 0);
    const RunResult xml = run({"xml", "--priority", "0.3", "--changefreq", "monthly", "--output", "-"}, site);
    ASSERT_EQ(xml.status, 0) << xml;
    const RunResult r = run({"csv2xml", "site/map.csv"}, c.project ? site : c.convert);
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, std::string(c.xml) + " created.\n");
    std::string written = box.read("site/" + std::string(c.xml)), expected = xml.out, error;
    if (written.starts_with("\x1F\x8B")) {
        ASSERT_EQ(Gunzip(std::string(written), written, 1 << 20, error), 0) << error;
        ASSERT_EQ(Gunzip(xml.out, expected, 1 << 20, error), 0) << error;
    }
    EXPECT_EQ(written, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RoundTrip,
    ::testing::Values(
        RoundTripCase{"Defaults", {}, {}, false, "map.xml"},
        RoundTripCase{"OmitHints", {"--omit-hints"}, {}, false, "map.xml"},
        RoundTripCase{"NoLastmod", {"--lastmod", "none"}, {}, false, "map.xml"},
        RoundTripCase{"Protocol09Gzip", {"--protocol", "0.9", "--gzip"}, {"--protocol", "0.9", "--gzip"}, false,
                      "map.xml.gz"},
        RoundTripCase{"TheProjectsOptions", {"--protocol", "0.9", "--gzip", "--omit-hints"}, {}, true, "map.xml.gz"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Csv2xml, HandEditedRowsAreMendedAndUnusableLinesReported)
{
    Sandbox box;
    box.file("edited.csv",
             "LOC,lastmod,changefreq,priority\n"          // head line in capitals: skipped silently
             "   \n"                                        // blank: skipped silently
             "http://example.com/old.html,2006-3-7,daily,0.5\n"  // an older version's date: padded
             "http://example.com/a&b.html,,weekly,0.6,\n"   // empty lastmod left out, trailing comma ignored
             "http://example.com/only-three,2006-03-07,daily\n"  // three fields: reported
             "javascript:alert(1),2006-03-07,daily,0.5\n"       // no http(s) address: reported
             ",2006-03-07,daily,0.5\n"                          // no address at all: reported
             "  http://example.com/x.html , 2006-03-07,never,1.0  \n");
    const RunResult r = box.run({"csv2xml", "edited.csv"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "edited.xml created.\n");
    EXPECT_EQ(r.err, "larkspur-cli: 3 line(s) skipped: not four comma-separated fields starting with an http:// or "
                     "https:// URL\n");
    EXPECT_EQ(box.read("edited.xml"),
              kHead084
                  + "<url>\r\n  <loc>http://example.com/old.html</loc>\r\n  <lastmod>2006-03-07</lastmod>\r\n"
                    "  <changefreq>daily</changefreq>\r\n  <priority>0.5</priority>\r\n</url>\r\n"
                    "<url>\r\n  <loc>http://example.com/a&amp;b.html</loc>\r\n"
                    "  <changefreq>weekly</changefreq>\r\n  <priority>0.6</priority>\r\n</url>\r\n"
                    "<url>\r\n  <loc>http://example.com/x.html </loc>\r\n  <lastmod> 2006-03-07</lastmod>\r\n"
                    "  <changefreq>never</changefreq>\r\n  <priority>1.0</priority>\r\n</url>\r\n"
                  + kTail);
}

// Past 50,000 rows the parts are written beside the CSV: the index names
// them by the address of the CSV's folder, not by the rows' common folder.
TEST(Csv2xml, PastTheLimitPartsAreAddressedFromTheUrlOrTheRowsHost)
{
    Sandbox box;
    std::string csv;
    for (int i = 0; i <= 50000; ++i)
        csv += "https://e.com/blog/p" + std::to_string(i) + ".html,2006-03-07,daily,0.5\n";
    box.file("s.csv", csv);
    RunResult r = box.run({"csv2xml", "s.csv"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_NE(box.read("s.xml").find("<loc>https://e.com/s2.xml</loc>"), std::string::npos);
    r = box.run({"csv2xml", "s.csv", "--url", "https://e.com/blog/"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "s.xml created.\ns1.xml created.\ns2.xml created.\n");
    EXPECT_NE(box.read("s.xml").find("<loc>https://e.com/blog/s2.xml</loc>"), std::string::npos);
    // A saved project whose folder holds the CSV gives the address.
    box.folder("work");
    ASSERT_EQ(box.run({"projects", "add", "p", "--path", ".", "--url", "https://e.com/www", "--working-dir", "work"})
                  .status,
              0);
    r = box.run({"csv2xml", "s.csv", "--project", "p", "--working-dir", "work"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_NE(box.read("s.xml").find("<loc>https://e.com/www/s2.xml</loc>"), std::string::npos);

    box.file("two.csv", csv + "https://other.example/x.html,2006-03-07,daily,0.5\n");
    r = box.run({"csv2xml", "two.csv"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("https://e.com/ and https://other.example/"), std::string::npos) << r;
    EXPECT_FALSE(box.exists("two.xml"));
    EXPECT_FALSE(box.exists("two1.xml"));
}

TEST(Csv2xml, AHeadLineOnlyGivesAnEmptyUrlset)
{
    Sandbox box;
    box.file("s.csv", "loc,lastmod,changefreq,priority\r\n");
    const RunResult r = box.run({"csv2xml", "s.csv"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(box.read("s.xml"), kHead084 + kTail);
}

// Only by a sitemap of rows: a CSV of which every row is skipped fails.
TEST(Csv2xml, ReplacesAnXmlAlreadyThere)
{
    Sandbox box;
    box.file("s.csv", "loc,lastmod,changefreq,priority\nhttp://example.com/a.html,2006-03-07\n,,,\n");
    box.file("s.xml", "old");
    RunResult r = box.run({"csv2xml", "s.csv"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "larkspur-cli: s.csv: no row converted: 2 line(s) not four comma-separated fields starting "
                     "with an http:// or https:// URL; s.xml not written\n");
    EXPECT_EQ(box.read("s.xml"), "old");
    box.file("s.csv", kRow);
    r = box.run({"csv2xml", "s.csv"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(box.read("s.xml"), kHead084 + kRowXml + kTail);
}

TEST(Csv2xml, AnXmlPathThatIsAFolderFailsAndLeavesNoTemporaryFile)
{
    Sandbox box;
    box.file("s.csv", kRow);
    box.folder("s.xml");
    const auto before = box.snapshot();
    const RunResult r = box.run({"csv2xml", "s.csv"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("s.xml: Is a directory"), std::string::npos) << r;
    EXPECT_EQ(box.snapshot(), before);
}

TEST(Csv2xml, AnUnreadableCsvFailsAndKeepsTheOldXml)
{
    Sandbox box;
    box.file("data/s.csv", kRow);
    box.file("data/s.xml", "old");
    ::chmod(box.path("data/s.csv").c_str(), 0);
    box.giveToUnprivilegedUser();
    RunOptions options;
    options.unprivileged = true;
    const RunResult r = box.run({"csv2xml", "data/s.csv"}, options);
    if (r.status == 126 || r.status == 127)
        GTEST_SKIP() << "larkspur-cli cannot be run as uid " << kUnprivilegedId;
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("data/s.csv"), std::string::npos) << r;
    EXPECT_EQ(box.read("data/s.xml"), "old");
    EXPECT_EQ(box.snapshot("data").size(), 2u);
}

}  // namespace
}  // namespace larkspur::clitest
