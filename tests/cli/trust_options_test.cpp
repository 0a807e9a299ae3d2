// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The options for sitemaps search engines trust, as a user gives them.
#include "cli_harness.h"

#include <gtest/gtest.h>

namespace larkspur::clitest {
namespace {

TEST(TrustOptions, LeftOutPagesAreCountedOnStandardError)
{
    Sandbox box;
    box.file("site/a.html", "<title>a</title>", k2006March7);
    box.file("site/b.html", "<META content=NOINDEX name=robots>", k2006March7);
    box.file("site/c.html", "<link rel=canonical href=a.html>", k2006March7);
    box.file("site/d.html", std::string("\xFF\xFE<\0", 4), k2006March7);  // UTF-16
    box.file("site/e.html", "e", k2006March7);
    box.file("site/robots.txt", "User-agent: *\nDisallow: /e.html\n");
    const RunResult r = box.run({"txt", "site", "--url", "https://example.com", "--respect-robots",
                                 "--canonical-only", "--output", "-"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "https://example.com/a.html\r\nhttps://example.com/d.html\r\n");
    EXPECT_NE(r.err.find("1 page(s) left out: marked noindex"), std::string::npos) << r;
    EXPECT_NE(r.err.find("1 page(s) left out: their canonical URL is another page's"), std::string::npos) << r;
    EXPECT_NE(r.err.find("1 page(s) kept: their head could not be read to the end"), std::string::npos) << r;
    EXPECT_NE(r.err.find("1 page(s) left out: robots.txt disallows them"), std::string::npos) << r;

    const RunResult plain = box.run({"txt", "site", "--url", "https://example.com", "--output", "-"});
    EXPECT_EQ(plain.out, "https://example.com/a.html\r\nhttps://example.com/b.html\r\nhttps://example.com/c.html\r\n"
                         "https://example.com/d.html\r\nhttps://example.com/e.html\r\n");
    EXPECT_EQ(plain.err, "");
}

TEST(TrustOptions, GitDatesNeedAWorkTree)
{
    Sandbox box;
    box.file("site/a.html", "a", k2006March7);
    const RunResult r = box.run({"xml", "site", "--url", "https://example.com", "--lastmod", "git"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("not in a git work tree"), std::string::npos) << r;
    EXPECT_FALSE(box.exists("site/sitemap.xml"));
    EXPECT_EQ(box.run({"xml", "site", "--url", "https://example.com", "--lastmod", "svn"}).status, 2);
}

TEST(TrustOptions, GzipAndRobotsTxt)
{
    Sandbox box;
    box.file("site/a.html", "a", k2006March7);
    const RunResult r = box.run({"xml", "site", "--url", "https://example.com", "--gzip", "--robots-txt"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find("sitemap.xml.gz saved."), std::string::npos) << r;
    EXPECT_NE(r.out.find("robots.txt now lists the sitemap."), std::string::npos) << r;
    EXPECT_FALSE(box.exists("site/sitemap.xml"));
    EXPECT_EQ(box.read("site/robots.txt"), "Sitemap: https://example.com/sitemap.xml.gz\n");
    ASSERT_EQ(box.run({"xml", "site", "--url", "https://example.com"}).status, 0);
    const std::string check = "gzip -t '" + box.path("site/sitemap.xml.gz") + "' && zcat '" +
                              box.path("site/sitemap.xml.gz") + "' | cmp -s - '" + box.path("site/sitemap.xml") + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << "the compressed sitemap holds what the plain one does";
}

// A name ending in .gz is a compressed sitemap, with or without --gzip, and
// gets no second .gz.
TEST(TrustOptions, AGzNameIsCompressed)
{
    Sandbox box;
    box.file("site/a.html", "a", k2006March7);
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"xml", "--output", "out/map.xml.gz"},
                                                  {"xml", "--gzip", "--output", "out/map.xml.gz"},
                                                  {"txt", "--output", "out/map.txt.gz"}}) {
        SCOPED_TRACE(extra[0] + " " + extra[1]);
        box.folder("out");
        std::vector<std::string> args = {extra[0], "site", "--url", "https://example.com"};
        args.insert(args.end(), extra.begin() + 1, extra.end());
        const RunResult r = box.run(args);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(box.read(extra.back()).substr(0, 2), "\x1f\x8b");
        EXPECT_EQ(box.snapshot("out").size(), 1u) << r;
        fs::remove_all(box.path("out"));
    }
}

// The sitemap saved and robots.txt not: a status of its own, and a message
// that says both.
TEST(TrustOptions, RobotsTxtNotUpdatedHasItsOwnStatus)
{
    Sandbox box;
    box.file("site/a.html", "a", k2006March7);
    box.folder("site/robots.txt");
    const RunResult r = box.run({"xml", "site", "--url", "https://example.com", "--robots-txt"});
    EXPECT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.out, "site/sitemap.xml saved.\n");
    EXPECT_EQ(r.err.rfind("larkspur-cli: sitemap.xml saved, but robots.txt was not updated: ", 0), 0u) << r;
}

}  // namespace
}  // namespace larkspur::clitest
