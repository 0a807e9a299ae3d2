// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What a save or a conversion left out or could not do, worded once for
// both programs: the window shows the notes, the command line prints them.
#pragma once

#include <string>
#include <vector>

#include "sitemap/csv.h"
#include "sitemap/writers.h"

namespace larkspur {

struct Note {
    // Something the user did not ask for (a page lost to a long URL, a file
    // left alone); the rest report what a requested option did.
    bool warning = false;
    std::string text;  // one sentence, no final stop
};

std::vector<Note> SaveNotes(const SaveReport& report);
std::vector<Note> ConvertNotes(const ConvertReport& report);

}  // namespace larkspur
