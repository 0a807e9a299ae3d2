// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli stats: what the site folder holds.
#include "commands.h"

#include <iostream>

#include "scan/scan.h"

namespace larkspur::cli {

int RunStats(const Arguments& args, Failure& failure)
{
    if (CheckAllowed(args, {"working-dir", "extensions", "jobs"}, "stats", failure.message) != 0 || args.words.size() != 2) {
        failure = {kUsageError, failure.message.empty() ? "stats takes one FOLDER" : failure.message};
        return -1;
    }
    SitemapOptions options;
    if (ReadSitemapOptions(args, options, failure.message) != 0) {
        failure.status = kUsageError;
        return -1;
    }
    WalkSettings settings;
    if (ReadJobs(args, settings, failure) != 0)
        return -1;
    settings.skipVersionControl = true;
    ScanResult scan;
    if (Walk(scan, args.words[1], settings, failure) != 0)
        return -1;
    // Without --extensions the lines stay as scripts have read them.
    const bool marked = args.has("extensions");
    for (const StatLine& line : StatisticsLines(scan, options.extensions))
        std::cout << line.text << (marked && line.checked ? " (pages)\n" : "\n");
    return 0;
}

}  // namespace larkspur::cli
