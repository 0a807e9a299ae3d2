// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "head/head.h"
#include "head/head_reader.h"
#include "scan/scan.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

TEST(PageHead, RobotsMetaInEveryFormAndNowhereElse)
{
    struct Case { const char* html; bool noindex; };
    const Case cases[] = {
        {R"(<meta name="robots" content="noindex">)", true},
        {R"(<META NAME="ROBOTS" CONTENT="NOINDEX">)", true},
        {R"(<meta name="robots" content="noindex, nofollow">)", true},
        {R"(<meta name="robots" content="nofollow,noindex">)", true},
        {R"(<meta name='robots' content='none'>)", true},
        {R"(<meta content="noindex" name="robots">)", true},
        {R"(<meta name=robots content=noindex>)", true},
        {R"(<meta name=robots content=noindex/>)", true},
        {R"(<meta name="googlebot" content="noindex">)", true},
        {R"(<meta name=" Robots " content=" NoIndex ">)", true},
        {"<!DOCTYPE html>\n<html lang=en><head><title>a</title>\n<meta charset=utf-8>\n"
         "<meta name=robots content=noindex></head><body>x</body></html>", true},
        {"\xEF\xBB\xBF<meta name=robots content=noindex>", true},
        {R"(<meta name="robots" content="nofollow">)", false},
        {R"(<meta name="robots" content="index, follow">)", false},
        {R"(<meta name="bingbot" content="noindex">)", true},
        {R"(<meta name="robots" content="&#110;oindex">)", true},
        {R"(<meta name="description" content="noindex">)", false},
        {R"(<meta property="robots" content="noindex">)", false},
        {R"(<meta name="robots" content="noindexing">)", false},
        {R"(<!-- <meta name="robots" content="noindex"> --><title>t</title>)", false},
        {R"(<!--><meta name="robots" content="noindex">)", true},  // "<!-->" is a whole comment
        {R"(<script>document.write('<meta name="robots" content="noindex">')</script>)", false},
        {R"(<title><meta name="robots" content="noindex"></title>)", false},
        // After "</head>" a parser still puts these into the head, up to the body.
        {"<head><title>a</title></head>\n<meta name=robots content=noindex>\n<body>", true},
        {R"(<head></head></div><!-- x --><meta name="robots" content="noindex">)", true},
        {R"(<head></head><noscript></noscript><meta name="robots" content="noindex">)", false},
        {R"(<head></head>text<meta name="robots" content="noindex">)", false},
        {R"(<head></head></html><meta name="robots" content="noindex">)", false},
        // Comments and scripts end where a parser ends them.
        {R"(<!-- x --!><meta name=robots content=noindex>)", true},
        {R"(<script>var s = "</scripts>";</script><meta name=robots content=noindex>)", true},
        {R"(<meta name=robots content="&#0000000000110;oindex">)", true},
        {R"(<body><meta name="robots" content="noindex">)", false},
        {R"(<p>Use <meta name="robots" content="noindex"> to hide a page</p>)", false},
        {R"(Some text <meta name="robots" content="noindex">)", false},
        {R"(<div></div><meta name="robots" content="noindex">)", false},
        {R"(<meta name="robots" content="noindex)", false},  // cut off: not an element
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScanHead(c.html).noindex, c.noindex) << c.html;
}

TEST(PageHead, CanonicalLinkAgainstThePagesOwnUrl)
{
    struct Case { const char* page; const char* html; bool elsewhere; };
    const Case cases[] = {
        {"https://example.org/a.html", R"(<link rel="canonical" href="https://example.org/a.html">)", false},
        {"https://example.org/a.html", R"(<link rel="canonical" href="https://example.org/b.html">)", true},
        {"https://example.org/a.html", R"(<link href="https://EXAMPLE.org:443/a.html" rel=canonical>)", false},
        {"https://example.org/a.html", R"(<link rel="canonical" href="http://example.org/a.html">)", true},
        {"https://example.org/d/a.html", R"(<link rel="canonical" href="a.html">)", false},
        {"https://example.org/d/a.html", R"(<link rel="canonical" href="../d/./a.html#top">)", false},
        {"https://example.org/d/a.html", R"(<link rel="canonical" href="/a.html">)", true},
        {"https://example.org/d/a.html", R"(<link rel="canonical" href="//example.org/d/a.html">)", false},
        {"https://example.org/d/a.html", R"(<link rel="canonical" href="">)", false},
        {"https://example.org/d/a.html", R"(<base href="/e/"><link rel="canonical" href="a.html">)", true},
        {"https://example.org/d/", R"(<link rel="canonical" href="https://example.org/d">)", false},
        {"https://example.org/d", R"(<link rel="canonical" href="https://example.org/d/">)", false},
        {"https://example.org/d/", R"(<link rel="canonical" href="index.html">)", true},
        {"https://example.org/a%20b.html", R"(<link rel="canonical" href="a b.html">)", false},
        {"https://example.org/~a.html", R"(<link rel="canonical" href="%7ea.html">)", false},
        {"https://example.org/a.html?x=1", R"(<link rel="canonical" href="a.html?x=1&amp;y=2">)", true},
        {"https://example.org/a.html", R"(<link rel="alternate canonical" href="b.html">)", true},
        {"https://example.org/a.html", R"(<link rel="alternate" href="b.html">)", false},
        {"https://example.org/a.html", R"(<link rel="canonical" href="mailto:x@example.org">)", false},
        {"https://example.org/a.html", R"(<!-- <link rel="canonical" href="b.html"> -->)", false},
        {"https://example.org/a.html", R"(<link rel="canonical" href="b.html"><link rel="canonical" href="c.html">)", false},
        {"https://example.org/a.html", R"(<link rel="canonical" href="b.html"><link rel="canonical" href="b.html">)", true},
        // One URL spelled two ways (a theme's link and a plugin's) is one canonical.
        {"https://example.org/a.html", R"(<link rel=canonical href="https://example.org/b.html"><link rel=canonical href="/b.html">)", true},
        {"https://example.org/a.html", R"(<link rel=canonical href="/a.html"><link rel=canonical href=a.html><link rel=canonical href=c.html>)", false},
        {"https://example.org/a.html", R"(<link rel="canonical" href="a&#46;html">)", false},
        {"https://xn--bcher-kva.example/a.html", "<link rel=canonical href=https://B\xC3\xBC" "cher.example/a.html>", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CanonicalElsewhere(c.page, ScanHead(c.html)), c.elsewhere) << c.page << " " << c.html;
}

TEST(PageHead, ResolvesReferencesAsRfc3986Says)
{
    // The normal and abnormal examples of RFC 3986, section 5.4.
    const char* base = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"}, {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"}, {"//g", "http://g"}, {"?y", "http://a/b/c/d;p?y"}, {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q"}, {";x", "http://a/b/c/;x"}, {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"}, {"..", "http://a/b/"}, {"../g", "http://a/b/g"}, {"../..", "http://a/"},
        {"../../../g", "http://a/g"}, {"/./g", "http://a/g"}, {"g.", "http://a/b/c/g."},
        {"./../g", "http://a/b/g"}, {"g;x=1/../y", "http://a/b/c/y"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(ResolveUrl(base, reference), expected) << reference;
}

TEST(PageHead, ReadsOnlyTheStartOfAPage)
{
    TempTree t;
    const std::string meta = R"(<meta name="robots" content="noindex">)";
    // A long head: the element right before the limit counts, one after it not.
    const std::string before = "<head><style>" + std::string(kHeadReadLimit - 200, ' ') + "</style>" + meta;
    const std::string after = "<head><style>" + std::string(kHeadReadLimit, ' ') + "</style>" + meta;
    PageHead head;
    std::string buffer, error;
    ASSERT_EQ(ReadPageHead(t.file("before.html", before), head, buffer, error), 0) << error;
    EXPECT_TRUE(head.noindex);
    EXPECT_TRUE(head.whole);
    ASSERT_EQ(ReadPageHead(t.file("after.html", after), head, buffer, error), 0) << error;
    EXPECT_FALSE(head.noindex);
    EXPECT_FALSE(head.whole);  // kept, but not judged
    ASSERT_EQ(ReadPageHead(t.file("wide.html", std::string("\xFF\xFE<\0m\0", 6)), head, buffer, error), 0);
    EXPECT_FALSE(head.whole);
    EXPECT_EQ(ReadPageHead(t.path("missing.html"), head, buffer, error), -1);
}

// Pages read folder by folder, by their names, say what their paths say,
// also when a page or a whole folder went away after the walk.
TEST(PageHeadReader, ReadsEachPageAsItsPathWould)
{
    TempTree t;
    const std::string noindex = R"(<meta name="robots" content="noindex">)";
    t.file("site/a.html", noindex);
    t.file("site/docs/b.html", "<title>b</title>");
    t.file("site/docs/c.html", noindex);
    t.file("site/docs/old/d.html", noindex);
    t.file("site/e.html", "<p>e</p>");
    ScanTree tree;
    ASSERT_EQ(WalkTree(tree, t.path("site")), 0);
    std::filesystem::remove(t.path("site/docs/c.html"));
    std::filesystem::remove_all(t.path("site/docs/old"));

    PageHeadReader reader;
    int pages = 0;
    for (const FileEntry& entry : tree.entries) {
        if (entry.isDirectory())
            continue;
        ++pages;
        PageHead byName, byPath;
        std::string buffer, errorByName, errorByPath;
        const int result = reader.read(tree, entry, byName, errorByName);
        EXPECT_EQ(result, ReadPageHead(tree.fullPath(entry), byPath, buffer, errorByPath)) << entry.name();
        EXPECT_EQ(byName.noindex, byPath.noindex) << entry.name();
        EXPECT_EQ(errorByName, result == 0 ? "" : errorByPath) << entry.name();
    }
    EXPECT_EQ(pages, 5);
}

// A page swapped after the walk for a link is read as the walk would have
// followed it: through a link of ours, not through one of another user.
TEST(PageHeadReader, FollowsLinksPutInAPagesPlaceAsTheWalkWould)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    TempTree t;
    t.file("private.html", R"(<meta name="robots" content="noindex">)");
    t.file("site/ours.html", "<title>ours</title>");
    t.file("site/theirs.html", "<title>theirs</title>");
    ScanTree tree;
    ASSERT_EQ(WalkTree(tree, t.path("site")), 0);
    for (const char* name : {"ours.html", "theirs.html"}) {
        std::filesystem::remove(t.path("site/") + name);
        ASSERT_EQ(::symlink(t.path("private.html").c_str(), (t.path("site/") + name).c_str()), 0);
    }
    ASSERT_EQ(::lchown(t.path("site/theirs.html").c_str(), 65534, 65534), 0);

    PageHeadReader reader;
    for (const FileEntry& entry : tree.entries) {
        if (entry.isDirectory())
            continue;
        PageHead head;
        std::string error;
        const bool ours = entry.name() == "ours.html";
        EXPECT_EQ(reader.read(tree, entry, head, error), ours ? 0 : -1) << entry.name();
        EXPECT_EQ(head.noindex, ours) << entry.name();
    }
}
