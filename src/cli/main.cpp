// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli: the sitemap engine for scripts and deploy pipelines.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <string>
#include <vector>

#include "arguments.h"
#include "check/check.h"
#include "check_output.h"
#include "platform.h"
#include "project_store.h"
#include "scan/scan.h"
#include "select/selection.h"
#include "settings.h"
#include "sitemap/notes.h"
#include "sitemap/sitemap.h"

using namespace larkspur;

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr int kRobotsTxtFailed = 3;  // the sitemap saved, robots.txt not updated

constexpr const char* kUsage = R"(Usage: larkspur-cli COMMAND [ARGUMENTS] [OPTIONS]

Writes sitemaps for a web site kept as a folder on the local disk.

Commands:
  stats FOLDER [--extensions LIST] [--jobs N]
      Walks FOLDER and prints its statistics: all files, empty files and the
      number of files per extension, one line each. With --extensions the
      lines of the extensions that become sitemap entries end in (pages).
  xml|txt|csv FOLDER --url BASE [--priority P] [--changefreq F] [--output FILE|-]
              [SITEMAP OPTIONS]
  xml|txt|csv --project NAME [--priority P] [--changefreq F] [--output FILE|-]
              [SITEMAP OPTIONS]
      Walks the site and writes sitemap.xml, sitemap.txt or sitemap.csv into
      the site folder (or FILE; "-" writes to standard output). Only
      non-empty .html and .htm files become entries. With --project the
      folder, URL, priority, change frequency and sitemap options come from
      a saved project; options given here override them for this run.
  csv2xml FILE.csv [--url BASE] [--protocol VERSION] [--gzip|--no-gzip]
          [--newline ENDING] [--project NAME]
      Converts a (hand-edited) sitemap CSV into FILE.xml (FILE.xml.gz with
      --gzip) beside it. Rows whose first field is not an http:// or
      https:// URL are skipped; when every row is, nothing is written. Past
      50,000 rows FILE.xml becomes an index of FILE1.xml, FILE2.xml, ...
      whose addresses start with BASE, the address of the CSV's folder
      (default: the root of the rows' one host). --project takes the
      protocol and gzip options of a saved project, and BASE from its
      address when the CSV lies in its folder.
  check FOLDER --url BASE [--sitemap FILE|URL-PATH] [--format text|tsv]
        [SITEMAP OPTIONS]
  check --project NAME [--sitemap FILE|URL-PATH] [--format text|tsv]
        [SITEMAP OPTIONS]
      Checks a sitemap against the site folder and prints what search
      engines would object to: URLs no file answers or outside BASE, pages
      it leaves out under the sitemap options, listed pages marked noindex,
      naming another canonical URL or disallowed by robots.txt, lastmod
      dates, duplicates, the protocol's limits, XML that is not well-formed
      or not valid. The sitemap is the one Larkspur would write, else
      sitemap.xml, sitemap_index.xml, sitemap-index.xml or sitemap.txt in
      the folder (plain or .gz), with its parts. Writes nothing.
  projects
      Lists the saved projects: name, folder, URL, priority and change
      frequency, separated by tabs.
  projects add NAME --path FOLDER --url BASE [--priority P] [--changefreq F]
               [SITEMAP OPTIONS]
  projects remove NAME
      Adds or removes a saved project (32 at most).
  projects set NAME [--path FOLDER] [--url BASE] [--priority P]
               [--changefreq F] [SITEMAP OPTIONS]
      Changes what is given of a saved project; the rest stays.
  projects show NAME
      Prints every field and sitemap option of a project, one "key: value"
      line each.
  working-dir [DIR]
      Without DIR prints the working directory in force, and on standard
      error where it comes from. With DIR, an existing folder, stores its
      absolute path in the settings the desktop program reads.

Options:
  -u, --url BASE      the site's address, http:// or https://
  --priority P        0.0, 0.1, ... 1.0 (default 0.6)
  --changefreq F      always, hourly, daily, weekly, monthly, yearly or never
                      (default weekly)
  -o, --output FILE|- where to write the sitemap instead of the site folder;
                      a name ending in .gz is compressed
  --jobs N            threads that walk the site folder, 1 to 64 (default: one
                      per core, 8 at most); the output is the same
  -p, --project NAME  use a saved project
  --path FOLDER       the site folder of a new project
  --working-dir DIR   the folder that holds saving.dat (default: the one in
                      LARKSPUR_WORKING_DIR, else the stored one: see
                      working-dir)
  -q, --quiet         print only errors: no notes, no warnings, no "saved."
                      lines (a sitemap, a list or a path asked for still goes
                      to standard output)
  --sitemap FILE|URL-PATH
                      with check: the sitemap, a file or the address (or path
                      below BASE) of a file in the site folder
  --format text|tsv   with check: a report (default), or one finding a line,
                      kind, URL and detail separated by tabs
  -h, --help          this text
  --version           the program's version

Sitemap options (stored per project beside saving.dat):
%OPTIONS%
Exit status: 0 on success, 1 on failure (nothing written), 2 on a usage error,
3 when the sitemap was saved but robots.txt could not be updated, 128+N when
stopped by signal N (129 hangup, 130 interrupt, 143 terminate); check: 0 when
it finds nothing but hints, 1 when it finds something or fails.
)";

const std::vector<cli::OptionInfo> kOptions = {
    {"url", true, 'u'},     {"priority", true}, {"changefreq", true}, {"output", true, 'o'},
    {"project", true, 'p'}, {"path", true},     {"working-dir", true}, {"quiet", false, 'q'},
    {"help", false, 'h'},   {"version", false}, {"sitemap", true},     {"format", true},
    {"jobs", true},
};

// With --quiet standard error is closed to everything but the failure
// Report() gives; this is where that still goes.
std::streambuf* g_errors = nullptr;
bool g_quiet = false;

// ----- sitemap options: one command-line option per field of the options
// table, and "--no-NAME" to turn a flag off again.

std::string NoFlag(const OptionField& field)
{
    return std::string("no-") + field.key;
}

const std::vector<cli::OptionInfo>& AllOptions()
{
    static std::deque<std::string> names;  // keeps the names the table points to
    static const std::vector<cli::OptionInfo> all = [] {
        std::vector<cli::OptionInfo> list = kOptions;
        for (const OptionField& field : SitemapOptionFields()) {
            list.push_back({field.key, field.kind != OptionKind::Flag});
            if (field.kind == OptionKind::Flag)
                list.push_back({names.emplace_back(NoFlag(field)).c_str(), false});
        }
        return list;
    }();
    return all;
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

// The options given on the command line, over `options`.
int ReadSitemapOptions(const cli::Arguments& args, SitemapOptions& options, std::string& error)
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

std::string Usage()
{
    std::string lines;
    for (const OptionField& field : SitemapOptionFields()) {
        std::string name = std::string("  --") + field.key;
        if (field.kind == OptionKind::Flag)
            name += ", --" + NoFlag(field);
        else
            name += std::string(" ") + field.valueName;
        lines += name;
        lines += name.size() < 22 ? std::string(22 - name.size(), ' ') : "\n" + std::string(22, ' ');
        lines += field.help;
        lines += '\n';
    }
    std::string usage = kUsage;
    usage.replace(usage.find("%OPTIONS%\n"), 10, lines);
    return usage;
}

constexpr const char* kNoWorkingDirectory =
    "no working directory is set: pass --working-dir DIR, set LARKSPUR_WORKING_DIR, or store one with "
    "'larkspur-cli working-dir DIR' (or in the desktop program larkspur)";

struct Failure {
    int status;
    std::string message;
};

// Why standard output could not be written.
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

// Priority and change frequency from the options, over the given defaults.
int ReadScales(const cli::Arguments& args, int& priority, int& frequency, std::string& error)
{
    if (args.has("priority")) {
        priority = PriorityIndex(args.value("priority"));
        if (priority < 0) {
            error = "priority must be one of 0.0, 0.1, ... 1.0, not '" + args.value("priority") + "'";
            return -1;
        }
    }
    if (args.has("changefreq")) {
        frequency = FrequencyIndex(args.value("changefreq"));
        if (frequency < 0) {
            error = "change frequency must be always, hourly, daily, weekly, monthly, yearly or never, not '"
                  + args.value("changefreq") + "'";
            return -1;
        }
    }
    return 0;
}

// The projects of the working directory given or stored, loaded. With
// `lock` they are read under the working directory's lock, held until they
// are saved: two programs changing the projects at once then queue instead
// of losing each other's change.
int OpenStore(const cli::Arguments& args, ProjectStore& store, Failure& failure, bool lock = false)
{
    store.setWaitingNotice([](const std::string& text) { std::cerr << "larkspur-cli: " << text << '\n'; });
    std::string error;
    std::string folder;
    const std::string given = args.value("working-dir");
    if (FindWorkingDirectory(args.has("working-dir") ? &given : nullptr, folder) == WorkingDirectoryOrigin::None) {
        failure = {kFailure, kNoWorkingDirectory};
        return -1;
    }
    if (store.open(folder, error) != 0 || (lock && store.lock(error) != 0)) {
        failure = {kFailure, error};
        return -1;
    }
    if (store.load(error) != 0) {
        failure = {kFailure, "cannot read the project table: " + error};
        return -1;
    }
    for (const std::string& note : store.notes())
        std::cerr << "larkspur-cli: " << note << '\n';
    return 0;
}

// The row of the saved project `name`; -1 with the failure.
int FindNamed(const ProjectStore& store, const std::string& name, Failure& failure)
{
    const int row = store.find(name);
    if (row < 0)
        failure = {kFailure, "no project named '" + name + "'"};
    return row;
}

// The project --project names, for writing or checking its sitemap: one
// whose stored options cannot all be read is refused, so that nothing is
// written with options other than the stored ones.
int OpenProject(const cli::Arguments& args, ProjectStore& store, Failure& failure)
{
    const int row = OpenStore(args, store, failure) == 0 ? FindNamed(store, args.value("project"), failure) : -1;
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

// What the save or the conversion left out or could not do, one line each.
void Warn(const std::vector<Note>& notes)
{
    for (const Note& note : notes)
        std::cerr << "larkspur-cli: " << note.text << "\n";
}

constexpr unsigned kMaxJobs = 64;

// --jobs, or 0 for the default; -1 with a usage error when it is no number
// from 1 to kMaxJobs.
int ReadJobs(const cli::Arguments& args, WalkSettings& settings, Failure& failure)
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

int RunStats(const cli::Arguments& args, Failure& failure)
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

// The site a command works on: a saved project's (--project NAME), or
// FOLDER and --url BASE.
int ReadSite(const cli::Arguments& args, const std::string& command, std::string& folder,
             SitemapParameters& parameters, Failure& failure)
{
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

// The last checks before a walk: the site's address (a stored one that no
// longer reads is a failure, a typed one a usage error), then --jobs.
int ReadAddressAndJobs(const cli::Arguments& args, const SitemapParameters& parameters, WalkSettings& settings,
                       Failure& failure)
{
    if (CheckBaseUrl(parameters.websiteUrl, args.has("project") ? kFailure : kUsageError, failure) != 0)
        return -1;
    return ReadJobs(args, settings, failure);
}

int RunWrite(const cli::Arguments& args, SitemapFormat format, Failure& failure)
{
    const std::string& command = args.words[0];
    std::string error;
    if (CheckAllowed(args,
                     WithSitemapOptions({"url", "priority", "changefreq", "output", "project", "working-dir", "jobs"}),
                     command, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    SitemapParameters parameters;
    std::string folder;
    if (ReadSite(args, command, folder, parameters, failure) != 0)
        return -1;
    if (ReadScales(args, parameters.priorityIndex, parameters.frequencyIndex, error) != 0
        || ReadSitemapOptions(args, parameters.options, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    if (args.has("output") && args.value("output").empty()) {
        failure = {kUsageError, "option --output needs a file name, or - for standard output"};
        return -1;
    }
    WalkSettings settings;
    if (ReadAddressAndJobs(args, parameters, settings, failure) != 0)
        return -1;
    // Statistics are not shown: other files are counted, never looked at.
    settings.statFile = [pages = PageSelection(parameters.options)](std::string_view name) {
        return pages.hasPageExtension(name);
    };

    ScanResult scan;
    if (Walk(scan, folder, settings, failure) != 0)
        return -1;
    const std::string output = args.value("output", platform::JoinPath(folder, SitemapFileName(format)));
    SaveReport saved;
    OutputLimits limits;
    limits.writeIntoDevices = args.has("output");
    int result = 0;
    if (output == "-") {
        if (WriteSitemap(std::cout, format, scan.tree, parameters, &saved, {}, &error) != 0) {
            failure = {kFailure, error.empty() ? OutputFailure() : error};
            return -1;
        }
    } else {
        result = SaveSitemap(output, format, scan.tree, parameters, &error, &saved, limits);
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

// 0 when the check finds nothing but hints, 1 when it finds something, -1
// with the failure.
int RunCheck(const cli::Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, WithSitemapOptions({"url", "sitemap", "format", "project", "working-dir", "jobs"}), "check",
                     error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    SitemapParameters parameters;
    std::string folder;
    if (ReadSite(args, "check", folder, parameters, failure) != 0)
        return -1;
    const std::string format = args.value("format", "text");
    if (format != "text" && format != "tsv") {
        failure = {kUsageError, "--format must be text or tsv, not '" + format + "'"};
        return -1;
    }
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
    ScanResult scan;
    if (Walk(scan, folder, settings, failure) != 0)
        return -1;
    CheckReport report;
    if (CheckSitemap(scan.tree, parameters, args.value("sitemap"), report, error) != 0) {
        failure = {kFailure, error};
        return -1;
    }
    for (const std::string& note : report.notes)
        std::cerr << "larkspur-cli: " << note << '\n';
    if (format == "tsv")
        cli::PrintCheckFindings(std::cout, report);
    else
        cli::PrintCheckReport(std::cout, report);
    return report.problems() ? 1 : 0;
}

int RunCsvToXml(const cli::Arguments& args, Failure& failure)
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

int RunProjectList(const cli::Arguments& args, Failure& failure)
{
    if (CheckAllowed(args, {"working-dir"}, "projects", failure.message) != 0) {
        failure.status = kUsageError;
        return -1;
    }
    ProjectStore store;
    if (OpenStore(args, store, failure) != 0)
        return -1;
    for (int row = 0; row < store.count(); ++row) {
        const ProjectRecord& r = store.project(row);
        std::cout << r.name << '\t' << r.localPath << '\t' << r.websiteUrl << '\t' << PriorityText(r.priorityIndex)
                  << '\t' << FrequencyText(r.frequencyIndex) << '\n';
    }
    return 0;
}

int RunProjectAdd(const cli::Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, WithSitemapOptions({"path", "url", "priority", "changefreq", "working-dir"}), "projects add", error) != 0
        || args.words.size() != 3 || !args.has("path") || !args.has("url")) {
        failure = {kUsageError, error.empty() ? "projects add takes NAME, --path FOLDER and --url BASE" : error};
        return -1;
    }
    int priority = kDefaultPriority;
    int frequency = kDefaultFrequency;
    SitemapOptions options;
    if (ReadScales(args, priority, frequency, error) != 0 || ReadSitemapOptions(args, options, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    if (CheckBaseUrl(args.value("url"), kUsageError, failure) != 0)
        return -1;
    if (args.words[2].empty()) {
        failure = {kUsageError, "a project needs a name"};
        return -1;
    }
    ProjectStore store;
    if (OpenStore(args, store, failure, true) != 0)
        return -1;
    const int row = store.add(args.words[2], error);
    if (row < 0 || store.setFolder(row, args.value("path"), error) != 0 || store.setUrl(row, args.value("url"), error) != 0) {
        failure = {kFailure, error};
        return -1;
    }
    store.setPriority(row, priority);
    store.setFrequency(row, frequency);
    store.setOptions(row, options);
    return SaveStore(store, failure);
}

int RunProjectSet(const cli::Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, WithSitemapOptions({"path", "url", "priority", "changefreq", "working-dir"}), "projects set", error) != 0
        || args.words.size() != 3) {
        failure = {kUsageError, error.empty() ? "projects set takes NAME and the fields to change" : error};
        return -1;
    }
    // The same checks as projects add: a stored field outlives this run.
    if (args.has("url") && CheckBaseUrl(args.value("url"), kUsageError, failure) != 0)
        return -1;
    ProjectStore store;
    const int row = OpenStore(args, store, failure, true) == 0 ? FindNamed(store, args.words[2], failure) : -1;
    if (row < 0)
        return -1;
    int priority = store.project(row).priorityIndex;
    int frequency = store.project(row).frequencyIndex;
    SitemapOptions options = store.options(row);
    if (ReadScales(args, priority, frequency, error) != 0 || ReadSitemapOptions(args, options, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    if ((args.has("path") && store.setFolder(row, args.value("path"), error) != 0)
        || (args.has("url") && store.setUrl(row, args.value("url"), error) != 0)) {
        failure = {kFailure, error};
        return -1;
    }
    store.setPriority(row, priority);
    store.setFrequency(row, frequency);
    // Stored values no option understands are replaced here, by what was
    // given or the default: the way to repair them.
    for (const OptionProblem& problem : store.optionProblems(row))
        std::cerr << "larkspur-cli: " << problem.message << ": replaced\n";
    store.setOptions(row, options);
    return SaveStore(store, failure);
}

int RunProjectShow(const cli::Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, {"working-dir"}, "projects show", error) != 0 || args.words.size() != 3) {
        failure = {kUsageError, error.empty() ? "projects show takes NAME" : error};
        return -1;
    }
    ProjectStore store;
    const int row = OpenStore(args, store, failure) == 0 ? FindNamed(store, args.words[2], failure) : -1;
    if (row < 0)
        return -1;
    const ProjectRecord& r = store.project(row);
    std::cout << "name: " << r.name << "\npath: " << r.localPath << "\nurl: " << r.websiteUrl
              << "\npriority: " << PriorityText(r.priorityIndex) << "\nchangefreq: "
              << FrequencyText(r.frequencyIndex) << '\n';
    // An option whose stored value cannot be read is named, not shown.
    const std::vector<OptionProblem>& problems = store.optionProblems(row);
    for (const OptionField& field : SitemapOptionFields()) {
        if (std::any_of(problems.begin(), problems.end(), [&](const OptionProblem& p) { return p.key == field.key; }))
            continue;
        const std::vector<std::string> values = field.get(store.options(row));
        if (values.empty())
            std::cout << field.key << ":\n";
        for (const std::string& value : values)
            std::cout << field.key << ':' << (value.empty() ? "" : " ") << value << '\n';
    }
    for (const OptionProblem& problem : problems)
        failure.message += (failure.message.empty() ? "" : "\nlarkspur-cli: ") + problem.message;
    return problems.empty() ? 0 : -1;
}

int RunProjectRemove(const cli::Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, {"working-dir"}, "projects remove", error) != 0 || args.words.size() != 3) {
        failure = {kUsageError, error.empty() ? "projects remove takes NAME" : error};
        return -1;
    }
    ProjectStore store;
    const int row = OpenStore(args, store, failure, true) == 0 ? FindNamed(store, args.words[2], failure) : -1;
    if (row < 0)
        return -1;
    store.remove(row);
    return SaveStore(store, failure);
}

// Prints the working directory in force, or stores a new one where both
// programs read it: a server has no window to choose it in.
int RunWorkingDir(const cli::Arguments& args, Failure& failure)
{
    if (CheckAllowed(args, {"working-dir"}, "working-dir", failure.message) != 0 || args.words.size() > 2
        || (args.words.size() == 2 && args.has("working-dir"))) {
        failure = {kUsageError, failure.message.empty() ? "working-dir takes at most one DIR, and not with --working-dir"
                                                        : failure.message};
        return -1;
    }
    if (args.words.size() == 1) {
        std::string folder;
        const std::string given = args.value("working-dir");
        switch (FindWorkingDirectory(args.has("working-dir") ? &given : nullptr, folder)) {
        case WorkingDirectoryOrigin::None:
            failure = {kFailure, kNoWorkingDirectory};
            return -1;
        case WorkingDirectoryOrigin::Given:
            std::cerr << "larkspur-cli: given by --working-dir\n";
            break;
        case WorkingDirectoryOrigin::Environment:
            std::cerr << "larkspur-cli: set by " << kWorkingDirectoryVariable << '\n';
            break;
        case WorkingDirectoryOrigin::Stored:
            std::cerr << "larkspur-cli: stored in " << SettingsFileName() << '\n';
            break;
        }
        std::cout << folder << '\n';
        return 0;
    }
    std::string folder;
    std::string error;
    if (const int reason = platform::FolderError(args.words[1]); reason != 0) {
        failure = {kFailure, args.words[1] + ": " + platform::SystemMessage(reason)};
        return -1;
    }
    // Stored absolute: the value is read from any current folder later.
    if (platform::CanonicalPath(args.words[1], folder, error) != 0) {
        failure = {kFailure, args.words[1] + ": " + error};
        return -1;
    }
    if (WriteWorkingDirectory(folder) != 0) {
        failure = {kFailure, "cannot write the settings file " + SettingsFileName()};
        return -1;
    }
    if (!g_quiet)
        std::cout << folder << " stored in " << SettingsFileName() << ".\n";
    if (const char* variable = std::getenv(kWorkingDirectoryVariable); variable && *variable)
        std::cerr << "larkspur-cli: " << kWorkingDirectoryVariable << " (" << variable << ") is set and comes first\n";
    return 0;
}

int RunProjects(const cli::Arguments& args, Failure& failure)
{
    const std::string sub = args.words.size() > 1 ? args.words[1] : "";
    if (sub.empty())
        return RunProjectList(args, failure);
    if (sub == "add")
        return RunProjectAdd(args, failure);
    if (sub == "set")
        return RunProjectSet(args, failure);
    if (sub == "show")
        return RunProjectShow(args, failure);
    if (sub == "remove")
        return RunProjectRemove(args, failure);
    failure = {kUsageError, "unknown projects command '" + sub + "'"};
    return -1;
}

int Run(const std::vector<std::string>& words)
{
    cli::Arguments args;
    std::string error;
    if (cli::ParseArguments(words, AllOptions(), args, error) != 0)
        return Report({kUsageError, error});
    // Quiet leaves standard error to the failure, if any.
    if (args.has("quiet")) {
        g_quiet = true;
        g_errors = std::cerr.rdbuf(nullptr);
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
