// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <unistd.h>

#include "scan/read_ahead.h"
#include "scan/scan.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

int Collect(const FileEntry& entry, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(RelativePath(entry));
    return 0;
}

std::vector<std::string> WalkOrder(const ScanTree& tree)
{
    std::vector<std::string> paths;
    EnumerateTree(tree, Collect, &paths);
    return paths;
}

std::vector<std::string> Lines(const ScanResult& scan)
{
    std::vector<std::string> texts;
    for (const StatLine& line : StatisticsLines(scan))
        texts.push_back(line.text);
    return texts;
}

}  // namespace

TEST(Extension, FromTheLastDot)
{
    struct Case { const char* name; const char* extension; };
    const Case cases[] = {
        {"index.html", ".html"},
        {"archive.tar.gz", ".gz"},
        {"README", ""},
        {".htaccess", ".htaccess"},
        {"trailing.", "."},
        {"x.abcdefghijklmnopqrstu", ".abcdefghijklmn"},  // cut to 15 bytes
        // Never inside a UTF-8 character: two, three and four bytes long.
        {"x.abcdefghijklm\xC3\xA9", ".abcdefghijklm"},
        {"x.abcdefghijkl\xE2\x82\xAC", ".abcdefghijkl"},
        {"x.abcdefghijk\xF0\x9F\x98\x80", ".abcdefghijk"},
        {"x.abcdefghijkl\xC3\xA9x", ".abcdefghijkl\xC3\xA9"},  // ends right at the limit
        {"x.abcdefghijklmn\xA9x", ".abcdefghijklmn"},          // no UTF-8: cut at the byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(Extension(c.name), c.extension) << c.name;
}

TEST(Walk, PreOrderInCaseFoldedListingOrder)
{
    TempTree t;
    t.file("site/b.html");
    t.file("site/A.html");
    t.file("site/a.html");
    t.file("site/sub/z.htm");
    t.file("site/Sub2/y.htm");
    t.file("site/_x.txt");
    t.file("site/c");
    ScanTree tree;
    ASSERT_EQ(WalkTree(tree, t.path("site")), 0);
    // Letters compare without case ('_' sorts after 'Z' then), ties by bytes.
    const std::vector<std::string> expected = {
        "/.", "/A.html", "/a.html", "/b.html", "/c", "/sub", "/sub/z.htm", "/Sub2", "/Sub2/y.htm", "/_x.txt",
    };
    EXPECT_EQ(WalkOrder(tree), expected);
}

TEST(Walk, RootIsCanonicalAndFullPathsDerive)
{
    TempTree t;
    t.file("site/docs/a.htm");
    ScanTree tree;
    ASSERT_EQ(WalkTree(tree, t.path("site/docs/../")), 0);
    EXPECT_EQ(tree.root, std::filesystem::canonical(t.path("site")).string());
    ASSERT_EQ(tree.entries.size(), 3u);
    EXPECT_EQ(tree.fullPath(tree.entries[2]), tree.root + "/docs/a.htm");
    EXPECT_EQ(tree.fullPath(tree.entries[0]), tree.root);
}

TEST(Walk, RootMustBeAFolder)
{
    TempTree t;
    t.file("file.html");
    ScanTree tree;
    WalkError error;
    EXPECT_EQ(WalkTree(tree, t.path("file.html"), {}, &error), -1);
    EXPECT_EQ(WalkTree(tree, t.path("missing"), {}, &error), -1);
    EXPECT_EQ(WalkTree(tree, ""), -1);
    EXPECT_FALSE(tree.walked);
}

TEST(Walk, LinksToFilesCountAndCyclesAreSkipped)
{
    TempTree t;
    t.file("site/real.html");
    t.file("outside/shared.html");
    ASSERT_EQ(::symlink("real.html", t.path("site/alias.html").c_str()), 0);
    ASSERT_EQ(::symlink("../outside", t.path("site/linked").c_str()), 0);
    ASSERT_EQ(::symlink(".", t.path("site/self").c_str()), 0);         // back to the root
    t.folder("site/real");
    ASSERT_EQ(::symlink("..", t.path("site/real/up").c_str()), 0);     // and from below
    ASSERT_EQ(::symlink("missing", t.path("site/dangling").c_str()), 0);
    ScanTree tree;
    ASSERT_EQ(WalkTree(tree, t.path("site")), 0);
    const std::vector<std::string> expected = {"/.", "/alias.html", "/linked", "/linked/shared.html", "/real",
                                               "/real.html"};
    EXPECT_EQ(WalkOrder(tree), expected);
}

TEST(Walk, FilesTheFilterRefusesAreListedWithoutTheirStatus)
{
    TempTree t;
    constexpr std::int64_t kTime = 1136592000;
    t.file("site/a.html", "x", kTime);
    t.file("site/b.css", "x", kTime);
    t.file("site/sub/c.html", "", kTime);
    ASSERT_EQ(::symlink("b.css", t.path("site/link.css").c_str()), 0);  // links are read as before
    for (const unsigned jobs : {1u, 4u}) {
        ScanTree tree;
        WalkSettings settings{jobs, [](std::string_view name) { return name.ends_with(".html"); }};
        ASSERT_EQ(WalkTree(tree, t.path("site"), {}, nullptr, nullptr, nullptr, settings), 0);
        std::vector<std::string> seen;
        for (const FileEntry& e : tree.entries)
            seen.push_back(RelativePath(e) + (e.mtime() == kTime ? " dated" : "") + (e.empty() ? " empty" : ""));
        const std::vector<std::string> expected = {"/.", "/a.html dated", "/b.css empty", "/link.css dated", "/sub",
                                                   "/sub/c.html dated empty"};
        EXPECT_EQ(seen, expected);
    }
}

TEST(Walk, CancelledWalkLeavesNothing)
{
    TempTree t;
    t.file("site/a/b.html");
    t.file("site/c.html");
    ScanTree tree;
    WalkError error;
    auto cancel = [](std::size_t, void*) { return 1; };
    EXPECT_EQ(WalkTree(tree, t.path("site"), {}, &error, cancel, nullptr), -1);
    EXPECT_FALSE(tree.walked);
    EXPECT_TRUE(tree.entries.empty());
}

TEST(Walk, ProgressSeesTheGrowingCount)
{
    TempTree t;
    for (int i = 0; i < 5; ++i)
        t.file("site/d" + std::to_string(i) + "/f.html");
    auto record = [](std::size_t n, void* c) {
        static_cast<std::vector<std::size_t>*>(c)->push_back(n);
        return 0;
    };
    // Reported on the calling thread also while other threads list.
    for (const unsigned jobs : {1u, 4u}) {
        std::vector<std::size_t> seen;
        ScanTree tree;
        ASSERT_EQ(WalkTree(tree, t.path("site"), {}, nullptr, record, &seen, {jobs, {}}), 0);
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), tree.entries.size());
    }
}

TEST(ReadAhead, ResultsComeInTheTreesOrderSkippedOnesLeftBehind)
{
    TempTree t;
    for (int i = 0; i < 2000; ++i)
        t.file("site/d" + std::to_string(i % 7) + "/" + std::to_string(i) + ".html");
    ScanTree tree;
    ASSERT_EQ(WalkTree(tree, t.path("site")), 0);
    for (const unsigned jobs : {1u, 4u}) {
        ReadAhead<std::string> ahead;
        ahead.start(tree, [](const FileEntry& e) { return !e.isDirectory(); },
                    [](const FileEntry& e, std::string& result, std::monostate&) {
                        result = RelativePath(e);
                        return e.name().starts_with("13") ? -1 : 0;
                    },
                    jobs);
        int asked = 0;
        for (const FileEntry& entry : tree.entries) {
            // The caller leaves out every third file and asks for the rest.
            if (entry.isDirectory() || asked++ % 3 == 1)
                continue;
            std::string result;
            EXPECT_EQ(ahead.take(entry, result), entry.name().starts_with("13") ? -1 : 0);
            EXPECT_EQ(result, RelativePath(entry));
        }
    }
}

TEST(Enumerate, StopsOnNonZeroAndRefusesUnwalked)
{
    TempTree t;
    t.file("site/a.html");
    t.file("site/b.html");
    ScanTree tree;
    ASSERT_EQ(WalkTree(tree, t.path("site")), 0);
    int visits = 0;
    auto stopAtSecond = [](const FileEntry&, void* c) { return ++*static_cast<int*>(c) == 2 ? 1 : 0; };
    EXPECT_EQ(EnumerateTree(tree, stopAtSecond, &visits), -1);
    EXPECT_EQ(visits, 2);
    EXPECT_EQ(EnumerateTree(tree, nullptr, nullptr), -1);
    ScanTree unwalked;
    EXPECT_EQ(EnumerateTree(unwalked, stopAtSecond, &visits), -1);
}

TEST(Statistics, GroupsByExtensionWithoutCase)
{
    TempTree t;
    t.file("site/a.HTML");
    t.file("site/b.html");
    t.file("site/x.htm", "");
    t.file("site/README");
    t.file("site/archive.tar.gz");
    t.file("site/sub/empty.css", "");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    const std::vector<std::string> expected = {
        "file totally: 6", "empty files: 2", ".HTML files: 2", ".gz files: 1",
        " files: 1",       ".css files: 1",  ".htm files: 1",
    };
    EXPECT_EQ(Lines(scan), expected);

    const std::vector<StatLine> lines = StatisticsLines(scan);
    EXPECT_FALSE(lines[0].enabled);
    EXPECT_FALSE(lines[1].enabled);
    EXPECT_TRUE(lines[2].checked);   // .HTML
    EXPECT_FALSE(lines[3].checked);  // .gz
    EXPECT_TRUE(lines[6].checked);   // .htm
}

TEST(Statistics, ThousandsOfGroupsKeepOrderAndFirstSpelling)
{
    ScanResult scan;
    for (const char* stem : {"a.Log", "b.lOG", "c.LOG"}) {
        for (int i = 0; i < 3000; ++i) {
            const std::string name = stem + std::to_string(i);  // the entry's name is a view
            const FileEntry file(nullptr, name, 0, EntryType::File);
            ASSERT_EQ(CountFiles(file, &scan), 0);
        }
    }
    ASSERT_EQ(scan.groups.size(), 3000u);
    for (int i = 0; i < 3000; ++i) {
        EXPECT_EQ(scan.groups[i].extension, ".Log" + std::to_string(i));
        EXPECT_EQ(scan.groups[i].count, 3);
    }
    EXPECT_EQ(scan.fileTotal, 9000);
}

TEST(Statistics, EmptyFolder)
{
    TempTree t;
    t.folder("site");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    EXPECT_EQ(Lines(scan), (std::vector<std::string>{"file totally: 0", "empty files: 0"}));
}

TEST(Statistics, WalkingAgainStartsFresh)
{
    TempTree t;
    t.file("site/a.html");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    t.file("site/b.html");
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    EXPECT_EQ(scan.fileTotal, 2);
    ASSERT_EQ(scan.groups.size(), 1u);
    EXPECT_EQ(scan.groups[0].count, 2);

    ReleaseScan(scan);
    EXPECT_FALSE(scan.tree.walked);
    EXPECT_EQ(scan.fileTotal, 0);
    EXPECT_TRUE(scan.groups.empty());
}
