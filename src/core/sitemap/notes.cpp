// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "sitemap/notes.h"

#include "sitemap/url.h"

namespace larkspur {

namespace {

void Add(std::vector<Note>& notes, bool warning, long long count, const std::string& rest)
{
    if (count > 0)
        notes.push_back({warning, std::to_string(count) + rest});
}

void AddTooLong(std::vector<Note>& notes, long long pages)
{
    Add(notes, true, pages,
        " page(s) left out: their URLs are longer than " + std::to_string(kMaxUrlLength) + " characters");
}

}  // namespace

std::vector<Note> SaveNotes(const SaveReport& report)
{
    std::vector<Note> notes;
    // Search engines report a sitemap without a URL as faulty.
    if (report.urls == 0)
        notes.push_back({true, "no page listed: the folder holds none that the options take in"});
    AddTooLong(notes, report.tooLong);
    Add(notes, false, report.noindex, " page(s) left out: marked noindex");
    Add(notes, false, report.canonicalElsewhere, " page(s) left out: their canonical URL is another page's");
    Add(notes, false, report.robotsDisallowed, " page(s) left out: robots.txt disallows them");
    // Kept although the options asked to read it: the user did not ask for that.
    Add(notes, true, report.unreadHeads, " page(s) kept: their head could not be read to the end");
    Add(notes, false, report.fileDates - report.beyondHistory - report.inSubmodule,
        " page(s) keep their file time: not committed as they are");
    Add(notes, false, report.inSubmodule, " page(s) lie in a submodule: dated by their file time");
    if (report.beyondHistory > 0)
        notes.push_back({false, "the git history ends before " + std::to_string(report.beyondHistory) +
                                    " page(s) were last changed (a shallow clone); they keep their file time"});
    if (!report.robotsTxtSkipped.empty())
        notes.push_back({true, report.robotsTxtSkipped});
    for (const std::string& note : report.notes)
        notes.push_back({true, note});
    return notes;
}

std::vector<Note> ConvertNotes(const ConvertReport& report)
{
    std::vector<Note> notes;
    Add(notes, true, report.linesSkipped,
        " line(s) skipped: not four comma-separated fields starting with an http:// or https:// URL");
    AddTooLong(notes, report.tooLong);
    Add(notes, true, report.valuesNotValid,
        " row(s) written with a lastmod, changefreq or priority search engines do not take (" +
            report.firstValueNotValid + ")");
    return notes;
}

}  // namespace larkspur
