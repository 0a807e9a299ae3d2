// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli xml, txt and csv: walk the site and write its sitemap.
#include "commands.h"

#include <iostream>

#include "history/history.h"
#include "platform/paths.h"
#include "select/selection.h"
#include "sitemap/notes.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"

namespace larkspur::cli {

namespace {

// The sitemap into --output, standard output ("-") or the site folder, and
// what was saved.
int WriteOrSave(const Arguments& args, SitemapFormat format, const std::string& folder, const ScanTree& tree,
                const SitemapParameters& parameters, Failure& failure)
{
    std::string error;
    const std::string output = args.value("output", platform::JoinPath(folder, SitemapFileName(format)));
    SaveReport saved;
    OutputLimits limits;
    limits.writeIntoDevices = args.has("output");
    int result = 0;
    if (output == "-") {
        if (WriteSitemap(std::cout, format, tree, parameters, &saved, {}, &error) != 0) {
            failure = {kFailure, error.empty() ? OutputFailure() : error};
            return -1;
        }
    } else {
        result = SaveSitemap(output, format, tree, parameters, &error, &saved, limits);
        if (result != 0 && result != kRobotsTxtNotUpdated) {
            failure = {kFailure, error};
            return -1;
        }
        // A device or a pipe gets the sitemap alone: with --output /dev/stdout
        // a line after it would become part of it.
        if (!saved.intoDevice && !g_quiet) {
            for (const std::string& file : saved.files)
                std::cout << file << " saved.\n";
        }
        if (!saved.robotsTxt.empty() && !g_quiet)
            std::cout << saved.robotsTxt << " now lists the sitemap.\n";
    }
    Warn(SaveNotes(saved));
    if (saved.overLimit)
        std::cerr << "larkspur-cli: warning: " << (output == "-" ? std::string("standard output") : output)
                  << " holds one sitemap of " << saved.urls << " URLs, over the protocol's limit for one file ("
                  << limits.maxUrls << " URLs, "
                  << (limits.maxBytes != 0 ? limits.maxBytes : ProtocolByteLimit(parameters.options.protocol))
                  << " bytes); only a file can be split\n";
    if (result == kRobotsTxtNotUpdated) {
        failure = {kRobotsTxtFailed, error};
        return -1;
    }
    return 0;
}

}  // namespace

int RunWrite(const Arguments& args, SitemapFormat format, Failure& failure)
{
    SitemapParameters parameters;
    std::string folder;
    if (ReadSite(args, {"url", "priority", "changefreq", "output", "project", "working-dir", "jobs"}, folder,
                 parameters, failure) != 0
        || ReadFields(args, parameters, failure) != 0)
        return -1;
    if (args.has("output") && args.value("output").empty()) {
        failure = {kUsageError, "option --output needs a file name, or - for standard output"};
        return -1;
    }
    // Only sitemaps are compressed; a plain CSV under a .gz name would fool
    // whatever opens it.
    if (format == SitemapFormat::Csv && args.value("output").ends_with(".gz")) {
        failure = {kUsageError, "a CSV is not compressed: --output names a .gz file"};
        return -1;
    }
    WalkSettings settings;
    if (ReadAddressAndJobs(args, parameters, settings, failure) != 0)
        return -1;
    // Statistics are not shown: other files are counted, never looked at.
    settings.statFile = [pages = PageSelection(parameters.options)](std::string_view name) {
        return pages.hasPageExtension(name);
    };

    const GitStarted git(parameters.options.lastmod == LastmodSource::Git);

    ScanResult scan;
    if (Walk(scan, folder, settings, failure) != 0)
        return -1;
    return WriteOrSave(args, format, folder, scan.tree, parameters, failure);
}

}  // namespace larkspur::cli
