// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Walks and sitemaps of folders that hold whatever a web site may hold: odd
// names, links, pipes and sockets, locked folders, paths past the system's
// limit, and files that go away while the walk runs. Every URL written must
// be valid, stay on its line, and lead back to its file.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <sstream>
#include <unordered_map>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "hostile_support.h"
#include "options/options.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "projects/projects.h"
#include "scan/scan.h"
#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "temp_tree.h"
#include "well_formed_xml.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

constexpr const char* kBaseUrl = "https://example.org/site";
constexpr const char* kBasePrefix = "https://example.org/site/";
constexpr const char* kCsvHead = "loc,lastmod,changefreq,priority";

// Follows `relative` ("a/b/c.html") from `root` one folder at a time, so
// paths longer than the system's limit can be checked too. True when it
// names a regular file (links followed).
bool IsFileBelow(const std::string& root, const std::string& relative)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = 0;
    while (fd >= 0) {
        const auto slash = relative.find('/', start);
        const std::string segment = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (slash == std::string::npos) {
            struct stat st;
            const bool found = ::fstatat(fd, segment.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
            ::close(fd);
            return found;
        }
        const int next = ::openat(fd, segment.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        start = slash + 1;
    }
    return false;
}

std::string Show(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out.size() > 300 ? out.substr(0, 300) + "..." : out;
}

std::string Write(const ScanResult& scan, SitemapFormat format)
{
    SitemapParameters parameters;
    parameters.websiteUrl = kBaseUrl;
    std::ostringstream out;
    EXPECT_EQ(WriteSitemap(out, format, scan.tree, parameters), 0);
    return out.str();
}

// Writes the three sitemaps of a walked site, and the XML converted back
// from its CSV, and checks that each names exactly the files `pages`
// (relative paths, in listing order) with valid URLs, one per line or row.
void ExpectSitemapsName(const ScanResult& scan, const std::string& root,
                        const std::vector<std::string>& pages)
{
    // sitemap.xml: well-formed, one valid URL per page that leads to it.
    const std::string xml = Write(scan, SitemapFormat::Xml);
    XmlChecker checker;
    checker.collect("loc");
    ASSERT_EQ(checker.check(xml), "") << Show(xml);
    const std::vector<std::string> locs = checker.collected();
    ASSERT_EQ(locs.size(), pages.size());
    for (std::size_t i = 0; i < locs.size(); ++i) {
        const std::string& url = locs[i];
        EXPECT_TRUE(IsValidUrlText(url)) << Show(url);
        ASSERT_EQ(url.rfind(kBasePrefix, 0), 0u) << Show(url);
        const std::string relative = PercentDecode(url.substr(std::strlen(kBasePrefix)));
        EXPECT_EQ(relative, pages[i]) << Show(url);
        EXPECT_TRUE(IsFileBelow(root, relative)) << Show(relative);
    }
    for (const std::string& line : CrLfLines(xml)) {
        const std::string body = line.empty() || line[0] != '\t' ? line : line.substr(1);
        EXPECT_FALSE(HasControlByte(body)) << Show(line);
    }

    // sitemap.txt: exactly one plain URL per line.
    const std::string txt = Write(scan, SitemapFormat::Text);
    const std::vector<std::string> urls = CrLfLines(txt);
    ASSERT_EQ(urls.size(), pages.size()) << Show(txt);
    for (std::size_t i = 0; i < urls.size(); ++i) {
        EXPECT_FALSE(HasControlByte(urls[i])) << Show(urls[i]);
        EXPECT_EQ(urls[i], locs[i]);
    }
    if (!txt.empty()) {
        EXPECT_EQ(txt.substr(txt.size() - 2), "\r\n");
    }

    // sitemap.csv: the head line, then one row of four fields per page.
    const std::string csv = Write(scan, SitemapFormat::Csv);
    const std::vector<std::string> rows = CrLfLines(csv);
    ASSERT_EQ(rows.size(), pages.size() + 1) << Show(csv);
    EXPECT_EQ(rows[0], kCsvHead);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_FALSE(HasControlByte(rows[i])) << Show(rows[i]);
        FieldList fields;
        ASSERT_EQ(SplitFields(fields, rows[i], ','), 0) << Show(rows[i]);
        ASSERT_EQ(fields.fields.size(), 4u) << Show(rows[i]);
        EXPECT_EQ(XmlUnescape(fields.fields[0]), locs[i - 1]);
    }

    // The CSV converted back gives the same URLs.
    std::istringstream csvIn(csv);
    std::ostringstream back;
    ConvertReport report;
    ASSERT_EQ(ConvertCsvToXml(csvIn, back, &report), 0);
    EXPECT_EQ(report.linesSkipped, 0);
    XmlChecker again;
    again.collect("loc");
    ASSERT_EQ(again.check(back.str()), "") << Show(back.str());
    EXPECT_EQ(again.collected(), locs);
}

// The relative paths of the pages of a walked tree, in walk order.
std::vector<std::string> PagesOf(const ScanResult& scan)
{
    std::vector<std::string> pages;
    for (const FileEntry& entry : scan.tree.entries) {
        if (!entry.isDirectory() && !entry.empty() && IsPageExtension(Extension(entry.name())))
            pages.push_back(RelativePath(entry).substr(1));
    }
    return pages;
}

// Every walk here runs on one thread and on several: the rules hold for
// both, and both give the same tree, entry for entry, or fail alike.
constexpr unsigned kJobs[] = {1, 4};

std::string Listing(const ScanResult& scan, int result, const WalkError& error)
{
    std::string text = std::to_string(result) + " " + error.path + ": " + error.message + "\n";
    std::unordered_map<const FileEntry*, std::size_t> index;  // paths would be quadratic in depth
    for (const FileEntry& e : scan.tree.entries) {
        text += std::to_string(e.parent ? index.at(e.parent) : 0) + "/" + std::string(e.name())
              + (e.isDirectory() ? "/ " : " ") + std::to_string(e.mtime()) + (e.empty() ? "-\n" : "\n");
        index.emplace(&e, index.size());
    }
    for (const StatLine& line : StatisticsLines(scan))
        text += line.text + "\n";
    return text + std::to_string(scan.tree.skippedLinks) + " links skipped";
}

// The walk on several threads into `scan`; `same` (in a child process)
// or else the test learns whether one thread gave the same.
int Walk(ScanResult& scan, const std::string& root, WalkError* error = nullptr, bool* same = nullptr)
{
    ScanResult single;
    WalkError singleError;
    WalkError several;
    const int singleResult = WalkAndCount(single, root, &singleError, nullptr, nullptr, {kJobs[0], {}});
    const int result = WalkAndCount(scan, root, &several, nullptr, nullptr, {kJobs[1], {}});
    const std::string expected = Listing(single, singleResult, singleError);
    if (same)
        *same = Listing(scan, result, several) == expected;
    else
        EXPECT_EQ(Listing(scan, result, several), expected) << "several threads against one";
    if (error)
        *error = several;
    return result;
}

std::string Canonical(const std::string& path)
{
    std::string out, error;
    platform::CanonicalPath(path, out, error);
    return out;
}

// ----- Names

struct NameCase {
    const char* label;
    std::string name;
};

std::string Repeat(std::string_view piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

void PrintTo(const NameCase& c, std::ostream* out)
{
    *out << c.label;
}

const NameCase kNames[] = {
    {"Newline", "line\nbreak.html"},
    {"CarriageReturn", "carriage\rreturn.html"},
    {"CrLf", "cr\r\nlf.html"},
    {"Tab", "tab\there.html"},
    {"DoubleQuotes", "say \"cheese\".html"},
    {"SingleQuote", "it's.html"},
    {"MarkupCharacters", "<b>&amp;</b>.html"},
    {"Percent", "100%.html"},
    {"PercentThatLooksEscaped", "%41%2F%zz.html"},
    {"Hash", "a#b.html"},
    {"QuestionMark", "a?b=c.html"},
    {"Backslash", "a\\b\\.html"},
    {"Comma", "a,b,,c.html"},
    {"Space", " a b .html"},
    {"Brackets", "a[1]{2}.html"},
    {"ControlBytes", "\x01\x1b\x7f.html"},
    {"InvalidUtf8", "\xff\xfe\xc0\xaf.html"},
    {"LoneContinuationByte", "\x80.html"},
    {"Utf8", "caf\xc3\xa9 \xe2\x82\xac.html"},
    {"Name255BytesAscii", std::string(250, 'n') + ".html"},
    {"Name255BytesUtf8", Repeat("\xc3\xa9", 125) + ".html"},
    {"Name255BytesOfEscapes", std::string(250, '%') + ".html"},
    {"LeadingDash", "-rf.html"},
    {"UpperCaseExtension", "PAGE.HTM"},
};

enum class Place { File, Folder };

class HostileNames : public testing::TestWithParam<std::tuple<NameCase, Place>> {};

TEST_P(HostileNames, EveryUrlIsValidAndLeadsToItsFile)
{
    const auto& [nameCase, place] = GetParam();
    TempTree t;
    const std::string root = t.folder("site");
    std::string page;
    if (place == Place::File)
        page = nameCase.name;
    else
        page = nameCase.name + "/page.html";
    t.file("site/" + page, "<p>hello</p>");
    t.file("site/zzz.html", "<p>last</p>");

    ScanResult scan;
    WalkError error;
    ASSERT_EQ(Walk(scan, root, &error), 0) << error.path << ": " << error.message;
    EXPECT_EQ(scan.fileTotal, 2);
    for (const StatLine& line : StatisticsLines(scan))
        EXPECT_FALSE(HasControlByte(line.text)) << Show(line.text);
    const std::vector<std::string> pages = PagesOf(scan);
    EXPECT_EQ(std::set<std::string>(pages.begin(), pages.end()), (std::set<std::string>{page, "zzz.html"}));
    ExpectSitemapsName(scan, root, pages);
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNames,
    testing::Combine(testing::ValuesIn(kNames), testing::Values(Place::File, Place::Folder)),
    [](const testing::TestParamInfo<HostileNames::ParamType>& info) {
        return std::string(std::get<0>(info.param).label)
             + (std::get<1>(info.param) == Place::File ? "_AsFileName" : "_AsFolderName");
    });

TEST(HostileSite, AllOddNamesTogetherGiveDistinctUrlsInListingOrder)
{
    TempTree t;
    const std::string root = t.folder("site");
    std::vector<std::string> pages;
    for (const NameCase& c : kNames) {
        t.file("site/" + c.name, "x");
        t.file("site/nested/" + c.name, "x");
    }
    ScanResult scan;
    ASSERT_EQ(Walk(scan, root), 0);
    EXPECT_EQ(scan.fileTotal, 2 * static_cast<long long>(std::size(kNames)));
    pages = PagesOf(scan);
    ASSERT_EQ(pages.size(), 2 * std::size(kNames));
    ExpectSitemapsName(scan, root, pages);

    const std::string txt = Write(scan, SitemapFormat::Text);
    const std::vector<std::string> urls = CrLfLines(txt);
    EXPECT_EQ(std::set<std::string>(urls.begin(), urls.end()).size(), urls.size());
}

TEST(HostileSite, ExtensionWithALineBreakStaysOnOneStatisticsLine)
{
    TempTree t;
    t.file("site/notes.t\nxt");
    t.file("site/tab.a\tb");
    ScanResult scan;
    ASSERT_EQ(Walk(scan, t.path("site")), 0);
    std::vector<std::string> texts;
    for (const StatLine& line : StatisticsLines(scan))
        texts.push_back(line.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"file totally: 2", "empty files: 0", ".t?xt files: 1", ".a?b files: 1"}));
    EXPECT_EQ(scan.groups[0].extension, ".t\nxt");  // the group itself keeps the name as it is
}

// ----- Links

class HostileLinks : public testing::Test {
protected:
    void link(const std::string& target, const std::string& at)
    {
        ASSERT_EQ(::symlink(target.c_str(), t.path(at).c_str()), 0) << at;
    }
    std::vector<std::string> walkPages()
    {
        WalkError error;
        EXPECT_EQ(Walk(scan, t.path("site"), &error), 0) << error.path << ": " << error.message;
        return PagesOf(scan);
    }

    TempTree t;
    ScanResult scan;
};

TEST_F(HostileLinks, LinkBackToAnAncestorIsNotFollowed)
{
    t.file("site/a/b/p.html");
    link("../..", "site/a/b/up");
    link(".", "site/a/self");
    link(t.path("site"), "site/a/b/absolute-root");
    const std::vector<std::string> pages = walkPages();
    EXPECT_EQ(pages, std::vector<std::string>{"a/b/p.html"});
    for (const FileEntry& entry : scan.tree.entries)
        EXPECT_TRUE(entry.name() != "up" && entry.name() != "self" && entry.name() != "absolute-root");
    ExpectSitemapsName(scan, t.path("site"), pages);
}

TEST_F(HostileLinks, FoldersLinkingToEachOtherEndAfterOneRound)
{
    t.file("site/x/p.html");
    t.file("site/y/q.html");
    link("../y", "site/x/toy");
    link("../x", "site/y/tox");
    // y is first reached as x/toy; y itself is then a second way in.
    const std::vector<std::string> pages = walkPages();
    EXPECT_EQ(pages, (std::vector<std::string>{"x/p.html", "x/toy/q.html"}));
    ExpectSitemapsName(scan, t.path("site"), pages);
}

TEST_F(HostileLinks, LinksThatLoopAmongThemselvesAreSkipped)
{
    t.file("site/real.html");
    link("l2.html", "site/l1.html");
    link("l1.html", "site/l2.html");
    link("me", "site/me");
    const std::vector<std::string> pages = walkPages();
    EXPECT_EQ(pages, std::vector<std::string>{"real.html"});
    EXPECT_EQ(scan.fileTotal, 1);
}

TEST_F(HostileLinks, DanglingLinkIsSkipped)
{
    t.file("site/real.html");
    link("missing.html", "site/gone.html");
    link("/nonexistent/folder", "site/gone-folder");
    const std::vector<std::string> pages = walkPages();
    EXPECT_EQ(pages, std::vector<std::string>{"real.html"});
    EXPECT_EQ(scan.fileTotal, 1);
    ExpectSitemapsName(scan, t.path("site"), pages);
}

TEST_F(HostileLinks, LinkToAFileIsThatFile)
{
    t.file("site/real.html");
    link("real.html", "site/alias.html");
    link(t.path("outside/far.html"), "site/far.html");
    t.file("outside/far.html");
    const std::vector<std::string> pages = walkPages();
    EXPECT_EQ(pages, (std::vector<std::string>{"alias.html", "far.html", "real.html"}));
    ExpectSitemapsName(scan, t.path("site"), pages);
}

// Each folder is walked once, by the first way in that the walk meets.
struct RepeatCase {
    const char* label;
    std::function<void(const TempTree&)> build;
    std::vector<std::string> pages;
};

class RepeatedFolders : public testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatedFolders, AreWalkedOnceTheFirstWayIn)
{
    TempTree t;
    t.folder("site");
    GetParam().build(t);
    ScanResult scan;
    WalkError error;
    ASSERT_EQ(Walk(scan, t.path("site"), &error), 0) << error.path << ": " << error.message;
    const std::vector<std::string> pages = PagesOf(scan);
    EXPECT_EQ(pages, GetParam().pages);
    ExpectSitemapsName(scan, t.path("site"), pages);
}

INSTANTIATE_TEST_SUITE_P(
    Links, RepeatedFolders,
    testing::Values(
        RepeatCase{"TwoLinksToOneFolder",
                   [](const TempTree& t) {
                       t.file("site/a/p.html");
                       ::symlink("a", t.path("site/l1").c_str());
                       ::symlink(t.path("site/a").c_str(), t.path("site/l2").c_str());
                   },
                   {"a/p.html"}},
        RepeatCase{"ALinkBeforeTheFolderWins",
                   [](const TempTree& t) {
                       t.file("site/b/p.html");
                       ::symlink("b", t.path("site/a").c_str());
                   },
                   {"a/p.html"}},
        // Ten links per level to the next level: 10^3 ways down to level 3.
        RepeatCase{"TenLinksPerLevelToTheNext",
                   [](const TempTree& t) {
                       for (int level = 0; level <= 3; ++level) {
                           t.file("site/" + std::to_string(level) + "/p.html");
                           for (char c = 'a'; level < 3 && c <= 'j'; ++c)
                               ::symlink(("../" + std::to_string(level + 1)).c_str(),
                                         t.path("site/" + std::to_string(level) + "/" + c).c_str());
                       }
                   },
                   {"0/a/a/a/p.html", "0/a/a/p.html", "0/a/p.html", "0/p.html"}}),
    [](const testing::TestParamInfo<RepeatCase>& info) { return info.param.label; });

// A link that someone else planted in the site (a shared upload folder, say)
// must not publish what only the running user may read.
struct PlantCase {
    const char* label;
    const char* target;  // below the test's folder
    const char* at;
    // Our own link there, to `oursTo`: what it leads through decides, not its owner.
    const char* ours = nullptr;
    const char* oursTo = nullptr;
};

class PlantedLinks : public testing::TestWithParam<PlantCase> {};

TEST_P(PlantedLinks, AreNotFollowedButCounted)
{
    if (!IsRoot())
        GTEST_SKIP() << "a link of another user can only be made by root here";
    TempTree t;
    t.file("site/index.html");
    t.file("private/secret.html");
    ASSERT_EQ(::chmod(t.root().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(t.path("site").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(t.folder("shared").c_str(), 0777), 0);
    const PlantCase& c = GetParam();
    const ChildOutcome planted = RunInChild(
        [&] { return std::string(::symlink(t.path(c.target).c_str(), t.path(c.at).c_str()) == 0 ? "planted" : "failed"); },
        true);
    if (planted.status == kCannotDropPrivileges)
        GTEST_SKIP() << "cannot become nobody to plant the link";
    ASSERT_EQ(planted.output, "planted");
    if (c.ours) {
        ASSERT_EQ(::symlink(t.path(c.oursTo).c_str(), t.path(c.ours).c_str()), 0);
    }

    ScanResult scan;
    WalkError error;
    ASSERT_EQ(Walk(scan, t.path("site"), &error), 0) << error.path << ": " << error.message;
    EXPECT_EQ(PagesOf(scan), std::vector<std::string>{"index.html"});
    EXPECT_EQ(scan.fileTotal, 1);
    EXPECT_EQ(scan.tree.skippedLinks, 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedLinks,
                         testing::Values(PlantCase{"ToAPrivateFolder", "private", "site/p"},
                                         PlantCase{"ToAPrivateFile", "private/secret.html", "site/s.html"},
                                         PlantCase{"Dangling", "missing", "site/gone.html"},
                                         PlantCase{"BackIntoTheSite", "site", "site/up"},
                                         PlantCase{"ReachedThroughALinkOfOurs", "private", "shared/p", "site/assets",
                                                   "shared/p"},
                                         PlantCase{"InsideThePathOfALinkOfOurs", "private", "shared/p", "site/s.html",
                                                   "shared/p/secret.html"}),
                         [](const testing::TestParamInfo<PlantCase>& info) { return info.param.label; });

// ----- Pipes and sockets

// Open events of the entries of one folder, by name.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& folder)
    {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, folder.c_str(), IN_OPEN);
    }
    ~OpenWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    std::set<std::string> openedNames()
    {
        std::set<std::string> names;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return names;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0)
                    names.insert(event->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int m_fd = -1;
};

int MakeSocket(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(HostilePipesAndSockets, FifoAndSocketAreNeitherOpenedNorListed)
{
    TempTree t;
    const std::string root = t.folder("site");
    t.file("site/real.html");
    ASSERT_EQ(::mkfifo(t.path("site/pipe.html").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("pipe.html", t.path("site/pipe-link.html").c_str()), 0);
    const int socket = MakeSocket(t.path("site/sock.html"));
    ASSERT_GE(socket, 0) << "cannot make a socket file under " << root;

    OpenWatch watch(root);
    ASSERT_TRUE(watch.ok());
    ScanResult scan;
    ASSERT_EQ(Walk(scan, root), 0);  // would block here if the fifo were opened
    const std::set<std::string> opened = watch.openedNames();
    EXPECT_EQ(opened.count("pipe.html"), 0u);
    EXPECT_EQ(opened.count("pipe-link.html"), 0u);
    EXPECT_EQ(opened.count("real.html"), 0u) << "the walk has no reason to open a page";

    EXPECT_EQ(scan.fileTotal, 1);
    for (const FileEntry& entry : scan.tree.entries)
        EXPECT_TRUE(entry.name() == "." || entry.name() == "real.html") << entry.name();
    ExpectSitemapsName(scan, root, {"real.html"});

    // Saving over a fifo named like the sitemap replaces it without opening it.
    ASSERT_EQ(::mkfifo(t.path("site/sitemap.xml").c_str(), 0644), 0);
    SitemapParameters parameters;
    parameters.websiteUrl = kBaseUrl;
    std::string error;
    ASSERT_EQ(SaveSitemap(t.path("site/sitemap.xml"), SitemapFormat::Xml, scan.tree, parameters, &error), 0)
        << error;
    struct stat st;
    ASSERT_EQ(::lstat(t.path("site/sitemap.xml").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(XmlFault(t.read("site/sitemap.xml")), "");
    ::close(socket);
}

TEST(HostilePipesAndSockets, FifoAsSavingFileIsAnErrorNotAHang)
{
    TempTree t;
    ASSERT_EQ(::mkfifo(t.path("saving.dat").c_str(), 0644), 0);
    ProjectTable table;
    std::string error;
    EXPECT_EQ(LoadProjects(table, t.root(), nullptr, &error), -1);
    EXPECT_NE(error.find("saving.dat"), std::string::npos) << error;
    EXPECT_EQ(table.projectCount, 0);
    EXPECT_EQ(table.slots[0].priorityIndex, kDefaultPriority);
}

// ----- Folders that cannot be read

struct LockCase {
    const char* label;
    mode_t mode;
};

void PrintTo(const LockCase& c, std::ostream* out)
{
    *out << c.label;
}

class UnreadableFolder : public testing::TestWithParam<LockCase> {};

// What a walk run as an unprivileged user reports, as "result|path|message|walked|entries".
std::string WalkAsUser(const std::string& root)
{
    ScanResult scan;
    WalkError error;
    bool same = false;
    const int result = Walk(scan, root, &error, &same);
    return std::to_string(result) + "|" + error.path + "|" + error.message + "|"
         + (scan.tree.walked ? "walked" : "not walked") + "|" + std::to_string(scan.tree.entries.size())
         + (same ? "" : "|one thread differs");
}

TEST_P(UnreadableFolder, FailsTheWalkNamingTheFolderAndTheReason)
{
    TempTree t;
    ASSERT_EQ(::chmod(t.root().c_str(), 0755), 0);
    const std::string root = t.folder("site");
    t.file("site/open/page.html");
    t.file("site/locked/secret.html");
    t.file("site/zzz.html");
    ASSERT_EQ(::chmod(t.path("site/locked").c_str(), GetParam().mode), 0);

    const ChildOutcome outcome = RunInChild([&] { return WalkAsUser(root); }, true);
    if (outcome.exited && outcome.status == kCannotDropPrivileges)
        GTEST_SKIP() << "running as root and cannot become nobody: permission bits would not apply";
    ASSERT_TRUE(outcome.exited && outcome.status == 0) << "signal " << outcome.signal;
    const std::string expected = "-1|" + Canonical(root) + "/locked|" + platform::SystemMessage(EACCES)
                               + "|not walked|0";
    EXPECT_EQ(outcome.output, expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, UnreadableFolder,
                         testing::Values(LockCase{"NoPermissionAtAll", 0000},
                                         LockCase{"ReadableButNotSearchable", 0444},
                                         LockCase{"SearchableButNotReadable", 0111},
                                         LockCase{"WritableOnly", 0222}),
                         [](const testing::TestParamInfo<LockCase>& info) { return info.param.label; });

TEST(UnreadableFiles, AreListedSinceTheWalkNeverOpensThem)
{
    TempTree t;
    ASSERT_EQ(::chmod(t.root().c_str(), 0755), 0);
    const std::string root = t.folder("site");
    t.file("site/private.html");
    ASSERT_EQ(::chmod(t.path("site/private.html").c_str(), 0000), 0);
    const ChildOutcome outcome = RunInChild([&] { return WalkAsUser(root); }, true);
    if (outcome.exited && outcome.status == kCannotDropPrivileges)
        GTEST_SKIP() << "running as root and cannot become nobody: permission bits would not apply";
    EXPECT_EQ(outcome.output, "0|||walked|2");
}

// A limit on processes leaves the walk without threads: it lists every
// folder itself.
TEST(NoThreads, TheWalkListsEveryFolderItself)
{
    TempTree t;
    ASSERT_EQ(::chmod(t.root().c_str(), 0755), 0);
    const std::string root = t.folder("site");
    for (int i = 0; i < 20; ++i)
        t.file("site/" + std::to_string(i) + "/p.html");
    const ChildOutcome outcome = RunInChild(
        [&] {
            rlimit processes{1, 1};
            ::setrlimit(RLIMIT_NPROC, &processes);
            ScanResult scan;
            bool same = false;
            const int result = Walk(scan, root, nullptr, &same);
            return std::to_string(result) + " " + std::to_string(scan.fileTotal) + (same ? "" : " one thread differs");
        },
        true);
    if (outcome.exited && outcome.status == kCannotDropPrivileges)
        GTEST_SKIP() << "running as root and cannot become nobody: the limit would not apply";
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
    EXPECT_EQ(outcome.output, "0 20");
}

// ----- Entries that change while the walk runs

struct ChangeCase;
void PrintTo(const ChangeCase& c, std::ostream* out);

struct ChangeCase {
    const char* label;
    std::function<void(const TempTree&)> change;  // run at the first progress report
    std::vector<std::string> pages;               // what the sitemap then lists
};

void PrintTo(const ChangeCase& c, std::ostream* out)
{
    *out << c.label;
}

class ChangedDuringWalk : public testing::TestWithParam<ChangeCase> {};

struct ChangeContext {
    const TempTree* tree = nullptr;
    const ChangeCase* change = nullptr;
    int calls = 0;
};

int ChangeOnFirstReport(std::size_t, void* data)
{
    auto& context = *static_cast<ChangeContext*>(data);
    if (context.calls++ == 0)
        context.change->change(*context.tree);
    return 0;
}

TEST_P(ChangedDuringWalk, EndsWithWhatIsStillThere)
{
    for (const unsigned jobs : kJobs) {
        TempTree t;
        const std::string root = t.folder("site");
        t.file("site/a/x.html");
        t.file("site/b/y.html");
        t.file("site/c/z.html");
        t.file("site/top.html");
        ChangeContext context{&t, &GetParam()};
        ScanResult scan;
        WalkError error;
        ASSERT_EQ(WalkAndCount(scan, root, &error, ChangeOnFirstReport, &context, {jobs, {}}), 0)
            << error.path << ": " << error.message;
        ASSERT_GE(context.calls, 1);
        const std::vector<std::string> pages = PagesOf(scan);
        EXPECT_EQ(pages, GetParam().pages) << jobs << " threads";
        ExpectSitemapsName(scan, root, pages);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedDuringWalk,
    testing::Values(
        ChangeCase{"FolderRemovedAfterItWasListed",
                   [](const TempTree& t) { RemoveTree(t.path("site/b")); },
                   {"a/x.html", "c/z.html", "top.html"}},
        ChangeCase{"FolderReplacedByAFile",
                   [](const TempTree& t) {
                       RemoveTree(t.path("site/b"));
                       t.file("site/b", "now a file");
                   },
                   {"a/x.html", "c/z.html", "top.html"}},
        ChangeCase{"FolderReplacedByALinkBackToTheRoot",
                   [](const TempTree& t) {
                       RemoveTree(t.path("site/b"));
                       ::symlink(".", t.path("site/b").c_str());
                   },
                   {"a/x.html", "c/z.html", "top.html"}},
        ChangeCase{"FileRemovedBeforeItsFolderIsListed",
                   [](const TempTree& t) { ::unlink(t.path("site/c/z.html").c_str()); },
                   {"a/x.html", "b/y.html", "top.html"}},
        ChangeCase{"FileAddedBeforeItsFolderIsListed",
                   [](const TempTree& t) { t.file("site/c/new.html"); },
                   {"a/x.html", "b/y.html", "c/new.html", "c/z.html", "top.html"}}),
    [](const testing::TestParamInfo<ChangeCase>& info) { return info.param.label; });

TEST(ChangedDuringWalkCancel, ACancelledWalkLeavesNothingBehind)
{
    TempTree t;
    for (int i = 0; i < 50; ++i)
        t.file("site/" + std::to_string(i) + "/x.html");
    // At the first report, and later while other threads list folders.
    for (const unsigned jobs : kJobs) {
        for (int cancelAt : {1, 5}) {
            ScanResult scan;
            WalkError error;
            auto cancel = [](std::size_t, void* left) { return --*static_cast<int*>(left) == 0 ? 1 : 0; };
            EXPECT_EQ(WalkAndCount(scan, t.path("site"), &error, cancel, &cancelAt, {jobs, {}}), -1);
            EXPECT_EQ(cancelAt, 0);
            EXPECT_FALSE(error.message.empty());
            EXPECT_FALSE(scan.tree.walked);
            EXPECT_TRUE(scan.tree.entries.empty());
            EXPECT_EQ(scan.fileTotal, 0);
        }
    }
}

TEST(ChangedDuringWalkLinks, ALinkPointedElsewhereAfterItWasListedIsSkipped)
{
    TempTree t;
    t.file("site/top.html");
    t.file("outside/o.html");
    t.file("private/secret.html");
    auto repoint = [](std::size_t, void* data) {
        const auto& tree = *static_cast<const TempTree*>(data);
        ::unlink(tree.path("site/l").c_str());
        return ::symlink(tree.path("private").c_str(), tree.path("site/l").c_str());
    };
    for (const unsigned jobs : kJobs) {
        ::unlink(t.path("site/l").c_str());
        ASSERT_EQ(::symlink(t.path("outside").c_str(), t.path("site/l").c_str()), 0);
        ScanResult scan;
        WalkError error;
        ASSERT_EQ(WalkAndCount(scan, t.path("site"), &error, repoint, &t, {jobs, {}}), 0)
            << error.path << ": " << error.message;
        EXPECT_EQ(PagesOf(scan), std::vector<std::string>{"top.html"});
    }
}

// ----- Paths past the system's limit

// Memory when the system offers it: ext4 takes minutes to remove 100,000
// nested folders, a tmpfs a second or two.
std::string MemoryFolder()
{
    return ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "";
}

class DeepTree : public testing::Test {
protected:
    ~DeepTree() override { RemoveTree(t.path("site")); }
    TempTree t{MemoryFolder()};
};

TEST_F(DeepTree, PathLongerThan4096BytesIsWalkedAndWritten)
{
    const std::string root = t.folder("site");
    std::vector<std::string> names;
    std::string relative;
    for (int i = 0; i < 20; ++i) {
        names.push_back(std::string(230, static_cast<char>('a' + i)));
        relative += names.back() + "/";
    }
    const int fd = MakeDeepFolders(root, names);
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, "deep page.html", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "x", 1), 1);
    ::close(file);
    ::close(fd);
    relative += "deep page.html";
    ASSERT_GT(relative.size() + root.size(), static_cast<std::size_t>(PATH_MAX));

    ScanResult scan;
    WalkError error;
    ASSERT_EQ(Walk(scan, root, &error), 0) << error.path << ": " << error.message;
    EXPECT_EQ(scan.fileTotal, 1);
    EXPECT_EQ(RelativePath(scan.tree.entries.back()), "/" + relative);
    EXPECT_EQ(scan.tree.fullPath(scan.tree.entries.back()), Canonical(root) + "/" + relative);

    // Its URL is longer than a sitemap may hold: the page is left out and
    // counted, so every file stays valid.
    ExpectSitemapsName(scan, root, {});
    SitemapParameters parameters;
    parameters.websiteUrl = kBaseUrl;
    std::string message;
    SaveReport report;
    ASSERT_EQ(SaveSitemap(t.path("site/sitemap.txt"), SitemapFormat::Text, scan.tree, parameters, &message,
                          &report),
              0)
        << message;
    EXPECT_EQ(report.tooLong, 1);
    EXPECT_EQ(t.read("site/sitemap.txt"), "");
}

TEST_F(DeepTree, NestingPastTheOpenFileLimitEndsInAClearResult)
{
    const std::string root = t.folder("site");
    const std::vector<std::string> names(300, "d");
    const int fd = MakeDeepFolders(root, names);
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, "p.html", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "x", 1), 1);
    ::close(file);
    ::close(fd);

    // Fewer descriptors than levels: either the walk copes, or it fails
    // naming a folder below the root and the system's reason. Never a crash.
    const ChildOutcome outcome = RunInChild([&] {
        rlimit limit{64, 64};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ScanResult scan;
        WalkError error;
        bool same = false;
        const int result = Walk(scan, root, &error, &same);
        if (!same)
            return std::string("one thread differs");
        if (result == 0)
            return std::string(scan.fileTotal == 1 && scan.tree.entries.size() == 302 ? "complete" : "incomplete");
        if (error.path.rfind(Canonical(root) + "/d/d/", 0) == 0 && !error.message.empty()
            && !scan.tree.walked && scan.tree.entries.empty())
            return "failed: " + error.message;
        return "unclear failure: " + error.path + ": " + error.message;
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
    EXPECT_EQ(outcome.output, "complete");
}

// Shapes where folders let go for want of descriptors are needed again: a
// folder with a subfolder after the deep one, reached straight or through
// links (whose ".." is not the folder they were reached from).
struct ShapeCase {
    const char* label;
    std::function<void(const TempTree&)> build;
};

class FewDescriptors : public testing::TestWithParam<ShapeCase> {};

TEST_P(FewDescriptors, GiveTheSameWalkAsMany)
{
    TempTree t;
    t.folder("site");
    GetParam().build(t);
    const std::string root = t.path("site");
    auto walkOrder = [&] {
        ScanResult scan;
        WalkError error;
        bool same = false;
        if (Walk(scan, root, &error, &same) != 0 || !same)
            return "failed: " + error.path + ": " + error.message + (same ? "" : " (one thread differs)");
        std::string order;
        for (const FileEntry& entry : scan.tree.entries)
            order += RelativePath(entry) + "\n";
        return order;
    };
    const std::string expected = walkOrder();
    ASSERT_EQ(expected.rfind("failed", 0), std::string::npos) << expected;
    const ChildOutcome outcome = RunInChild([&] {
        rlimit limit{64, 64};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        return walkOrder();
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
    EXPECT_EQ(outcome.output, expected);
    RemoveTree(root);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FewDescriptors,
    testing::Values(
        ShapeCase{"SideFolderAtEveryLevel",
                  [](const TempTree& t) {
                      std::string path = "site";
                      for (int i = 0; i < 150; ++i) {
                          t.file(path + "/e/p.html");
                          path += "/d";
                      }
                      t.folder(path);
                  }},
        ShapeCase{"EveryLevelThroughALink",
                  [](const TempTree& t) {
                      ::symlink("../store/0", t.path("site/chain").c_str());
                      for (int i = 0; i < 100; ++i) {
                          const std::string level = "store/" + std::to_string(i);
                          t.file(level + "/z/p.html");
                          ::symlink(("../" + std::to_string(i + 1)).c_str(), t.path(level + "/a").c_str());
                      }
                      t.folder("store/100");
                  }}),
    [](const testing::TestParamInfo<ShapeCase>& info) { return info.param.label; });

// A recursive walk ran out of stack at about 20,000 levels; exclusions
// decided from every folder's whole path took memory and time by the square
// of the depth.
TEST_F(DeepTree, AHundredThousandLevelsAreWalkedAndWritten)
{
    const std::string root = t.folder("site");
    constexpr int kLevels = 100000;
    const int fd = MakeDeepFolders(root, std::vector<std::string>(kLevels, "d"));
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, "p.html", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "x", 1), 1);
    ::close(file);
    ::close(fd);

    const ChildOutcome outcome = RunInChild([&] {
        ScanResult scan;
        WalkError error;
        bool same = false;
        if (Walk(scan, root, &error, &same) != 0 || !same)
            return "failed: " + error.message + (same ? "" : " (one thread differs)");
        std::string written = std::to_string(scan.tree.entries.size()) + " entries, " + std::to_string(scan.fileTotal)
                            + " file";
        SitemapParameters parameters;
        parameters.websiteUrl = kBaseUrl;
        for (const auto& exclude : {std::vector<std::string>{}, {"x", "**/d/x.html", "/d/d/x"}, {"d/"}}) {
            parameters.options.exclude = exclude;
            std::ostringstream out;
            SaveReport report;
            if (WriteSitemap(out, SitemapFormat::Xml, scan.tree, parameters, &report) != 0)
                return std::string("not written");
            written += ", " + std::to_string(report.tooLong) + " too long";
        }
        return written;
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
    // The page is left out for its URL's length unless a folder above it is.
    EXPECT_EQ(outcome.output, std::to_string(kLevels + 2) + " entries, 1 file, 1 too long, 1 too long, 0 too long");
}

}  // namespace
