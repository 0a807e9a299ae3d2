// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli check as scripts see it: exit status, report, TSV lines.
#include "cli_harness.h"

#include <gtest/gtest.h>

namespace larkspur::clitest {
namespace {

TEST(CheckCli, ExitStatusReportAndTsv)
{
    Sandbox box;
    box.folder("work");
    box.file("site/a.html", "a", k2006March7);
    const std::vector<std::string> site = {"check", "site", "--url", "https://example.com"};
    RunResult r = box.run(site);
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("no sitemap in "), std::string::npos) << r;

    ASSERT_EQ(box.run({"xml", "site", "--url", "https://example.com", "--protocol", "0.9"}).status, 0);
    r = box.run(site);
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Checked " + box.path("site/sitemap.xml") + ": 1 URL(s); 1 page(s) in the folder.\n\n"
                     "No problems found.\n") << r;

    // A page the sitemap leaves out, and a URL with a terminal's escape.
    box.file("site/b.html", "b", k2006March7);
    box.file("site/sitemap.txt", "https://example.com/a.html\nhttps://example.com/\x1B[2J\n");
    r = box.run({"check", "site", "--url", "https://example.com", "--sitemap", "sitemap.txt", "--format", "tsv"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "no-file\thttps://example.com/\\x1B[2J\t\nmissing\thttps://example.com/b.html\tb.html\n") << r;

    // A hint alone, through a saved project; options of a run count.
    ASSERT_EQ(box.run({"projects", "add", "p", "--path", box.path("site"), "--url", "https://example.com",
                       "--working-dir", box.path("work")}).status, 0);
    ASSERT_EQ(box.run({"xml", "--project", "p", "--working-dir", box.path("work")}).status, 0);
    r = box.run({"check", "--project", "p", "--working-dir", box.path("work"), "--exclude", "b.html"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find("hint: the 0.84 namespace: 1\n"), std::string::npos) << r;
    EXPECT_NE(r.out.find("No problems found, 1 hint(s).\n"), std::string::npos) << r;

    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"check", "site"},
                                                  {"check", "site", "--url", "https://example.com", "--format", "xml"},
                                                  {"check", "site", "--url", "https://example.com", "--output", "-"},
                                                  {"check", "--project", "p", "--url", "https://example.com"}})
        EXPECT_EQ(box.run(wrong).status, 2) << wrong.back();
}

}  // namespace
}  // namespace larkspur::clitest
