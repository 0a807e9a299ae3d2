// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The notes both programs give after a save: which are warnings, and their words.
#include <gtest/gtest.h>

#include "sitemap/notes.h"
#include "sitemap/writers.h"

namespace larkspur {
namespace {

struct NoteCase {
    const char* name;
    SaveReport report;
    bool warning;
    std::string text;
};

SaveReport With(void (*fill)(SaveReport&))
{
    SaveReport report;
    report.urls = 1;
    fill(report);
    return report;
}

TEST(NotesTest, WhatTheUserDidNotAskForIsAWarning)
{
    const NoteCase cases[] = {
        {"nothing listed", With([](SaveReport& r) { r.urls = 0; }), true,
         "no page listed: the folder holds none that the options take in"},
        {"too long", With([](SaveReport& r) { r.tooLong = 2; }), true,
         "2 page(s) left out: their URLs are longer than 2048 characters"},
        {"noindex", With([](SaveReport& r) { r.noindex = 1; }), false, "1 page(s) left out: marked noindex"},
        {"canonical", With([](SaveReport& r) { r.canonicalElsewhere = 1; }), false,
         "1 page(s) left out: their canonical URL is another page's"},
        {"unread head", With([](SaveReport& r) { r.unreadHeads = 1; }), true,
         "1 page(s) kept: their head could not be read to the end"},
        {"not committed", With([](SaveReport& r) { r.fileDates = 3; r.inSubmodule = 1; r.beyondHistory = 1; }), false,
         "1 page(s) keep their file time: not committed as they are"},
        {"robots.txt", With([](SaveReport& r) { r.robotsTxtSkipped = "robots.txt left alone"; }), true,
         "robots.txt left alone"},
        {"part left", With([](SaveReport& r) { r.notes = {"sitemap3.xml not removed"}; }), true,
         "sitemap3.xml not removed"},
    };
    for (const NoteCase& c : cases) {
        const std::vector<Note> notes = SaveNotes(c.report);
        ASSERT_FALSE(notes.empty()) << c.name;
        EXPECT_EQ(notes.front().warning, c.warning) << c.name;
        EXPECT_EQ(notes.front().text, c.text) << c.name;
    }
    EXPECT_TRUE(SaveNotes(With([](SaveReport&) {})).empty());
}

}  // namespace
}  // namespace larkspur
