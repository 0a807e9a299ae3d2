// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The check of a sitemap against its site: every kind of finding in a tree
// made to hold them, and nothing but hints for what Larkspur has just written.
#include <gtest/gtest.h>

#include <map>

#include <unistd.h>

#include "check/check.h"
#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

constexpr std::int64_t kMarch7 = 1141732800;  // 2006-03-07 12:00 UTC
constexpr std::int64_t kNow = 1767225600;     // 2026-01-01 00:00 UTC
constexpr const char* k09 = "http://www.sitemaps.org/schemas/sitemap/0.9";

std::string Urlset(const std::string& urls, const char* ns = k09)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset xmlns=\"") + ns + "\">\n" + urls +
           "</urlset>\n";
}

std::string Url(const std::string& loc, const std::string& extra = {})
{
    return "<url><loc>" + loc + "</loc>" + extra + "</url>\n";
}

}  // namespace

TEST(Check, FindsEveryKindInASiteMadeForIt)
{
    TempTree t;
    for (const char* page : {"site/a.html", "site/clean.html", "site/new.html", "site/docs/index.html",
                             "site/private/p.html"})
        t.file(page, "<title>x</title>", kMarch7);
    t.file("site/hidden.html", "<meta name=robots content=noindex>", kMarch7);
    t.file("site/copy.html", "<link rel=canonical href=/a.html>", kMarch7);
    t.file("site/robots.txt", "User-agent: *\nDisallow: /private/\n");
    const std::string o = "https://example.org/";
    t.file("site/sitemap_index.xml",
           "<sitemapindex xmlns=\"" + std::string(k09) + "\">\n"
           "<sitemap><loc>" + o + "pages.xml</loc></sitemap>\n<sitemap><loc>" + o + "pages.xml</loc></sitemap>\n"
           "<sitemap><loc>" + o + "pages.xml?again</loc></sitemap>\n"
           "<sitemap><loc>" + o + "bad.xml</loc><lastmod>soon</lastmod></sitemap>\n"
           "<sitemap><loc>" + o + "broken.xml.gz</loc></sitemap>\n<sitemap><loc>" + o + "old.xml</loc></sitemap>\n"
           "<sitemap><loc>" + o + "many.txt</loc></sitemap>\n<sitemap><loc>" + o + "gone.xml</loc></sitemap>\n"
           "<sitemap><loc>https://other.example/x.xml</loc></sitemap>\n<sitemap><loc>" + o + "nested.xml</loc></sitemap>\n"
           "<sitemap><loc>" + o + "junk.txt</loc></sitemap>\n<sitemap><loc>" + o + "junk.xml</loc></sitemap>\n"
           "</sitemapindex>\n");
    // A thousand faults each: a hundred are shown, the rest counted.
    std::string junkText, junkXml;
    for (int i = 0; i < 1000; ++i) {
        junkText += "a\n";
        junkXml += "<url/>";
    }
    t.file("site/junk.txt", junkText);
    t.file("site/junk.xml", Urlset(junkXml));
    t.file("site/pages.xml",
           Urlset(Url(o + "a.html", "<lastmod>2006-03-07</lastmod>") + Url(o + "clean") + Url(o + "docs/") +
                  Url(o + "docs/index.html") + Url(o + "a.html") + Url("HTTPS://EXAMPLE.ORG/clean") +
                  Url(o + "gone.html") + Url("http://other.example/a.html") + Url(o + std::string(2100, 'x')) +
                  Url(o + "hidden.html", "<lastmod>2006-03-07T10:00</lastmod>") +
                  Url(o + "copy.html", "<lastmod>2100-01-01</lastmod>") +
                  Url(o + "private/p.html", "<lastmod>2001-01-01</lastmod><priority>2</priority>")));
    t.file("site/bad.xml", "<urlset xmlns=\"" + std::string(k09) + "\"><url><loc>" + o + "a.html</loc></url>");
    t.file("site/broken.xml.gz", "\x1F\x8Bnot gzip");
    std::string padding;
    while (padding.size() <= 10 * 1024 * 1024)
        padding += "<!-- ten megabytes of comments, past the 0.84 limit -->\n";
    t.file("site/old.xml", Urlset(padding + Url(o + "clean.html"), "http://www.google.com/schemas/sitemap/0.84"));
    std::string many = "not a URL\n";
    for (int i = 0; i <= 50000; ++i)
        many += o + "a.html?" + std::to_string(i) + "\n";
    t.file("site/many.txt", many);
    t.file("site/nested.xml", "<sitemapindex xmlns=\"" + std::string(k09) + "\"/>");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);

    CheckReport report;
    std::string error;
    ASSERT_EQ(CheckSitemap(scan.tree, {"https://example.org", 6, 3}, "/sitemap_index.xml", report, error, kNow), 0)
        << error;
    // Per kind: how many, and the URL (or file) of the first.
    const std::map<CheckKind, std::pair<long long, std::string>> expected = {
        {CheckKind::Unreadable, {1, t.path("site/broken.xml.gz")}},
        {CheckKind::NotWellFormed, {1, t.path("site/bad.xml")}},
        // The index's lastmod; the long loc, a lastmod without its zone, the priority; many.txt's
        // first line; nested.xml, twice; 100 and one more of each junk file.
        {CheckKind::NotValid, {7 + 2 * 101, t.path("site/sitemap_index.xml")}},
        {CheckKind::TooManyUrls, {1, t.path("site/many.txt")}},
        {CheckKind::TooLarge, {1, t.path("site/old.xml")}},
        {CheckKind::UrlTooLong, {1, o + std::string(2100, 'x')}},
        {CheckKind::OutsideBase, {2, "https://other.example/x.xml"}},
        {CheckKind::NoFile, {3, o + "gone.xml"}},  // the part, the page, the long URL
        // The part (and its file under another URL, read once), a.html, clean, docs/index.html,
        // old.xml's clean.html, many.txt's every line.
        {CheckKind::Duplicate, {50007, o + "pages.xml"}},
        {CheckKind::Noindex, {1, o + "hidden.html"}},
        {CheckKind::CanonicalElsewhere, {1, o + "copy.html"}},
        {CheckKind::RobotsDisallowed, {1, o + "private/p.html"}},
        {CheckKind::LastmodInvalid, {2, o + "bad.xml"}},
        {CheckKind::LastmodFuture, {1, o + "copy.html"}},
        {CheckKind::LastmodStale, {1, o + "private/p.html"}},
        {CheckKind::OldNamespace, {1, t.path("site/old.xml")}},
    };
    std::string found;
    for (const CheckFinding& f : report.findings)
        found += f.kind == CheckKind::Duplicate ? "" : std::string(KindInfo(f.kind).word) + " " + f.url.substr(0, 80) + " " + f.detail + "\n";
    for (const CheckKindInfo& info : CheckKinds()) {
        if (info.kind == CheckKind::Missing)
            continue;  // not looked for in a sitemap not read whole
        const auto first = std::find_if(report.findings.begin(), report.findings.end(),
                                        [&](const CheckFinding& f) { return f.kind == info.kind; });
        ASSERT_NE(first, report.findings.end()) << info.word << "\n" << found;
        EXPECT_EQ(report.count(info.kind), expected.at(info.kind).first) << info.word << "\n" << found;
        EXPECT_EQ(first->url, expected.at(info.kind).second) << info.word;
    }
    // A file cut short is said to be cut short.
    EXPECT_NE(std::find_if(report.findings.begin(), report.findings.end(), [](const CheckFinding& f) {
                  return f.kind == CheckKind::NotWellFormed;
              })->detail.find("Premature end of data"), std::string::npos) << found;
    EXPECT_EQ(report.files.size(), 9u);
    EXPECT_EQ(report.count(CheckKind::Missing), 0);
    EXPECT_EQ(report.notes, std::vector<std::string>{"pages left out not looked for: the sitemap could not be read whole"});

    // The folder's own sitemap, when none is named; pages left out under the options.
    t.file("site/sitemap.xml", Urlset(Url(o + "a.html"), "http://www.google.com/schemas/sitemap/0.84"));
    SitemapParameters only{"https://example.org", 6, 3};
    only.options.exclude = {"*", "!a.html", "!new.html", "!docs/", "!docs/index.html"};
    ASSERT_EQ(CheckSitemap(scan.tree, only, "", report, error, kNow), 0) << error;
    EXPECT_EQ(report.files, std::vector<std::string>{t.path("site/sitemap.xml")});
    ASSERT_EQ(report.findings.size(), 3u);
    EXPECT_EQ(report.findings[0].url, o + "docs/index.html");
    EXPECT_EQ(report.findings[1].url + " " + report.findings[1].detail, o + "new.html new.html");
    EXPECT_EQ(report.findings[2].kind, CheckKind::OldNamespace);
    EXPECT_EQ(report.pages, 3);
    EXPECT_EQ(CheckSitemap(scan.tree, only, "https://example.org/none.xml", report, error, kNow), -1);

    // A sitemap.xml that is another user's link is passed over, as the walk passes it over.
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    t.file("secret", Urlset(Url(o + "a.html")));
    std::filesystem::remove(t.path("site/sitemap.xml"));
    ASSERT_EQ(::symlink(t.path("secret").c_str(), t.path("site/sitemap.xml").c_str()), 0);
    ASSERT_EQ(::lchown(t.path("site/sitemap.xml").c_str(), 65534, 65534), 0);
    ASSERT_EQ(CheckSitemap(scan.tree, only, "", report, error, kNow), 0) << error;
    EXPECT_EQ(report.files.front(), t.path("site/sitemap_index.xml"));
}

// A sitemap that cannot be read to its end lists pages nobody knows: none
// is reported left out, and the report says why.
TEST(Check, NoPageLeftOutOfWhatWasNotRead)
{
    TempTree t;
    for (const char* page : {"site/a.html", "site/b.html"})
        t.file(page, "<title>x</title>", kMarch7);
    const std::string o = "https://example.org/";
    t.file("site/pages.xml", Urlset(Url(o + "a.html")));
    const struct {
        const char* name;
        std::string text;
        CheckKind kind;
    } cases[] = {
        {"a DOCTYPE",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE urlset>\n<urlset xmlns=\"" + std::string(k09) + "\">" +
             Url(o + "a.html") + "</urlset>\n",
         CheckKind::NotValid},
        {"another namespace", Urlset(Url(o + "a.html"), "http://www.sitemaps.org/schemas/sitemap/0.9/"),
         CheckKind::NotValid},
        {"a feed", "<rss version=\"2.0\"><channel><item><link>" + o + "a.html</link></item></channel></rss>",
         CheckKind::NotValid},
        {"UTF-16", std::string("\xFF\xFE<\0u\0r\0l\0", 10), CheckKind::NotValid},
        // pages.xml lies beside the index, but the URL the index gives it
        // is answered by no file of the site.
        {"a part nothing answers",
         "<sitemapindex xmlns=\"" + std::string(k09) + "\"><sitemap><loc>" + o +
             "maps/pages.xml</loc></sitemap></sitemapindex>",
         CheckKind::NoFile},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        t.file("site/given" + std::to_string(i) + ".xml", cases[i].text);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        CheckReport report;
        std::string error;
        ASSERT_EQ(CheckSitemap(scan.tree, {o, 6, 3}, t.path("site/given" + std::to_string(i) + ".xml"), report,
                               error, kNow), 0) << error;
        EXPECT_EQ(report.count(cases[i].kind), 1) << cases[i].name;
        EXPECT_EQ(report.count(CheckKind::Missing), 0) << cases[i].name;
        EXPECT_EQ(report.pages, 2) << cases[i].name;  // the pages are there, looked for or not
        EXPECT_EQ(report.notes,
                  std::vector<std::string>{"pages left out not looked for: the sitemap could not be read whole"})
            << cases[i].name;
    }
}

TEST(Check, PassesWhatLarkspurHasJustWritten)
{
    TempTree t;
    for (const char* page : {"site/index.html", "site/a b&c.html", "site/b.htm", "site/docs/index.htm",
                             "site/docs/x/y.html"})
        t.file(page, "<title>x</title>", kMarch7);
    // Canonical links naming the page in the file style: its own in every style.
    t.file("site/docs/x.html", "<link rel=canonical href=https://example.org/docs/x.html>", kMarch7);
    t.file("site/\xC3\xBC/index.html", "<link rel=canonical href=/%C3%BC/index.html>", kMarch7);
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    for (const SitemapFormat format : {SitemapFormat::Xml, SitemapFormat::Text, SitemapFormat::Csv}) {
        for (const UrlStyle style : {UrlStyle::File, UrlStyle::Folder, UrlStyle::Clean}) {
            for (const bool gzip : {false, true}) {
                for (const std::size_t maxUrls : {std::size_t(50000), std::size_t(3)}) {
                    SitemapParameters parameters{"https://example.org/", 6, 3};
                    parameters.options.protocol = gzip ? Protocol::Sitemaps09 : Protocol::Google084;
                    parameters.options.urlStyle = style;
                    parameters.options.canonicalOnly = true;
                    parameters.options.gzip = gzip;
                    parameters.options.newline = gzip ? LineEnd::Lf : LineEnd::CrLf;
                    std::string error, sitemap;
                    t.folder("out");
                    SaveReport saved;
                    OutputLimits limits;
                    limits.maxUrls = maxUrls;
                    limits.now = kMarch7;
                    const std::string out = t.path("out/sitemap") + (format == SitemapFormat::Csv ? ".csv" : ".xml");
                    ASSERT_EQ(SaveSitemap(out, format, scan.tree, parameters, &error, &saved, limits), 0) << error;
                    sitemap = saved.files.front();
                    if (format == SitemapFormat::Csv) {  // and back into XML
                        ConvertReport converted;
                        sitemap = t.path("out/converted.xml");
                        ASSERT_EQ(ConvertCsvToXml(out, sitemap, &converted, &error, limits, "https://example.org/"), 0);
                    }
                    CheckReport report;
                    ASSERT_EQ(CheckSitemap(scan.tree, parameters, sitemap, report, error, kNow), 0) << error;
                    std::string found;
                    for (const CheckFinding& f : report.findings)
                        found += std::string(KindInfo(f.kind).word) + " " + f.url + " " + f.detail + "\n";
                    EXPECT_FALSE(report.problems()) << sitemap << "\n" << found;
                    EXPECT_EQ(report.urls, 7) << sitemap;
                    std::filesystem::remove_all(t.path("out"));
                }
            }
        }
    }
}

// Without --sitemap, the sitemap the options would write: a text sitemap
// split with --gzip is its sitemap-index.xml.gz, before a plain one left
// from an earlier run.
TEST(Check, TakesTheFoldersSitemapInTheFormTheOptionsWrite)
{
    struct Case { std::vector<const char*> files; bool gzip; const char* taken; } const cases[] = {
        {{"sitemap-index.xml.gz"}, true, "sitemap-index.xml.gz"},
        {{"sitemap-index.xml", "sitemap-index.xml.gz"}, true, "sitemap-index.xml.gz"},
        {{"sitemap-index.xml", "sitemap-index.xml.gz"}, false, "sitemap-index.xml"},
        {{"sitemap_index.xml.gz", "sitemap.txt"}, false, "sitemap_index.xml.gz"},
        {{"sitemap.txt", "sitemap.txt.gz"}, true, "sitemap.txt.gz"},
    };
    for (const Case& c : cases) {
        TempTree t;
        for (const char* name : c.files)
            t.file(std::string("site/") + name, "x");
        ScanResult scan;
        ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
        SitemapParameters parameters{"https://example.org/", 6, 3};
        parameters.options.gzip = c.gzip;
        CheckReport report;
        std::string error;
        ASSERT_EQ(CheckSitemap(scan.tree, parameters, "", report, error, kNow), 0) << c.taken << ": " << error;
        EXPECT_EQ(report.files.front(), t.path(std::string("site/") + c.taken));
    }
}

TEST(Check, W3cDates)
{
    struct Case { const char* text; bool valid; std::int64_t earliest, latest; };
    const Case cases[] = {
        {"2006-03-07", true, kMarch7 - 12 * 3600 - 14 * 3600, kMarch7 + 12 * 3600 + 12 * 3600},
        {"2006-03-07T12:00:00Z", true, kMarch7, kMarch7},
        {"2006-03-07T13:30:00.25+01:30", true, kMarch7, kMarch7},
        {"2006-03-07T12:00Z", true, kMarch7, kMarch7 + 59},
        {"2006", true, 1136073600 - 14 * 3600, 1167609600 + 12 * 3600},
        {"2006-12", true, 1164931200 - 14 * 3600, 1167609600 + 12 * 3600},
        {"2006-03-07T12:00:00", false, 0, 0},
        {"2006-02-29", false, 0, 0},
        {"2006-3-7", false, 0, 0},
        {"2006-03-07T24:00Z", false, 0, 0},
        {"2006-03-07 12:00Z", false, 0, 0},
        {"2006-03-07T12:00:00.Z", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        std::int64_t earliest = 0, latest = 0;
        EXPECT_EQ(ParseW3cDate(c.text, earliest, latest), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(std::make_pair(earliest, latest), std::make_pair(c.earliest, c.latest)) << c.text;
        }
    }
}

// Urlsets that look almost like the plain ones most generators write, each
// with one thing the schema refuses: none may pass unvalidated.
TEST(Check, ValidatesWhatIsNotPlain)
{
    const std::string a = "https://example.org/a.html";
    const std::string valid[] = {
        Url(a, "<lastmod>2020-02-29T23:59:59.5-13:59</lastmod><priority>1.0</priority>"),
        Url("https://Example.org:8080/a%20b'()*+,;=:@!$?q=/?#f", "<changefreq>never</changefreq><priority>0</priority>"),
    };
    const std::string invalid[] = {
        Url("http://e.o/"), Url("https://example.org:/a.html"), Url("https://example.org/a[b]"),
        Url("https://example.org/a%2"), Url("https://example.org/" + std::string(2029, 'x')),
        Url(a, "<lastmod>2019-02-29</lastmod>"), Url(a, "<lastmod>2020-01-01T23:59:60Z</lastmod>"),
        Url(a, "<lastmod>2020-01-01T10:00:00+01:60</lastmod>"), Url(a, "<lastmod>0000-01-01</lastmod>"),
        Url(a, "<changefreq>Daily</changefreq>"), Url(a, "<priority>1.01</priority>"),
        Url(a, "<priority>0.5</priority><changefreq>daily</changefreq>"), Url(a, "<lastmod/>"),
        "<url><loc xml:lang=\"en\">" + a + "</loc></url>", "<url a=\"b\"><loc>" + a + "</loc></url>",
        Url(a) + "text", "<url><lastmod>2020-01-01</lastmod></url>", "",
        Url("https://example.org/a%zz"), Url("https://example.org/a#b#c"), Url(a, "<loc>" + a + "</loc>"),
        "<url><loc>" + a + "<b/></loc></url>", Url(a, "<y xmlns=\"\"/>"), Url(a, "<changefreq>daily </changefreq>"),
        Url(a, "<lastmod>2020-01-01</lastmod><lastmod>2020-01-01</lastmod>"), Url(a, "<lastmod>2100-02-29</lastmod>"),
        Url(a, "<lastmod>2020-04-31</lastmod>"), Url(a, "<lastmod>2020-01-01t10:00:00Z</lastmod>"),
        Url(a, "<lastmod>2020-01-01T10:00:00.Z</lastmod>"), Url(a, "<priority>1.000001</priority>"),
        Url(a, "<priority>2</priority>"),
    };
    TempTree t;
    t.file("site/a.html", "<title>a</title>", kMarch7);
    t.file("site/s.xml", "");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    const auto errors = [&](const std::string& urls, const char* ns) {
        t.file("site/s.xml", Urlset(urls, ns));
        CheckReport report;
        std::string error;
        EXPECT_EQ(CheckSitemap(scan.tree, {"https://example.org", 6, 3}, "/s.xml", report, error, kNow), 0);
        return report.count(CheckKind::NotValid);
    };
    for (const char* ns : {k09, "http://www.google.com/schemas/sitemap/0.84"}) {
        for (const std::string& urls : valid)
            EXPECT_EQ(errors(urls, ns), 0) << urls;
        for (const std::string& urls : invalid)
            EXPECT_EQ(errors(urls, ns), 1) << urls;
    }
}
