// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/check.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "check/checker.h"
#include "check/listed_urls.h"
#include "check/missing_pages.h"
#include "head/head.h"
#include "platform/listing.h"
#include "platform/paths.h"

namespace larkspur {

using namespace check_detail;

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
// `beside` holds the files of the index's folder outside the site, listed
// when first needed; none for an index in the site folder, which is served
// beside its parts: a part no file answers is not there for a crawler either.
using IndexFolder = std::optional<std::unordered_set<std::string>>;
std::string PartPath(const Checker& checker, const std::string& index, const std::string& url,
                     bool indexInSite, IndexFolder& beside)
{
    std::string below;
    if (checker.below(url, below)) {
        if (const FileEntry* entry = checker.files.answer(below))
            return checker.tree.fullPath(*entry);
    }
    if (indexInSite)
        return {};
    std::string name = PercentDecoded(UrlPathAndQuery(url));
    name.erase(0, name.rfind('/') + 1);
    if (!beside) {
        const std::vector<std::string> files = FilesIn(FolderOf(index));
        beside.emplace(files.begin(), files.end());
    }
    return beside->count(name) != 0 ? platform::JoinPath(FolderOf(index), name) : std::string();
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
    bool whole = file.whole;
    if (!file.index) {
        files.push_back(std::move(file));
    } else {
        std::unordered_set<std::string> parts;
        std::unordered_map<std::string, const std::string*> partFiles;  // each read once, by its first URL
        IndexFolder beside;
        std::string indexFolderUrl;
        const bool indexInSite = FolderUrlInSite(checker.base, checker.tree.root, first, indexFolderUrl) == 0;
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
            const std::string path = PartPath(checker, first, loc.loc, indexInSite, beside);
            if (path.empty()) {
                checker.add(CheckKind::NoFile, loc.loc, "a part of the index");
            } else if (const auto [same, fresh] = partFiles.emplace(path, &loc.loc); !fresh) {
                // Another URL of a file already listed ("?1", "?2", ...): read once.
                checker.add(CheckKind::Duplicate, loc.loc, "the same file as " + *same->second);
            } else {
                checker.report.files.push_back(path);
            }
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
            whole = whole && read[i] && files[i].whole && !files[i].index;
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
    // Each name compressed first with --gzip, as the writers would write
    // it, and plain first without: a file of the other form may be one an
    // earlier run left.
    std::vector<std::string> names;
    for (const std::string name : {"sitemap.xml", "sitemap_index.xml", "sitemap-index.xml", "sitemap.txt"}) {
        names.push_back(options.gzip ? name + ".gz" : name);
        names.push_back(options.gzip ? name : name + ".gz");
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
    report.pages = pages.count;
    if (whole)
        CheckMissing(checker, answered, pages);
    else
        report.notes.push_back("pages left out not looked for: the sitemap could not be read whole");
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return a.kind < b.kind; });
    return 0;
}

}  // namespace larkspur