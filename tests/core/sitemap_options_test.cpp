// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <filesystem>

#include <sstream>

#include "gzip/gzip.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"
#include "text/glob.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

constexpr std::int64_t kMarch7 = 1141732800;  // 2006-03-07 12:00 UTC

std::string Write(const ScanTree& tree, SitemapFormat format, const SitemapOptions& options,
                  SaveReport* report = nullptr)
{
    std::ostringstream out;
    EXPECT_EQ(WriteSitemap(out, format, tree, {"https://example.com/site", 6, 3, options}, report), 0);
    return out.str();
}

struct StyleCase {
    UrlStyle style;
    const char* file;
    const char* url;  // "" when the page is given by another file's URL
};

const StyleCase kStyleCases[] = {
    {UrlStyle::File, "index.html", "https://example.com/site/index.html"},
    {UrlStyle::Folder, "index.html", "https://example.com/site/"},
    {UrlStyle::Folder, "docs/index.htm", "https://example.com/site/docs/"},
    {UrlStyle::Folder, "docs/a.html", "https://example.com/site/docs/a.html"},
    {UrlStyle::Folder, "docs/INDEX.HTML", "https://example.com/site/docs/INDEX.HTML"},
    {UrlStyle::Clean, "index.html", "https://example.com/site/"},
    {UrlStyle::Clean, "docs/a.html", "https://example.com/site/docs/a"},
    {UrlStyle::Clean, "docs/b c.htm", "https://example.com/site/docs/b%20c.htm"},
    {UrlStyle::Clean, "docs/...html", "https://example.com/site/docs/...html"},
    {UrlStyle::Clean, "docs/Upper.HTML", "https://example.com/site/docs/Upper.HTML"},
    {UrlStyle::Clean, "docs/.html", "https://example.com/site/docs/.html"},
    {UrlStyle::Clean, "docs/v1.2.html", "https://example.com/site/docs/v1.2"},
};

class Styles : public testing::TestWithParam<StyleCase> {};

TEST_P(Styles, EachPageHasTheUrlItsServerGivesIt)
{
    const StyleCase& c = GetParam();
    TempTree t;
    t.file(std::string("site/") + c.file, "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapOptions options;
    options.urlStyle = c.style;
    EXPECT_EQ(Write(scan.tree, SitemapFormat::Text, options), std::string(c.url) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, Styles, testing::ValuesIn(kStyleCases));

// A server answers "/a" with the file or folder "a" before "a.html", and a
// folder's URL with its index.html before index.htm: such pages keep their
// file names, and no two pages share a URL.
TEST(StyleDuplicates, APageWhoseShortUrlAnotherFileAnswersKeepsItsName)
{
    TempTree t;
    for (const char* name : {"index.html", "a.html", "a.htm", "a/index.html", "c.htm", "LICENSE", "LICENSE.html"})
        t.file(std::string("site/") + name, "x", kMarch7);
    t.file("site/index.htm", "<meta name=robots content=noindex>", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    struct Case { UrlStyle style; bool robots; const char* urls; };
    const Case cases[] = {
        {UrlStyle::Clean, false, "a/ a.htm a.html c.htm index.htm  LICENSE.html "},
        {UrlStyle::Folder, true, "a/ a.htm a.html c.htm  LICENSE.html "},  // index.htm left out, not index.html
    };
    for (const Case& c : cases) {
        SitemapOptions options;
        options.urlStyle = c.style;
        options.respectRobots = c.robots;
        std::string urls;
        std::istringstream lines(Write(scan.tree, SitemapFormat::Text, options));
        for (std::string line; std::getline(lines, line);)
            urls += line.substr(25, line.size() - 26) + " ";
        EXPECT_EQ(urls, c.urls);
    }
}

TEST(Selection, ExtensionsAndExclusionsChooseThePagesStatisticsStayWhole)
{
    TempTree t;
    for (const char* name : {"a.html", "b.PDF", "c.pdf", "drafts/d.html", "docs/404.html", "docs/e.htm"})
        t.file(std::string("site/") + name, "x", kMarch7);
    t.file("site/empty.pdf", "");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapOptions options;
    options.extensions = {"html", "pdf"};
    options.exclude = {"drafts/", "404.html"};
    EXPECT_EQ(Write(scan.tree, SitemapFormat::Text, options),
              "https://example.com/site/a.html\r\nhttps://example.com/site/b.PDF\r\n"
              "https://example.com/site/c.pdf\r\n");
    EXPECT_EQ(StatisticsLines(scan).front().text, "file totally: 7");
    const std::vector<StatLine> lines = StatisticsLines(scan, options.extensions);  // .html .PDF .htm
    EXPECT_TRUE(lines[3].checked && !lines[4].checked) << lines[3].text << lines[4].text;
}

// Extensions that take in XML or text files leave out the sitemaps written
// into the site folder: listed, a second run's sitemap would differ.
TEST(Selection, TheSitemapsOfTheSiteAreNoPages)
{
    TempTree t;
    for (const char* name : {"a.html", "data.xml", "sitemap.xml", "sitemap.txt", "sitemap.csv", "sitemap2.xml.gz",
                             "sitemap-index.xml", "sitemaps.xml", "docs/sitemap.xml"})
        t.file(std::string("site/") + name, "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapOptions options;
    options.extensions = {"html", "xml", "txt", "csv", "gz"};
    EXPECT_EQ(Write(scan.tree, SitemapFormat::Text, options),
              "https://example.com/site/a.html\r\nhttps://example.com/site/data.xml\r\n"
              "https://example.com/site/docs/sitemap.xml\r\nhttps://example.com/site/sitemaps.xml\r\n");

    // Nor is what a run writes under another name in the site, nor its parts.
    const std::string output = t.path("site/docs/map.txt");
    OutputLimits two;
    two.maxUrls = 2;
    std::string error;
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
        ASSERT_EQ(SaveSitemap(output, SitemapFormat::Text, scan.tree, {"https://example.com/", 6, 3, options}, &error,
                              nullptr, two),
                  0)
            << error;
    }
    for (const char* part : {"map1.txt", "map2.txt"})
        EXPECT_EQ(t.read(std::string("site/docs/") + part).find("/docs/map"), std::string::npos) << part;
}

// Each folder is decided once from its parent, and patterns that can match
// only the last names of a path see only those: the same choice as the
// whole list on every folder's whole path.
TEST(Selection, ExclusionsDecidedFolderByFolderAsOnWholePaths)
{
    TempTree t;
    for (const char* name : {"top.html", "old/a.html", "docs/old/a.html", "docs/old/keep.html", "a/b/c.html",
                             "x/a/b/d.html", "docs/deep/old/z.html", "docs/z.html"})
        t.file(std::string("site/") + name, "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    const std::vector<std::vector<std::string>> patternSets = {
        {"**/old/*.html"}, {"**/a/b/*.html"}, {"**/[o]ld/*.html"}, {"**/old/**"}, {"old"}, {"/docs/old/"},
        {"**/old/", "!**/old/keep.html"}, {"*.html", "!**/old/keep.html"}, {"**/docs/*/a.html"}, {"docs/**/z.html"}};
    for (const std::vector<std::string>& patterns : patternSets) {
        const ExclusionList list(patterns);
        std::string expected;
        for (const FileEntry& entry : scan.tree.entries) {
            bool excluded = false;
            std::string path;
            std::vector<std::string_view> segments;
            PathSegments(entry, segments);
            for (std::size_t i = 0; i < segments.size(); ++i) {
                path.append(i > 0 ? "/" : "").append(segments[i]);
                excluded = excluded || list.excludes(path, i + 1 < segments.size());
            }
            if (!entry.isDirectory() && !entry.empty() && IsPageExtension(Extension(entry.name())) && !excluded)
                expected += "https://example.com/site/" + path + "\r\n";
        }
        SitemapOptions options;
        options.exclude = patterns;
        EXPECT_EQ(Write(scan.tree, SitemapFormat::Text, options), expected) << patterns.front();
    }
}

TEST(Hints, OmittedFromXmlAndLeftEmptyInCsv)
{
    TempTree t;
    t.file("site/a.html", "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapOptions options;
    options.omitHints = true;
    options.protocol = Protocol::Sitemaps09;
    EXPECT_EQ(Write(scan.tree, SitemapFormat::Xml, options),
              std::string(UrlsetHead(Protocol::Sitemaps09))
                  + "<url>\r\n  <loc>https://example.com/site/a.html</loc>\r\n  <lastmod>2006-03-07</lastmod>\r\n"
                    "</url>\r\n</urlset>\r\n");
    EXPECT_EQ(Write(scan.tree, SitemapFormat::Csv, options),
              "loc,lastmod,changefreq,priority\r\nhttps://example.com/site/a.html,2006-03-07,,\r\n");
    EXPECT_NE(std::string(UrlsetHead(Protocol::Sitemaps09)).find("xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\""),
              std::string::npos);
}

// Pages whose elements take about 2,100 bytes: 5,200 of them pass 10 MiB.
TEST(ProtocolLimit, FiftyMebibytesFor09TenFor084)
{
    TempTree t;
    std::string folder = "site";
    for (int i = 0; i < 8; ++i)
        folder += "/" + std::string(240, static_cast<char>('a' + i));
    for (int i = 0; i < 5200; ++i)
        t.file(folder + "/" + std::string(60, 'p') + std::to_string(i) + ".html", "x", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    EXPECT_EQ(ProtocolByteLimit(Protocol::Google084), 10485760u);
    EXPECT_EQ(ProtocolByteLimit(Protocol::Sitemaps09), 52428800u);
    for (const auto& [protocol, files] : {std::pair{Protocol::Google084, 3u}, std::pair{Protocol::Sitemaps09, 1u}}) {
        SitemapOptions options;
        options.protocol = protocol;
        SaveReport report;
        std::string error;
        ASSERT_EQ(SaveSitemap(t.path("sitemap.xml"), SitemapFormat::Xml, scan.tree,
                              {"https://example.com", 6, 3, options}, &error, &report), 0) << error;
        EXPECT_EQ(report.files.size(), files);
    }
}

class TextParts : public testing::Test {
protected:
    int save(int pages, SaveReport& report, const SitemapOptions& options = {}, std::string* failure = nullptr)
    {
        TempTree site;
        for (int i = 0; i < pages; ++i)
            site.file("p" + std::to_string(i) + ".html", "x", kMarch7);
        ScanResult scan;
        EXPECT_EQ(WalkAndCount(scan, site.root()), 0);
        OutputLimits limits;
        limits.maxUrls = 2;
        limits.now = kMarch7;
        std::string error;
        const int result = SaveSitemap(t.path("sitemap.txt"), SitemapFormat::Text, scan.tree,
                                       {"https://example.com", 6, 3, options}, &error, &report, limits);
        EXPECT_EQ(result, failure ? -1 : 0) << error;
        if (failure)
            *failure = error;
        return result;
    }

    TempTree t;
};

TEST_F(TextParts, PastTheLimitsPartsAndAnIndexReplaceTheOneFile)
{
    t.file("sitemap.txt", "https://example.com/gone.html\r\n");
    t.file("sitemap9.txt", "the owner's own file");
    SaveReport report;
    ASSERT_EQ(save(5, report), 0);
    EXPECT_EQ(report.files, (std::vector<std::string>{t.path("sitemap-index.xml"), t.path("sitemap1.txt"),
                                                      t.path("sitemap2.txt"), t.path("sitemap3.txt")}));
    EXPECT_FALSE(t.exists("sitemap.txt"));
    EXPECT_EQ(t.read("sitemap3.txt"), "https://example.com/p4.html\r\n");
    EXPECT_NE(t.read("sitemap-index.xml").find("<loc>https://example.com/sitemap3.txt</loc>"), std::string::npos);

    // Fewer pages: the third part would list pages that are gone.
    ASSERT_EQ(save(3, report), 0);
    EXPECT_EQ(report.files.size(), 3u);
    EXPECT_FALSE(t.exists("sitemap3.txt"));

    // Within the limits again: one sitemap.txt, nothing else of ours.
    ASSERT_EQ(save(2, report), 0);
    EXPECT_EQ(report.files, std::vector<std::string>{t.path("sitemap.txt")});
    for (const char* gone : {"sitemap1.txt", "sitemap2.txt", "sitemap-index.xml"})
        EXPECT_FALSE(t.exists(gone)) << gone;
    EXPECT_EQ(t.read("sitemap9.txt"), "the owner's own file");

    // Past the limits again, up to a part's name that no index of ours
    // lists: nothing is written over it.
    std::string failure;
    save(20, report, {}, &failure);
    EXPECT_NE(failure.find(t.path("sitemap9.txt") + ": no index of this sitemap lists it"), std::string::npos)
        << failure;
    EXPECT_EQ(t.read("sitemap9.txt"), "the owner's own file");
    EXPECT_FALSE(t.exists("sitemap1.txt"));
}

// Whole again, a text sitemap removes an earlier index only when it lists
// nothing but this sitemap's parts: another generator's sitemap-index.xml
// stays, and the run says so.
TEST_F(TextParts, AnIndexOfOtherFilesStays)
{
    struct Case { const char* locs; bool gzip; bool ours; };
    const Case cases[] = {
        {"https://example.com/sitemap1.txt https://example.com/sitemap2.txt.gz", false, true},
        {"https://example.com/sitemap1.txt.gz", true, true},
        {"https://example.com/blog-sitemap.xml", false, false},
        {"https://example.com/pages.xml.gz", true, false},
        {"https://example.com/sitemap1.txt https://example.com/feed.xml", false, false},
        {"https://other.example/sitemap1.txt", false, false},
        {"https://example.com/maps/sitemap1.txt", false, false},
        // Parts a text sitemap never has: another generator's split.
        {"https://example.com/sitemap1.xml https://example.com/sitemap2.xml", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locs);
        std::string index = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
        std::string loc;
        for (std::istringstream locs(c.locs); locs >> loc;)
            index += "<sitemap><loc>" + loc + "</loc></sitemap>";
        index += "</sitemapindex>";
        const std::string name = c.gzip ? "sitemap-index.xml.gz" : "sitemap-index.xml";
        if (c.gzip) {
            std::ostringstream packed;
            GzipWriter gzip(packed);
            gzip.stream() << index;
            std::string error;
            ASSERT_EQ(gzip.finish(error), 0);
            index = packed.str();
        }
        t.file(name, index);
        SitemapOptions options;
        options.gzip = c.gzip;
        SaveReport report;
        ASSERT_EQ(save(1, report, options), 0);
        EXPECT_EQ(t.exists(name), !c.ours);
        const std::string note = t.path(name) + " left as it is: it lists other files than this sitemap's parts";
        EXPECT_EQ(report.notes, c.ours ? std::vector<std::string>{} : std::vector<std::string>{note});
        // Split, the sitemap would need its name for its own index.
        if (!c.ours && !c.gzip) {
            t.file(name, index);
            std::string failure;
            save(5, report, options, &failure);
            EXPECT_NE(failure.find(t.path(name) + ": another program's sitemap index"), std::string::npos) << failure;
            EXPECT_EQ(t.read(name), index);
            for (const auto& file : std::filesystem::directory_iterator(t.root()))
                EXPECT_EQ(file.path().string().find(".tmp"), std::string::npos);  // no part left half-written
        }
        ::unlink(t.path(name).c_str());
    }
}

struct FieldCase {
    const char* key;
    std::vector<std::string> value;
    bool accepted;
};

const FieldCase kFieldCases[] = {
    {"protocol", {"0.9"}, true},
    {"protocol", {"1.0"}, false},
    {"url-style", {"clean"}, true},
    {"url-style", {"pretty"}, false},
    {"omit-hints", {"yes"}, true},
    {"omit-hints", {"maybe"}, false},
    {"extensions", {"HTML, .pdf"}, true},
    {"extensions", {" , "}, false},
    {"extensions", {"tar.gz"}, false},
    {"exclude", {"drafts/", "*.bak"}, true},
    {"exclude", {"drafts/", "a\nb"}, false},
    {"exclude", {"[[:digits:]]*"}, false},
};

class Fields : public testing::TestWithParam<FieldCase> {};

TEST_P(Fields, ValuesReadBackOrAreRefusedLeavingTheRecord)
{
    const FieldCase& c = GetParam();
    const OptionField* field = FindOptionField(c.key);
    ASSERT_NE(field, nullptr);
    SitemapOptions options;
    std::string error;
    EXPECT_EQ(field->set(options, c.value, error) == 0, c.accepted) << error;
    if (!c.accepted) {
        EXPECT_EQ(options, SitemapOptions{});
        EXPECT_FALSE(error.empty());
        return;
    }
    SitemapOptions again;
    ASSERT_EQ(field->set(again, field->get(options), error), 0);
    EXPECT_EQ(again, options);
    EXPECT_NE(options, SitemapOptions{});
}

INSTANTIATE_TEST_SUITE_P(Cases, Fields, testing::ValuesIn(kFieldCases));

TEST(OptionFields, DefaultsAreTheFirstChoices)
{
    for (const OptionField& field : SitemapOptionFields()) {
        if (field.kind == OptionKind::Choice) {
            EXPECT_EQ(field.get(SitemapOptions{}), std::vector<std::string>{field.choices.front()}) << field.key;
        }
    }
}

}  // namespace
