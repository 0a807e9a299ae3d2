// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <deque>

#include "text/glob.h"
#include "select/selection.h"

using namespace larkspur;

namespace {

struct GlobCase {
    const char* glob;
    const char* text;
    bool matches;
};

const GlobCase kGlobCases[] = {
    {"*.html", "a.html", true},
    {"*.html", "docs/a.html", false},  // "*" stays inside one segment
    {"a?c", "abc", true},
    {"a?c", "a/c", false},
    {"[ab]x", "bx", true},
    {"[!ab]x", "bx", false},
    {"[^ab]x", "cx", true},
    {"[a-c]*", "c.html", true},
    {"[a-c]*", "d.html", false},
    {"[]]x", "]x", true},
    {"[x", "[x", true},  // an open class is a literal "["
    {"a[/]b", "a/b", false},
    {"\\*.html", "*.html", true},
    {"\\*.html", "a.html", false},
    {"**", "a/b/c.html", true},
    {"**/x.html", "x.html", true},
    {"**/x.html", "a/b/x.html", true},
    {"a/**", "a/b/c.html", true},
    {"a/**", "b/a/c.html", false},
    {"a/**/b.html", "a/b.html", true},
    {"a/**/b.html", "a/x/y/b.html", true},
    {"a/**/b.html", "a/xb.html", false},
    {"a**b", "a/b", false},  // "**" inside a name is two ordinary stars
    {"a**b", "axxb", true},
    {"*", "", true},
    {"", "", true},
    {"café*", "café menu.html", true},
    // Stars that must give back text they took first.
    {"*a*b", "xaaxbxb", true},
    {"*a*b", "xaaxbxbc", false},
    {"*/b", "a/c/b", false},
    {"**/a/b", "x/a/c/a/b", true},
    {"**/a/*/c", "a/a/b/c", true},
    {"a*/**/*b", "ax/y/z/wb", true},
    // POSIX classes, as git has them.
    {"[[:digit:]]*", "2024.html", true},
    {"[[:digit:]]*", "a.html", false},
    {"[![:alpha:]]x", "1x", true},
    {"[[:upper:][:punct:]]", "_", true},
    {"[[:upper:][:punct:]]", "q", false},
    {"[[:space:]]", " ", true},
    {"[[:nosuch:]x]", "x", true},
};

class Glob : public testing::TestWithParam<GlobCase> {};

TEST_P(Glob, Matches)
{
    const GlobCase& c = GetParam();
    EXPECT_EQ(GlobMatch(c.glob, c.text), c.matches) << c.glob << " ~ " << c.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, Glob, testing::ValuesIn(kGlobCases));

// Patterns of many stars against a long name, or many "**" against a deep
// path, that do not match: trying every way to split the text among the stars
// would take longer than anyone waits (hours for the first case).
TEST(GlobEffort, StarsDoNotTryEverySplitOfTheText)
{
    const std::string name(250, 'a');
    EXPECT_FALSE(GlobMatch("*a*a*a*a*a*a*a*a*a*b", name));
    EXPECT_TRUE(GlobMatch("*a*a*a*a*a*a*a*a*a*", name));
    std::string deep;
    for (int level = 0; level < 400; ++level)
        deep += "a/";
    EXPECT_FALSE(GlobMatch("**/a/**/a/**/a/**/a/**/a/**/b", deep + "a"));
    EXPECT_TRUE(GlobMatch("**/a/**/a/**/a/**/a/**/a/**/a", deep + "a"));
}

struct ExcludeCase {
    std::vector<std::string> patterns;
    const char* path;
    bool isFolder;
    bool excluded;
};

const ExcludeCase kExcludeCases[] = {
    {{"404.html"}, "404.html", false, true},
    {{"404.html"}, "docs/404.html", false, true},  // no "/": any depth
    {{"/404.html"}, "docs/404.html", false, false},
    {{"/404.html"}, "404.html", false, true},
    {{"drafts/"}, "drafts", true, true},
    {{"drafts/"}, "drafts", false, false},  // a file named so stays
    {{"docs/*.html"}, "docs/a.html", false, true},
    {{"docs/*.html"}, "x/docs/a.html", false, false},  // a "/" anchors it
    {{"*.html", "!keep.html"}, "keep.html", false, false},
    {{"*.html", "!keep.html"}, "drop.html", false, true},
    {{"!keep.html", "*.html"}, "keep.html", false, true},  // the last match decides
    {{""}, "a.html", false, false},
    {{"private"}, "a/private", true, true},
    {{"drafts/"}, "drafts/sub/x.html", false, true},  // below a folder left out
    {{"drafts/  "}, "drafts", true, true},  // trailing spaces dropped
    {{"a.html\\ "}, "a.html ", false, true},  // unless escaped
};

class Exclusions : public testing::TestWithParam<ExcludeCase> {};

TEST_P(Exclusions, LastMatchDecides)
{
    const ExcludeCase& c = GetParam();
    if (c.isFolder || !std::string_view(c.path).ends_with(".html")) {
        EXPECT_EQ(ExclusionList(c.patterns).excludes(c.path, c.isFolder), c.excluded) << c.path;
        return;
    }
    // A page, as the selection sees it: below its folders.
    std::deque<FileEntry> entries(1, FileEntry{nullptr, ".", 0, EntryType::Directory});
    const std::string path = c.path;  // the entries' names point into it
    for (std::string_view rest = path; !rest.empty();) {
        const auto slash = rest.find('/');
        const auto type = slash == std::string_view::npos ? EntryType::File : EntryType::Directory;
        entries.push_back({&entries.back(), rest.substr(0, slash), 0, type});
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    SitemapOptions options;
    options.exclude = c.patterns;
    EXPECT_EQ(PageSelection(options).selects(entries.back()), !c.excluded) << c.path;
}

INSTANTIATE_TEST_SUITE_P(Cases, Exclusions, testing::ValuesIn(kExcludeCases));

}  // namespace
