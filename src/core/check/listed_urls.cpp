// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/listed_urls.h"

#include "head/head.h"
#include "head/head_reader.h"
#include "history/history.h"
#include "sitemap/writers.h"

namespace larkspur::check_detail {

namespace {

// With dates from git, when each listed page with a lastmod last changed
// (its file time where git has no commit for it); empty when git cannot say.
std::unordered_map<const FileEntry*, std::int64_t> CommitTimes(Checker& checker, const std::vector<Listed>& listed)
{
    std::unordered_map<const FileEntry*, std::int64_t> times;
    for (const Listed& item : listed) {
        if (item.entry && item.loc.hasLastmod)
            times.emplace(item.entry, item.entry->mtime());
    }
    if (times.empty())
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

// What a listed page's head says.
struct HeadSays {
    bool noindex = false;
    bool canonicalElsewhere = false;
    std::string canonical;
};

}  // namespace

bool CanonicalElsewhere(const Checker& checker, std::string_view url, const PageHead& head, const FileEntry& page)
{
    if (!CanonicalElsewhere(url, head))
        return false;
    // The page's address in each style, as the writer gives it.
    std::vector<std::string_view> segments;
    PathSegments(page, segments);
    if (segments.empty() || !page.parent)
        return true;
    std::string folderUrl = checker.base;
    for (std::size_t i = 0; i + 1 < segments.size(); ++i)
        folderUrl += EscapePathSegment(segments[i]) + "/";
    const std::string_view name = segments.back();
    const bool indexHtmlBeside = checker.files.named(page.parent, "index.html") != nullptr;
    const bool stemTaken =
        name.ends_with(".html") && checker.files.named(page.parent, name.substr(0, name.size() - 5)) != nullptr;
    std::vector<std::string> sameFile;
    for (const UrlStyle style : {UrlStyle::File, UrlStyle::Folder, UrlStyle::Clean})
        sameFile.push_back(folderUrl + EscapePathSegment(UrlNameInStyle(style, name, indexHtmlBeside, stemTaken)));
    return CanonicalElsewhere(url, head, sameFile);
}

void CheckDate(Checker& checker, const std::string& url, const SitemapLoc& loc, std::int64_t fileTime)
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

// The URLs of a urlset: where they lead, and what the pages there say.
void CheckListed(Checker& checker, std::vector<Listed>& listed,
                 std::unordered_map<const FileEntry*, const std::string*>& firstUrl)
{
    // Where each URL leads depends on it alone, so the files are found and
    // their heads read side by side; what depends on the URLs before it
    // (duplicates) is judged after, in the sitemap's order.
    struct Lead {
        bool below = false;
        bool robotsAllow = true;
        const FileEntry* entry = nullptr;
        HeadSays head;
    };
    struct Reading {
        PageHeadReader reader;
        SiteFiles::Memo memo;
        std::string below;
    };
    std::vector<Lead> leads(listed.size());
    ParallelFor<Reading>(listed.size(), 64, [&](std::size_t i, Reading& reading) {
        Lead& lead = leads[i];
        const std::string& url = listed[i].loc.loc;
        lead.below = checker.below(url, reading.below);
        if (!lead.below)
            return;
        lead.robotsAllow = checker.robots.empty() || checker.robots.allows(UrlPathAndQuery(url));
        lead.entry = checker.files.answer(reading.below, reading.memo);
        if (!lead.entry || !IsPage(*lead.entry))
            return;
        PageHead head;
        std::string error;
        if (reading.reader.read(checker.tree, *lead.entry, head, error) != 0)
            return;
        lead.head.noindex = head.noindex;
        if (CanonicalElsewhere(checker, url, head, *lead.entry)) {
            lead.head.canonicalElsewhere = true;
            lead.head.canonical = std::move(head.canonical);
        }
    });

    firstUrl.reserve(listed.size());
    checker.listedUrls.reserve(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        Listed& item = listed[i];
        Lead& lead = leads[i];
        const std::string& url = item.loc.loc;
        if (url.size() > kMaxUrlLength)
            checker.add(CheckKind::UrlTooLong, url, std::to_string(url.size()) + " characters");
        if (!lead.below) {
            checker.add(CheckKind::OutsideBase, url, "not below " + checker.base);
            continue;
        }
        if (!checker.listedUrls.insert(url).second) {
            checker.add(CheckKind::Duplicate, url, "listed again");
            lead.head = {};  // judged where it was first listed
            continue;
        }
        item.entry = lead.entry;  // only for URLs counted once
        if (!item.entry) {
            checker.add(CheckKind::NoFile, url, "");
        } else if (const auto [first, fresh] = firstUrl.emplace(item.entry, &url); !fresh) {
            checker.add(CheckKind::Duplicate, url, "the same file as " + *first->second);
        }
        if (!lead.robotsAllow)
            checker.add(CheckKind::RobotsDisallowed, url, "");
    }

    const LastmodSource source = checker.parameters.options.lastmod;
    const auto times = source == LastmodSource::Git ? CommitTimes(checker, listed)
                                                    : std::unordered_map<const FileEntry*, std::int64_t>();
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const Listed& item = listed[i];
        std::int64_t fileTime = -1;  // when the page last changed, as the options date it
        if (item.entry && source == LastmodSource::FileTime) {
            fileTime = item.entry->mtime();
        } else if (item.entry && source == LastmodSource::Git) {
            const auto time = times.find(item.entry);
            fileTime = time == times.end() ? -1 : time->second;
        }
        CheckDate(checker, item.loc.loc, item.loc, fileTime);
        if (leads[i].head.noindex)
            checker.add(CheckKind::Noindex, item.loc.loc, "");
        if (leads[i].head.canonicalElsewhere)
            checker.add(CheckKind::CanonicalElsewhere, item.loc.loc, "names " + leads[i].head.canonical);
    }
}

}  // namespace larkspur::check_detail
