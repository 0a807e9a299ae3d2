// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "check/site_files.h"
#include "check/sitemap_file.h"
#include "head/head.h"
#include "history/history.h"
#include "platform/listing.h"
#include "platform/paths.h"
#include "robots/rules.h"
#include "sitemap/url.h"
#include "text/text.h"

namespace larkspur {

namespace {

const std::vector<CheckKindInfo> kKinds = {
    {CheckKind::Unreadable, "unreadable", "sitemap files that cannot be read", false},
    {CheckKind::NotWellFormed, "not-well-formed", "XML that is not well-formed", false},
    {CheckKind::NotValid, "not-valid", "not valid as a sitemap", false},
    {CheckKind::TooManyUrls, "too-many-urls", "files over 50,000 entries", false},
    {CheckKind::TooLarge, "too-large", "files over the byte limit", false},
    {CheckKind::UrlTooLong, "url-too-long", "URLs longer than 2,048 characters", false},
    {CheckKind::OutsideBase, "outside-base", "URLs outside the site's address", false},
    {CheckKind::NoFile, "no-file", "URLs no file in the folder answers", false},
    {CheckKind::Duplicate, "duplicate", "URLs listed twice, or pages listed under two URLs", false},
    {CheckKind::Missing, "missing", "pages the sitemap leaves out", false},
    {CheckKind::Noindex, "noindex", "listed pages marked noindex", false},
    {CheckKind::CanonicalElsewhere, "canonical-elsewhere", "listed pages whose canonical URL is another", false},
    {CheckKind::RobotsDisallowed, "robots-disallowed", "listed pages robots.txt disallows", false},
    {CheckKind::LastmodInvalid, "lastmod-invalid", "lastmod that is not a W3C date", false},
    {CheckKind::LastmodFuture, "lastmod-future", "lastmod in the future", false},
    {CheckKind::LastmodStale, "lastmod-stale", "lastmod older than the page's last change", false},
    {CheckKind::OldNamespace, "old-namespace", "hint: the 0.84 namespace", true},
};

// URLs as they are compared with each other: scheme and host in any case
// are one. The set holds views of the URLs read, not copies.
std::size_t HostEnd(std::string_view url)
{
    return std::min(url.find_first_of("/?#", HttpSchemeEnd(url)), url.size());
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct UrlKeyHash {
    std::size_t operator()(std::string_view url) const
    {
        const std::size_t hostEnd = HostEnd(url);
        std::size_t hash = 14695981039346656037ull;
        for (std::size_t i = 0; i < hostEnd; ++i)
            hash = (hash ^ static_cast<unsigned char>(Lower(url[i]))) * 1099511628211ull;
        return hash ^ std::hash<std::string_view>()(url.substr(hostEnd));
    }
};

struct UrlKeyEqual {
    bool operator()(std::string_view a, std::string_view b) const
    {
        const std::size_t hostEnd = HostEnd(a);
        if (a.size() != b.size() || HostEnd(b) != hostEnd || a.substr(hostEnd) != b.substr(hostEnd))
            return false;
        for (std::size_t i = 0; i < hostEnd; ++i) {
            if (Lower(a[i]) != Lower(b[i]))
                return false;
        }
        return true;
    }
};

// What the check of one site shares.
struct Checker {
    Checker(const ScanTree& t, const SitemapParameters& p, CheckReport& r)
        : tree(t), parameters(p), report(r), files(t)
    {
    }

    void add(CheckKind kind, std::string url, std::string detail)
    {
        report.findings.push_back({kind, std::move(url), std::move(detail)});
    }

    // The decoded path of `url` below the site's address; false when it is
    // not below it.
    bool below(std::string_view url, std::string& path) const
    {
        // Most URLs start with the site's address as it is written.
        if (url.starts_with(base) && url.find_first_of("?#", base.size()) == std::string_view::npos) {
            PercentDecode(url.substr(base.size()), path);
            return true;
        }
        UrlSplit split;
        if (!SplitHttpUrl(url, split) || split.origin != site.origin)
            return false;
        if (split.path + "/" == site.path) {
            path.clear();  // the site's own address without its final "/"
            return true;
        }
        if (!split.path.starts_with(site.path))
            return false;
        path = split.path.substr(site.path.size());
        return true;
    }

    const ScanTree& tree;
    const SitemapParameters& parameters;
    CheckReport& report;
    SiteFiles files;
    std::string base;
    UrlSplit site;
    RobotsRules robots;
    std::int64_t now = 0;
    // Every URL listed, once; views of the URLs in the list read.
    std::unordered_set<std::string_view, UrlKeyHash, UrlKeyEqual> listedUrls;
};

// A URL listed by a urlset, with the file that answers it.
struct Listed {
    SitemapLoc loc;
    const FileEntry* entry = nullptr;
};

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The files of a folder as the walk reads them: a link is followed only
// when it belongs to the user or to root, so that a link planted in a shared
// web root cannot have its target's text shown in the report.
std::vector<std::string> FilesIn(const std::string& folder)
{
    platform::Folder open;
    platform::Listing listing;
    std::string error;
    std::vector<std::string> files;
    if (open.open(folder, error) == 0 && open.list(listing, error) == 0) {
        for (const platform::DirEntry& entry : listing.entries) {
            if (entry.kind == platform::EntryKind::File)
                files.emplace_back(listing.name(entry));
        }
    }
    return files;
}

bool Holds(const std::vector<std::string>& files, const std::string& name)
{
    return std::find(files.begin(), files.end(), name) != files.end();
}

// The sitemap file: the one named, as a file or as a URL a file of the site
// answers, or the first of the default names.
int FindSitemap(const Checker& checker, const std::string& named, std::string& path, std::string& error)
{
    const std::string& root = checker.tree.root;
    if (named.empty()) {
        const std::vector<std::string> files = FilesIn(root);
        for (const std::string& name : DefaultSitemapNames(checker.parameters.options)) {
            path = platform::JoinPath(root, name);
            if (Holds(files, name))
                return 0;
        }
        error = "no sitemap in " + root + " (looked for";
        for (const std::string& name : DefaultSitemapNames(checker.parameters.options))
            error += " " + name;
        error += "); name one with --sitemap";
        return -1;
    }
    if (HttpSchemeEnd(named) == 0 && platform::Exists(named) && !platform::IsDirectory(named)) {
        path = named;
        return 0;
    }
    const std::string url = HttpSchemeEnd(named) != 0 ? named : ResolveUrl(checker.base, named);
    std::string below;
    const FileEntry* entry = checker.below(url, below) ? checker.files.answer(below) : nullptr;
    if (!entry) {
        error = named + ": no such file, and no file in " + root + " answers " + url;
        return -1;
    }
    path = checker.tree.fullPath(*entry);
    return 0;
}

// Where a part an index lists is read from: the file of the site that
// answers its URL, else the file of its name beside the index (an index
// written outside the site folder lists its parts at the site's address).
std::string PartPath(const Checker& checker, const std::string& index, const std::string& url)
{
    std::string below;
    if (checker.below(url, below)) {
        if (const FileEntry* entry = checker.files.answer(below))
            return checker.tree.fullPath(*entry);
    }
    std::string name = PercentDecoded(UrlPathAndQuery(url));
    name.erase(0, name.rfind('/') + 1);
    return Holds(FilesIn(FolderOf(index)), name) ? platform::JoinPath(FolderOf(index), name) : std::string();
}

void CheckDate(Checker& checker, const std::string& url, const SitemapLoc& loc, std::int64_t fileTime = -1)
{
    if (!loc.hasLastmod)
        return;
    std::int64_t earliest = 0, latest = 0;
    if (!ParseW3cDate(loc.lastmod, earliest, latest))
        checker.add(CheckKind::LastmodInvalid, url, "'" + loc.lastmod + "'");
    else if (earliest > checker.now)
        checker.add(CheckKind::LastmodFuture, url, loc.lastmod);
    else if (fileTime >= 0 && latest < fileTime)
        checker.add(CheckKind::LastmodStale, url, loc.lastmod + "; the page changed " + FormatDate(fileTime));
}

// Runs `work(i)` for every i below `count`, `chunk` at a time, on a few
// threads: reading thousands of small files is mostly waiting for the
// system, and a large sitemap's parts are independent of each other.
template <typename Work>
void ParallelFor(std::size_t count, std::size_t chunk, const Work& work)
{
    const std::size_t threads = std::min<std::size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u),
                                                      (count + chunk - 1) / chunk);
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t first; (first = next.fetch_add(chunk)) < count;) {
            for (std::size_t i = first; i < std::min(first + chunk, count); ++i)
                work(i);
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& thread : pool)
        thread.join();
}

// Reads the sitemap and, when it is an index, its parts (side by side); the
// files' own faults and the parts' URLs are checked on the way. False when
// some of what it lists could not be read.
bool ReadSitemaps(Checker& checker, const std::string& first, std::vector<Listed>& listed)
{
    SitemapFile file;
    checker.report.files.push_back(first);
    if (ReadSitemapFile(first, file, checker.report.findings) != 0)
        return false;
    std::vector<SitemapFile> files;
    bool whole = true;
    if (!file.index) {
        files.push_back(std::move(file));
    } else {
        std::unordered_set<std::string> parts;
        for (const SitemapLoc& loc : file.locs) {
            CheckDate(checker, loc.loc, loc);
            std::string below;
            if (!checker.below(loc.loc, below)) {
                checker.add(CheckKind::OutsideBase, loc.loc, "a part of the index, not below " + checker.base);
                continue;
            }
            if (!parts.insert(loc.loc).second) {
                checker.add(CheckKind::Duplicate, loc.loc, "a part the index lists again");
                continue;
            }
            const std::string path = PartPath(checker, first, loc.loc);
            if (path.empty())
                checker.add(CheckKind::NoFile, loc.loc, "a part of the index");
            else
                checker.report.files.push_back(path);
        }
        if (checker.report.files.size() != file.locs.size() + 1)
            whole = false;
        files.resize(checker.report.files.size() - 1);
        std::vector<std::vector<CheckFinding>> faults(files.size());
        std::vector<char> read(files.size());
        ParallelFor(files.size(), 1, [&](std::size_t i) {
            read[i] = ReadSitemapFile(checker.report.files[i + 1], files[i], faults[i]) == 0;
        });
        for (std::size_t i = 0; i < files.size(); ++i) {
            checker.report.findings.insert(checker.report.findings.end(), faults[i].begin(), faults[i].end());
            whole = whole && read[i] && !files[i].index;
            if (files[i].index) {
                checker.add(CheckKind::NotValid, checker.report.files[i + 1],
                            "an index listed by an index: its parts are not read");
                files[i].locs.clear();
            }
        }
    }
    for (SitemapFile& part : files) {
        for (SitemapLoc& loc : part.locs)
            listed.push_back({std::move(loc), nullptr});
    }
    return whole && std::none_of(checker.report.findings.begin(), checker.report.findings.end(),
                                 [](const CheckFinding& f) { return f.kind == CheckKind::NotWellFormed; });
}

// With dates from the pages, when each listed page last changed; empty
// when they come from nowhere or git cannot say.
std::unordered_map<const FileEntry*, std::int64_t> PageTimes(Checker& checker, const std::vector<Listed>& listed)
{
    std::unordered_map<const FileEntry*, std::int64_t> times;
    const LastmodSource source = checker.parameters.options.lastmod;
    if (source == LastmodSource::None)
        return times;
    for (const Listed& item : listed) {
        if (item.entry && item.loc.hasLastmod)
            times.emplace(item.entry, item.entry->mtime);
    }
    if (source != LastmodSource::Git || times.empty())
        return times;
    std::vector<const FileEntry*> entries;
    std::vector<std::string> paths;
    for (const auto& [entry, time] : times) {
        entries.push_back(entry);
        paths.push_back(RelativePath(*entry).substr(1));
    }
    CommitDates dates;
    std::string error;
    if (ReadCommitDates(checker.tree.root, paths, dates, error) != 0) {
        checker.report.notes.push_back("lastmod not compared with the pages' commits: " + error);
        return {};
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (dates.dates[i] >= 0)
            times[entries[i]] = dates.dates[i];
    }
    return times;
}

bool IsPage(const FileEntry& entry)
{
    return IsPageExtension(Extension(entry.name));
}

// What a listed page's head says.
struct HeadSays {
    bool noindex = false;
    bool canonicalElsewhere = false;
    std::string canonical;
};

// The URLs of a urlset: where they lead, and what the pages there say.
void CheckListed(Checker& checker, std::vector<Listed>& listed,
                 std::unordered_map<const FileEntry*, const std::string*>& firstUrl)
{
    firstUrl.reserve(listed.size());
    checker.listedUrls.reserve(listed.size());
    std::string below;
    std::vector<bool> counted(listed.size(), false);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        Listed& item = listed[i];
        const std::string& url = item.loc.loc;
        if (url.size() > kMaxUrlLength)
            checker.add(CheckKind::UrlTooLong, url, std::to_string(url.size()) + " characters");
        if (!checker.below(url, below)) {
            checker.add(CheckKind::OutsideBase, url, "not below " + checker.base);
            continue;
        }
        if (!checker.listedUrls.insert(url).second) {
            checker.add(CheckKind::Duplicate, url, "listed again");
            continue;
        }
        counted[i] = true;
        item.entry = checker.files.answer(below);
        if (!item.entry) {
            checker.add(CheckKind::NoFile, url, "");
        } else if (const auto [first, fresh] = firstUrl.emplace(item.entry, &url); !fresh) {
            checker.add(CheckKind::Duplicate, url, "the same file as " + *first->second);
        }
        if (!checker.robots.empty() && !checker.robots.allows(UrlPathAndQuery(url)))
            checker.add(CheckKind::RobotsDisallowed, url, "");
    }

    std::vector<HeadSays> heads(listed.size());
    ParallelFor(listed.size(), 64, [&](std::size_t i) {
        const Listed& item = listed[i];
        if (!counted[i] || !item.entry || !IsPage(*item.entry))
            return;
        PageHead head;
        thread_local std::string buffer;
        std::string error;
        if (ReadPageHead(checker.tree.fullPath(*item.entry), head, buffer, error) != 0)
            return;
        heads[i].noindex = head.noindex;
        if (CanonicalElsewhere(item.loc.loc, head)) {
            heads[i].canonicalElsewhere = true;
            heads[i].canonical = std::move(head.canonical);
        }
    });
    const auto times = PageTimes(checker, listed);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const Listed& item = listed[i];
        const auto time = counted[i] && item.entry ? times.find(item.entry) : times.end();
        CheckDate(checker, item.loc.loc, item.loc, time == times.end() ? -1 : time->second);
        if (heads[i].noindex)
            checker.add(CheckKind::Noindex, item.loc.loc, "");
        if (heads[i].canonicalElsewhere)
            checker.add(CheckKind::CanonicalElsewhere, item.loc.loc, "names " + heads[i].canonical);
    }
}

// The URLs of the pages Larkspur would list under the site's options, one a
// line, before any head is read. They depend on the tree alone: they are
// written on a thread of their own while the sitemap is read.
struct SelectedPages {
    std::string text;
    std::string error;
    int result = 0;

    void write(const ScanTree& tree, SitemapParameters parameters)
    {
        SitemapOptions& options = parameters.options;
        options.respectRobots = options.canonicalOnly = options.robotsTxt = options.gzip = false;
        options.lastmod = LastmodSource::None;
        std::ostringstream urls;
        result = WriteSitemap(urls, SitemapFormat::Text, tree, parameters, nullptr, {}, &error);
        text = std::move(urls).str();
    }
};

// The pages Larkspur would list under the site's options that no listed URL
// leads to. The writer gives the URLs; heads are read, for the options that
// need them, only for the pages not listed.
void CheckMissing(Checker& checker, const std::unordered_map<const FileEntry*, const std::string*>& answered,
                  const SelectedPages& pages)
{
    const bool respectRobots = checker.parameters.options.respectRobots;
    const bool canonicalOnly = checker.parameters.options.canonicalOnly;
    if (pages.result != 0) {
        checker.report.notes.push_back("pages left out not looked for: " + pages.error);
        return;
    }
    const std::string& text = pages.text;
    std::string error;
    PageHead head;
    std::string buffer, below;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        const std::string_view url = std::string_view(text).substr(start, end - start);
        start = end + 2;
        ++checker.report.pages;
        // Written as Larkspur writes it (the host in lower case), or
        // another URL that leads to the page.
        if (checker.listedUrls.count(url) != 0)
            continue;
        const FileEntry* entry = checker.below(url, below) ? checker.files.answer(below) : nullptr;
        if (!entry || answered.count(entry) != 0)
            continue;
        // Left out as the options say: by robots.txt, or by the page's head.
        if (respectRobots && !checker.robots.empty() && !checker.robots.allows(UrlPathAndQuery(url)))
            continue;
        if ((respectRobots || canonicalOnly) && IsPage(*entry)
            && ReadPageHead(checker.tree.fullPath(*entry), head, buffer, error) == 0
            && ((respectRobots && head.noindex) || (canonicalOnly && CanonicalElsewhere(url, head))))
            continue;
        checker.add(CheckKind::Missing, std::string(url), RelativePath(*entry).substr(1));
    }
}

}  // namespace

const std::vector<CheckKindInfo>& CheckKinds()
{
    return kKinds;
}

const CheckKindInfo& KindInfo(CheckKind kind)
{
    return kKinds[static_cast<std::size_t>(kind)];
}

long long CheckReport::count(CheckKind kind) const
{
    return std::count_if(findings.begin(), findings.end(), [&](const CheckFinding& f) { return f.kind == kind; });
}

bool CheckReport::problems() const
{
    return std::any_of(findings.begin(), findings.end(), [](const CheckFinding& f) { return !KindInfo(f.kind).hint; });
}

std::vector<std::string> DefaultSitemapNames(const SitemapOptions& options)
{
    std::vector<std::string> names{options.gzip ? "sitemap.xml.gz" : "sitemap.xml"};
    for (const char* name : {"sitemap.xml", "sitemap.xml.gz", "sitemap_index.xml", "sitemap-index.xml",
                             "sitemap.txt", "sitemap.txt.gz"}) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.emplace_back(name);
    }
    return names;
}

int CheckSitemap(const ScanTree& tree, const SitemapParameters& parameters, const std::string& sitemap,
                 CheckReport& report, std::string& error, std::int64_t now)
{
    report = {};
    Checker checker(tree, parameters, report);
    if (!tree.walked || NormalizeBaseUrl(parameters.websiteUrl, checker.base) != 0
        || !SplitHttpUrl(checker.base, checker.site)) {
        error = "the site's URL is not valid";
        return -1;
    }
    checker.now = now >= 0 ? now
                           : std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    std::string first;
    if (FindSitemap(checker, sitemap, first, error) != 0)
        return -1;
    std::string reason;
    if (ReadSiteRobotsRules(tree.root, checker.base, parameters.options.robotsAgent, checker.robots,
                            reason) != 0)
        report.notes.push_back(reason);

    SelectedPages pages;
    std::jthread pagesWriter([&] { pages.write(tree, parameters); });
    std::vector<Listed> listed;
    const bool whole = ReadSitemaps(checker, first, listed);
    report.urls = static_cast<long long>(listed.size());
    std::unordered_map<const FileEntry*, const std::string*> answered;  // the first URL of each page listed
    CheckListed(checker, listed, answered);
    // A sitemap not read whole would have every page it could not show
    // reported as left out.
    pagesWriter.join();
    if (whole)
        CheckMissing(checker, answered, pages);
    else
        report.notes.push_back("pages left out not looked for: the sitemap could not be read whole");
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return a.kind < b.kind; });
    return 0;
}

}  // namespace larkspur
