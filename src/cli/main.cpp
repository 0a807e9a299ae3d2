// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli: the sitemap engine for scripts and deploy pipelines. Reads
// the command word and hands the rest to its command.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "common.h"
#include "platform/atomic_file.h"
#include "platform/descriptors.h"
#include "usage.h"

using namespace larkspur;
using namespace larkspur::cli;

namespace {

int Run(const std::vector<std::string>& words)
{
    Arguments args;
    std::string error;
    if (ParseArguments(words, AllOptions(), args, error) != 0)
        return Report({kUsageError, error});
    // Quiet leaves standard error to the failure, if any.
    if (args.has("quiet")) {
        SetQuiet();
        args.values.erase("quiet");
        args.repeated.erase("quiet");
    }
    if (args.has("help")) {
        std::cout << Usage();
        return kSuccess;
    }
    if (args.has("version")) {
        std::cout << "larkspur-cli " LARKSPUR_VERSION "\n";
        return kSuccess;
    }
    if (args.words.empty())
        return Report({kUsageError, "no command given"});

    const std::string& command = args.words[0];
    Failure failure{kFailure, {}};
    int result = 0;
    if (command == "stats")
        result = RunStats(args, failure);
    else if (command == "xml")
        result = RunWrite(args, SitemapFormat::Xml, failure);
    else if (command == "txt")
        result = RunWrite(args, SitemapFormat::Text, failure);
    else if (command == "csv")
        result = RunWrite(args, SitemapFormat::Csv, failure);
    else if (command == "csv2xml")
        result = RunCsvToXml(args, failure);
    else if (command == "projects")
        result = RunProjects(args, failure);
    else if (command == "check") {
        if ((result = RunCheck(args, failure)) > 0)
            return kFailure;
    }
    else if (command == "working-dir")
        result = RunWorkingDir(args, failure);
    else
        return Report({kUsageError, "unknown command '" + command + "'"});
    return result == 0 ? kSuccess : Report(failure);
}

}  // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    platform::HandleInterruptions();
    const std::unique_ptr<std::streambuf> output = platform::StandardOutputBuffer();
    std::streambuf* const original = std::cout.rdbuf(output.get());
    int status = Run(std::vector<std::string>(argv + 1, argv + argc));
    // Standard output is buffered: a failure to write it (a full disk, a
    // closed pipe) shows only when it is flushed, and must not pass for
    // success.
    std::cout.flush();
    if (status == kSuccess && !std::cout)
        status = Report({kFailure, OutputFailure()});
    std::cout.rdbuf(original);
    return status;
}
