// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/listed_urls.h"

#include "head/head.h"
#include "head/head_reader.h"
#include "history/history.h"

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
    firstUrl.reserve(listed.size());
    checker.listedUrls.reserve(listed.size());
    std::string below;
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
        item.entry = checker.files.answer(below);  // only for URLs counted once
        if (!item.entry) {
            checker.add(CheckKind::NoFile, url, "");
        } else if (const auto [first, fresh] = firstUrl.emplace(item.entry, &url); !fresh) {
            checker.add(CheckKind::Duplicate, url, "the same file as " + *first->second);
        }
        if (!checker.robots.empty() && !checker.robots.allows(UrlPathAndQuery(url)))
            checker.add(CheckKind::RobotsDisallowed, url, "");
    }

    std::vector<HeadSays> heads(listed.size());
    ParallelFor<PageHeadReader>(listed.size(), 64, [&](std::size_t i, PageHeadReader& reader) {
        const Listed& item = listed[i];
        if (!item.entry || !IsPage(*item.entry))
            return;
        PageHead head;
        std::string error;
        if (reader.read(checker.tree, *item.entry, head, error) != 0)
            return;
        heads[i].noindex = head.noindex;
        if (CanonicalElsewhere(item.loc.loc, head)) {
            heads[i].canonicalElsewhere = true;
            heads[i].canonical = std::move(head.canonical);
        }
    });
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
        if (heads[i].noindex)
            checker.add(CheckKind::Noindex, item.loc.loc, "");
        if (heads[i].canonicalElsewhere)
            checker.add(CheckKind::CanonicalElsewhere, item.loc.loc, "names " + heads[i].canonical);
    }
}

}  // namespace larkspur::check_detail
