// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli check: a sitemap against the site folder.
#include "commands.h"

#include <iostream>

#include "check/check.h"
#include "history/history.h"
#include "check_output.h"

namespace larkspur::cli {

int RunCheck(const Arguments& args, Failure& failure)
{
    SitemapParameters parameters;
    std::string folder;
    if (ReadSite(args, {"url", "sitemap", "format", "project", "working-dir", "jobs"}, folder, parameters, failure)
        != 0)
        return -1;
    const std::string format = args.value("format", "text");
    if (format != "text" && format != "tsv") {
        failure = {kUsageError, "--format must be text or tsv, not '" + format + "'"};
        return -1;
    }
    std::string error;
    if (ReadSitemapOptions(args, parameters.options, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    if (args.has("sitemap") && args.value("sitemap").empty()) {
        failure = {kUsageError, "option --sitemap needs a file name or a URL"};
        return -1;
    }
    WalkSettings settings;
    if (ReadAddressAndJobs(args, parameters, settings, failure) != 0)
        return -1;
    const GitStarted git(parameters.options.lastmod == LastmodSource::Git);
    ScanResult scan;
    if (Walk(scan, folder, settings, failure) != 0)
        return -1;
    CheckReport report;
    if (CheckSitemap(scan.tree, parameters, args.value("sitemap"), report, error) != 0) {
        failure = {kFailure, error};
        return -1;
    }
    PrintNotes(report.notes);
    if (format == "tsv")
        PrintCheckFindings(std::cout, report);
    else
        PrintCheckReport(std::cout, report);
    return report.problems() ? 1 : 0;
}

}  // namespace larkspur::cli
