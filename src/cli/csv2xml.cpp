// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli csv2xml: a (hand-edited) sitemap CSV into XML.
#include "commands.h"

#include <iostream>

#include "platform/paths.h"
#include "sitemap/notes.h"
#include "sitemap/csv.h"

namespace larkspur::cli {

int RunCsvToXml(const Arguments& args, Failure& failure)
{
    if (CheckAllowed(args, {"url", "project", "protocol", "gzip", "no-gzip", "newline", "working-dir"}, "csv2xml",
                     failure.message) != 0
        || args.words.size() != 2) {
        failure = {kUsageError, failure.message.empty() ? "csv2xml takes one FILE.csv" : failure.message};
        return -1;
    }
    if (args.has("url") && CheckBaseUrl(args.value("url"), kUsageError, failure) != 0)
        return -1;
    const std::string& csv = args.words[1];
    // A saved project gives the protocol and compression, and, for a CSV in
    // its folder, that folder's address.
    SitemapOptions options;
    std::string folderUrl = args.value("url");
    if (args.has("project")) {
        ProjectStore store;
        const int row = OpenProject(args, store, failure);
        if (row < 0)
            return -1;
        const ProjectRecord& record = store.project(row);
        options = store.options(row);
        if (!args.has("url"))
            FolderUrlInSite(record.websiteUrl, record.localPath, csv, folderUrl);
    }
    std::string message;
    if (ReadSitemapOptions(args, options, message) != 0) {
        failure = {kUsageError, message};
        return -1;
    }
    if (CheckCsvPath(csv, message) != 0) {
        failure = {kFailure, csv + ": " + message};
        return -1;
    }
    std::string xml;
    XmlPathForCsv(csv, xml);
    ConvertReport report;
    if (ConvertCsvToXml(csv, xml, &report, &message, {}, folderUrl, options) != 0) {
        failure = {kFailure, message};
        return -1;
    }
    Warn(ConvertNotes(report));
    for (const std::string& file : report.files) {
        if (!g_quiet)
            std::cout << platform::FileName(file) << " created.\n";
    }
    return 0;
}

}  // namespace larkspur::cli
