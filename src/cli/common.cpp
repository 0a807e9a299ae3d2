// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "common.h"

#include <cerrno>
#include <iostream>

#include "platform/descriptors.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "settings.h"

namespace larkspur::cli {

namespace {

// With --quiet standard error is closed to everything but the failure
// Report() gives; this is where that still goes.
std::streambuf* g_errors = nullptr;

}  // namespace

bool g_quiet = false;

void SetQuiet()
{
    g_quiet = true;
    g_errors = std::cerr.rdbuf(nullptr);
}

std::string NoFlag(const OptionField& field)
{
    return std::string("no-") + field.key;
}

std::vector<std::string> WithSitemapOptions(std::initializer_list<const char*> names)
{
    std::vector<std::string> allowed(names.begin(), names.end());
    for (const OptionField& field : SitemapOptionFields()) {
        allowed.emplace_back(field.key);
        if (field.kind == OptionKind::Flag)
            allowed.push_back(NoFlag(field));
    }
    return allowed;
}

int ReadSitemapOptions(const Arguments& args, SitemapOptions& options, std::string& error)
{
    for (const OptionField& field : SitemapOptionFields()) {
        int result = 0;
        if (field.kind == OptionKind::Flag) {
            if (args.has(field.key) && args.has(NoFlag(field))) {
                error = "--" + std::string(field.key) + " and --" + NoFlag(field) + " contradict each other";
                return -1;
            }
            if (args.has(field.key) || args.has(NoFlag(field)))
                result = field.set(options, {args.has(field.key) ? "yes" : "no"}, error);
        } else if (args.has(field.key)) {
            result = field.set(options, field.kind == OptionKind::List ? args.repeated.at(field.key)
                                                                         : std::vector<std::string>{args.value(field.key)},
                               error);
        }
        if (result != 0)
            return -1;
    }
    return 0;
}

std::string OutputFailure()
{
    const int error = platform::WriteError(std::cout);
    return "standard output: " + platform::SystemMessage(error != 0 ? error : EIO);
}

// A base URL as every command takes it: -1 with the reason, which keeps
// a password out of the message.
int CheckBaseUrl(const std::string& url, int status, Failure& failure)
{
    std::string base;
    std::string problem;
    if (NormalizeBaseUrl(url, base, &problem) == 0)
        return 0;
    failure = {status, problem.empty() ? "the URL must be absolute, http:// or https:// and a host: '" + url + "'"
                                       : problem};
    return -1;
}

int Report(const Failure& failure)
{
    std::ostream errors(g_errors ? g_errors : std::cerr.rdbuf());
    errors << "larkspur-cli: " << failure.message << '\n';
    if (failure.status == kUsageError)
        errors << "Try 'larkspur-cli --help'.\n";
    return failure.status;
}

int ReadFields(const Arguments& args, SitemapParameters& fields, Failure& failure)
{
    if (args.has("priority")) {
        fields.priorityIndex = PriorityIndex(args.value("priority"));
        if (fields.priorityIndex < 0) {
            failure = {kUsageError, "priority must be one of 0.0, 0.1, ... 1.0, not '" + args.value("priority") + "'"};
            return -1;
        }
    }
    if (args.has("changefreq")) {
        fields.frequencyIndex = FrequencyIndex(args.value("changefreq"));
        if (fields.frequencyIndex < 0) {
            failure = {kUsageError, "change frequency must be always, hourly, daily, weekly, monthly, yearly or never, "
                                    "not '" + args.value("changefreq") + "'"};
            return -1;
        }
    }
    std::string error;
    if (ReadSitemapOptions(args, fields.options, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    return 0;
}

WorkingDirectoryOrigin FindWorkingDir(const Arguments& args, std::string& folder, Failure& failure)
{
    const std::string given = args.value("working-dir");
    const WorkingDirectoryOrigin origin = FindWorkingDirectory(args.has("working-dir") ? &given : nullptr, folder);
    if (origin == WorkingDirectoryOrigin::None)
        failure = {kFailure, kNoWorkingDirectory};
    return origin;
}

int OpenStore(const Arguments& args, ProjectStore& store, Failure& failure, bool lock)
{
    store.setWaitingNotice([](const std::string& text) { std::cerr << "larkspur-cli: " << text << '\n'; });
    std::string error;
    std::string folder;
    if (FindWorkingDir(args, folder, failure) == WorkingDirectoryOrigin::None)
        return -1;
    if (store.open(folder, error) != 0 || (lock && store.lock(error) != 0)) {
        failure = {kFailure, error};
        return -1;
    }
    if (store.load(error) != 0) {
        failure = {kFailure, "cannot read the project table: " + error};
        return -1;
    }
    PrintNotes(store.notes());
    return 0;
}

int OpenNamed(const Arguments& args, const std::string& name, ProjectStore& store, Failure& failure, bool lock)
{
    if (OpenStore(args, store, failure, lock) != 0)
        return -1;
    const int row = store.find(name);
    if (row < 0)
        failure = {kFailure, "no project named '" + name + "'"};
    return row;
}

int OpenProject(const Arguments& args, ProjectStore& store, Failure& failure)
{
    const int row = OpenNamed(args, args.value("project"), store, failure);
    if (row >= 0 && !store.optionProblems(row).empty()) {
        failure = {kFailure, store.optionProblems(row).front().message};
        return -1;
    }
    return row;
}

int SaveStore(ProjectStore& store, Failure& failure)
{
    std::string error;
    MergeReport report;
    if (store.save(error, report) != 0) {
        failure = {kFailure, "Failed to save application data! " + error};
        return -1;
    }
    return 0;
}

int SaveFields(ProjectStore& store, int row, const SitemapParameters& fields, Failure& failure)
{
    store.setPriority(row, fields.priorityIndex);
    store.setFrequency(row, fields.frequencyIndex);
    store.setOptions(row, fields.options);
    return SaveStore(store, failure);
}

void PrintNotes(const std::vector<std::string>& notes)
{
    for (const std::string& note : notes)
        std::cerr << "larkspur-cli: " << note << '\n';
}

void Warn(const std::vector<Note>& notes)
{
    for (const Note& note : notes)
        std::cerr << "larkspur-cli: " << note.text << "\n";
}

constexpr unsigned kMaxJobs = 64;

// --jobs, or 0 for the default; -1 with a usage error when it is no number
// from 1 to kMaxJobs.
int ReadJobs(const Arguments& args, WalkSettings& settings, Failure& failure)
{
    if (!args.has("jobs"))
        return 0;
    const std::string text = args.value("jobs");
    unsigned jobs = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || jobs > kMaxJobs) {
            jobs = 0;
            break;
        }
        jobs = jobs * 10 + static_cast<unsigned>(c - '0');
    }
    if (jobs == 0 || jobs > kMaxJobs) {
        failure = {kUsageError, "--jobs takes a number of threads from 1 to " + std::to_string(kMaxJobs) + ", not '"
                                    + text + "'"};
        return -1;
    }
    settings.jobs = jobs;
    return 0;
}

int Walk(ScanResult& scan, const std::string& folder, const WalkSettings& settings, Failure& failure)
{
    if (const int reason = platform::FolderError(folder); reason != 0) {
        failure = {kFailure, folder + ": " + platform::SystemMessage(reason)};
        return -1;
    }
    WalkError walkError;
    if (WalkAndCount(scan, folder, &walkError, nullptr, nullptr, settings) != 0) {
        failure = {kFailure, walkError.path + ": " + walkError.message};
        return -1;
    }
    if (scan.tree.skippedLinks > 0)
        std::cerr << "larkspur-cli: " << scan.tree.skippedLinks
                  << " link(s) not followed: they belong to another user\n";
    return 0;
}

int ReadSite(const Arguments& args, std::initializer_list<const char*> allowed, std::string& folder,
             SitemapParameters& parameters, Failure& failure)
{
    const std::string& command = args.words[0];
    std::string error;
    if (CheckAllowed(args, WithSitemapOptions(allowed), command, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    if (args.has("project")) {
        if (args.words.size() != 1 || args.has("url")) {
            failure = {kUsageError, command + " --project takes no FOLDER and no --url"};
            return -1;
        }
        ProjectStore store;
        const int row = OpenProject(args, store, failure);
        if (row < 0)
            return -1;
        folder = store.project(row).localPath;
        parameters = store.parameters(row);
        return 0;
    }
    if (args.words.size() != 2 || !args.has("url")) {
        failure = {kUsageError, command + " takes one FOLDER and --url BASE"};
        return -1;
    }
    folder = args.words[1];
    parameters.websiteUrl = args.value("url");
    return 0;
}

int ReadAddressAndJobs(const Arguments& args, const SitemapParameters& parameters, WalkSettings& settings,
                       Failure& failure)
{
    if (CheckBaseUrl(parameters.websiteUrl, args.has("project") ? kFailure : kUsageError, failure) != 0)
        return -1;
    return ReadJobs(args, settings, failure);
}

}  // namespace larkspur::cli
