// csv2xml: which paths it takes, where the XML goes, and what it holds.
#include "cli_harness.h"
#include "sitemap_heads.h"

#include <gtest/gtest.h>

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

// What `csv` writes and `csv2xml` reads back gives the bytes `xml` writes,
// names with commas, quotes and ampersands included.
TEST(Csv2xml, RoundTripOfTheCsvCommandEqualsTheXmlCommand)
{
    Sandbox box;
    box.file("site/index.html", "i", k2006March7);
    box.file("site/a,b.html", "a", k2006March7);
    box.file("site/R&D's \"x\".htm", "r", k1999LastSecond);
    box.file("site/docs/caf\xC3\xA9 <1>.html", "c", k2006March7);
    ASSERT_EQ(box.run({"csv", "site", "--url", "https://example.com/base", "--priority", "0.3", "--changefreq",
                       "monthly", "--output", "map.csv"}).status, 0);
    const RunResult xml = box.run({"xml", "site", "--url", "https://example.com/base", "--priority", "0.3",
                                   "--changefreq", "monthly", "--output", "-"});
    ASSERT_EQ(xml.status, 0) << xml;
    const RunResult r = box.run({"csv2xml", "map.csv"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(box.read("map.xml"), xml.out);
}

TEST(Csv2xml, HandEditedRowsAreMendedAndUnusableLinesReported)
{
    Sandbox box;
    box.file("edited.csv",
             "LOC,lastmod,changefreq,priority\n"          // head line in capitals: skipped silently
             "   \n"                                        // blank: skipped silently
             "http://example.com/old.html,2006-3-7,daily,0.5\n"  // an older version's date: padded
             "http://example.com/a&b.html,,weekly,0.6,\n"   // empty lastmod kept, trailing comma ignored
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
                    "<url>\r\n  <loc>http://example.com/a&amp;b.html</loc>\r\n  <lastmod></lastmod>\r\n"
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

TEST(Csv2xml, ReplacesAnXmlAlreadyThere)
{
    Sandbox box;
    box.file("s.csv", kRow);
    box.file("s.xml", "old");
    const RunResult r = box.run({"csv2xml", "s.csv"});
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
