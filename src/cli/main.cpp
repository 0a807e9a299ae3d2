// larkspur-cli: the sitemap engine for scripts and deploy pipelines.
#include <cerrno>
#include <deque>
#include <iostream>
#include <string>
#include <vector>

#include "arguments.h"
#include "platform.h"
#include "project_options.h"
#include "projects/projects.h"
#include "scan/scan.h"
#include "select/selection.h"
#include "settings.h"
#include "sitemap/sitemap.h"

using namespace larkspur;

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsageError = 2;

constexpr const char* kUsage = R"(Usage: larkspur-cli COMMAND [ARGUMENTS] [OPTIONS]

Writes sitemaps for a web site kept as a folder on the local disk.

Commands:
  stats FOLDER [--jobs N]
      Walks FOLDER and prints its statistics: all files, empty files and the
      number of files per extension, one line each.
  xml|txt|csv FOLDER --url BASE [--priority P] [--changefreq F] [--output FILE|-]
              [SITEMAP OPTIONS]
  xml|txt|csv --project NAME [--priority P] [--changefreq F] [--output FILE|-]
              [SITEMAP OPTIONS]
      Walks the site and writes sitemap.xml, sitemap.txt or sitemap.csv into
      the site folder (or FILE; "-" writes to standard output). Only
      non-empty .html and .htm files become entries. With --project the
      folder, URL, priority, change frequency and sitemap options come from
      a saved project; options given here override them for this run.
  csv2xml FILE.csv [--url BASE]
      Converts a (hand-edited) sitemap CSV into FILE.xml beside it. Rows
      whose first field is not an http:// or https:// URL are skipped. Past
      50,000 rows FILE.xml becomes an index of FILE1.xml, FILE2.xml, ...
      whose addresses start with BASE, the address of the CSV's folder
      (default: the root of the rows' one host).
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

Options:
  --url BASE          the site's address, http:// or https://
  --priority P        0.0, 0.1, ... 1.0 (default 0.6)
  --changefreq F      always, hourly, daily, weekly, monthly, yearly or never
                      (default weekly)
  --output FILE|-     where to write the sitemap instead of the site folder
  --jobs N            threads that walk the site folder, 1 to 64 (default: one
                      per core, 8 at most); the output is the same
  --project NAME      use a saved project
  --path FOLDER       the site folder of a new project
  --working-dir DIR   the folder that holds saving.dat (default: the one the
                      desktop program stores in its settings)
  -h, --help          this text
  --version           the program's version

Sitemap options (stored per project beside saving.dat):
%OPTIONS%
Exit status: 0 on success, 1 on failure (nothing written), 2 on a usage error.
)";

const std::vector<cli::OptionInfo> kOptions = {
    {"url", true},     {"priority", true}, {"changefreq", true}, {"output", true},
    {"project", true}, {"path", true},     {"working-dir", true}, {"help", false},
    {"version", false}, {"jobs", true},
};

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

bool HasSitemapOptions(const cli::Arguments& args)
{
    for (const OptionField& field : SitemapOptionFields()) {
        if (args.has(field.key) || (field.kind == OptionKind::Flag && args.has(NoFlag(field))))
            return true;
    }
    return false;
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

struct Failure {
    int status;
    std::string message;
};

bool HasControlCharacter(const std::string& text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

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
    std::cerr << "larkspur-cli: " << failure.message << '\n';
    if (failure.status == kUsageError)
        std::cerr << "Try 'larkspur-cli --help'.\n";
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

int WorkingDirectory(const cli::Arguments& args, std::string& folder, std::string& error)
{
    if (args.has("working-dir"))
        folder = args.value("working-dir");
    else if (ReadWorkingDirectory(folder) != 0) {
        error = "no working directory is set: start larkspur once, or pass --working-dir";
        return -1;
    }
    if (const int reason = platform::FolderError(folder); reason != 0) {
        error = "working directory " + folder + ": " + platform::SystemMessage(reason);
        return -1;
    }
    return 0;
}

// With `lock`, the table is read under the working directory's lock, held
// until the caller has written it back: two programs changing the projects at
// once then queue instead of losing each other's change.
int LoadTable(const cli::Arguments& args, ProjectTable& table, std::string& folder, Failure& failure,
              ProjectFileLock* lock = nullptr)
{
    std::string error;
    if (WorkingDirectory(args, folder, error) != 0) {
        failure = {kFailure, error};
        return -1;
    }
    if (lock && lock->lock(folder, error) != 0) {
        failure = {kFailure, "cannot lock the project table: " + error};
        return -1;
    }
    if (LoadProjects(table, folder, nullptr, &error) != 0) {
        failure = {kFailure, "cannot read the project table: " + error};
        return -1;
    }
    return 0;
}

// The table, and the slot of the saved project `name` in it (its sitemap
// options read into the record when `withOptions`); -1 with the failure.
int LoadNamedProject(const cli::Arguments& args, const std::string& name, ProjectTable& table, std::string& folder,
                     Failure& failure, bool withOptions, ProjectFileLock* lock = nullptr)
{
    if (LoadTable(args, table, folder, failure, lock) != 0)
        return -1;
    const int slot = FindProject(table, name);
    if (slot < 0) {
        failure = {kFailure, "no project named '" + name + "'"};
        return -1;
    }
    ProjectRecord& record = table.slots[static_cast<std::size_t>(slot)];
    std::string error;
    if (withOptions && LoadProjectOptions(folder, record.name, record.options, &error) != 0) {
        failure = {kFailure, error};
        return -1;
    }
    return slot;
}

void WarnTooLong(long long pages)
{
    if (pages > 0)
        std::cerr << "larkspur-cli: " << pages << " page(s) left out: URL longer than " << kMaxUrlLength
                  << " characters\n";
}

// What the page and date options left out or could not do.
void WarnOptions(const SaveReport& report)
{
    if (report.noindex > 0)
        std::cerr << "larkspur-cli: " << report.noindex << " page(s) left out: marked noindex\n";
    if (report.canonicalElsewhere > 0)
        std::cerr << "larkspur-cli: " << report.canonicalElsewhere
                  << " page(s) left out: their canonical URL is another page's\n";
    if (report.fileDates - report.beyondHistory > 0)
        std::cerr << "larkspur-cli: " << report.fileDates - report.beyondHistory
                  << " page(s) keep their file time: not committed as they are\n";
    if (report.beyondHistory > 0)
        std::cerr << "larkspur-cli: the git history ends before " << report.beyondHistory
                  << " page(s) were last changed (a shallow clone); they keep their file time\n";
    if (!report.robotsTxtSkipped.empty())
        std::cerr << "larkspur-cli: " << report.robotsTxtSkipped << "\n";
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
    if (CheckAllowed(args, {"working-dir", "jobs"}, "stats", failure.message) != 0 || args.words.size() != 2) {
        failure = {kUsageError, failure.message.empty() ? "stats takes one FOLDER" : failure.message};
        return -1;
    }
    WalkSettings settings;
    if (ReadJobs(args, settings, failure) != 0)
        return -1;
    ScanResult scan;
    if (Walk(scan, args.words[1], settings, failure) != 0)
        return -1;
    for (const StatLine& line : StatisticsLines(scan))
        std::cout << line.text << '\n';
    return 0;
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
    if (args.has("project")) {
        if (args.words.size() != 1 || args.has("url")) {
            failure = {kUsageError, command + " --project takes no FOLDER and no --url"};
            return -1;
        }
        ProjectTable table;
        std::string workingDirectory;
        const int slot = LoadNamedProject(args, args.value("project"), table, workingDirectory, failure, true);
        if (slot < 0)
            return -1;
        folder = table.slots[slot].localPath;
        parameters = ParametersOf(table.slots[slot]);
    } else {
        if (args.words.size() != 2 || !args.has("url")) {
            failure = {kUsageError, command + " takes one FOLDER and --url BASE"};
            return -1;
        }
        folder = args.words[1];
        parameters.websiteUrl = args.value("url");
    }
    if (ReadScales(args, parameters.priorityIndex, parameters.frequencyIndex, error) != 0
        || ReadSitemapOptions(args, parameters.options, error) != 0) {
        failure = {kUsageError, error};
        return -1;
    }
    if (args.has("output") && args.value("output").empty()) {
        failure = {kUsageError, "option --output needs a file name, or - for standard output"};
        return -1;
    }
    if (CheckBaseUrl(parameters.websiteUrl, args.has("project") ? kFailure : kUsageError, failure) != 0)
        return -1;
    WalkSettings settings;
    if (ReadJobs(args, settings, failure) != 0)
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
    if (output == "-") {
        if (WriteSitemap(std::cout, format, scan.tree, parameters, &saved, {}, &error) != 0) {
            failure = {kFailure, error.empty() ? OutputFailure() : error};
            return -1;
        }
    } else {
        if (SaveSitemap(output, format, scan.tree, parameters, &error, &saved, limits) != 0) {
            failure = {kFailure, error};
            return -1;
        }
        // A device or a pipe gets the sitemap alone: with --output /dev/stdout
        // a line after it would become part of it.
        if (!saved.intoDevice) {
            for (const std::string& file : saved.files)
                std::cout << file << " saved.\n";
        }
        if (!saved.robotsTxt.empty())
            std::cout << saved.robotsTxt << " now lists the sitemap.\n";
    }
    WarnTooLong(saved.tooLong);
    if (saved.overLimit)
        std::cerr << "larkspur-cli: warning: " << (output == "-" ? std::string("standard output") : output)
                  << " holds one sitemap of " << saved.urls << " URLs, over the protocol's limit for one file ("
                  << limits.maxUrls << " URLs, "
                  << (limits.maxBytes != 0 ? limits.maxBytes : ProtocolByteLimit(parameters.options.protocol))
                  << " bytes); only a file can be split\n";
    WarnOptions(saved);
    return 0;
}

int RunCsvToXml(const cli::Arguments& args, Failure& failure)
{
    if (CheckAllowed(args, {"url", "working-dir"}, "csv2xml", failure.message) != 0 || args.words.size() != 2) {
        failure = {kUsageError, failure.message.empty() ? "csv2xml takes one FILE.csv" : failure.message};
        return -1;
    }
    if (args.has("url") && CheckBaseUrl(args.value("url"), kUsageError, failure) != 0)
        return -1;
    const std::string& csv = args.words[1];
    std::string message;
    if (CheckCsvPath(csv, message) != 0) {
        failure = {kFailure, csv + ": " + message};
        return -1;
    }
    std::string xml;
    XmlPathForCsv(csv, xml);
    ConvertReport report;
    if (ConvertCsvToXml(csv, xml, &report, &message, {}, args.value("url")) != 0) {
        failure = {kFailure, message};
        return -1;
    }
    if (report.linesSkipped > 0)
        std::cerr << "larkspur-cli: " << report.linesSkipped
                  << " line(s) skipped: not four comma-separated fields starting with an http:// or https:// URL\n";
    WarnTooLong(report.tooLong);
    for (const std::string& file : report.files)
        std::cout << platform::FileName(file) << " created.\n";
    return 0;
}

int RunProjects(const cli::Arguments& args, Failure& failure)
{
    std::string error;
    const std::string sub = args.words.size() > 1 ? args.words[1] : "";
    ProjectTable table;
    std::string workingDirectory;
    ProjectFileLock lock;
    if (sub.empty()) {
        if (CheckAllowed(args, {"working-dir"}, "projects", error) != 0) {
            failure = {kUsageError, error};
            return -1;
        }
        if (LoadTable(args, table, workingDirectory, failure) != 0)
            return -1;
        for (int i = 0; i < table.projectCount; ++i) {
            const ProjectRecord& r = table.slots[i];
            std::cout << r.name << '\t' << r.localPath << '\t' << r.websiteUrl << '\t'
                      << PriorityText(r.priorityIndex) << '\t' << FrequencyText(r.frequencyIndex) << '\n';
        }
        return 0;
    }
    if (sub == "add") {
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
        const std::string& name = args.words[2];
        if (name.empty()) {
            failure = {kUsageError, "a project needs a name"};
            return -1;
        }
        if (LoadTable(args, table, workingDirectory, failure, &lock) != 0)
            return -1;
        if (FitField(name) != name) {
            failure = {kFailure, "a project name holds at most 259 bytes"};
            return -1;
        }
        // The list is one project per line, its fields separated by tabs.
        if (HasControlCharacter(name)) {
            failure = {kFailure, "a project name may not hold tabs, line breaks or other control characters"};
            return -1;
        }
        if (HasControlCharacter(args.value("path")) || HasControlCharacter(args.value("url"))) {
            failure = {kFailure, "a project's folder and URL may not hold tabs, line breaks or other control characters"};
            return -1;
        }
        if (FindProject(table, name) >= 0) {
            failure = {kFailure, "a project named '" + name + "' exists already"};
            return -1;
        }
        const int slot = AddProject(table, name);
        if (slot < 0) {
            failure = {kFailure, "32 projects in Maximum"};
            return -1;
        }
        ProjectRecord& record = table.slots[slot];
        record.localPath = StoredFolder(args.value("path"));
        record.websiteUrl = args.value("url");
        record.priorityIndex = priority;
        record.frequencyIndex = frequency;
        record.options = options;
        // Stored even when all are defaults: a group an older program left
        // under this name must not pass to the new project.
        record.optionsEdited = true;
        if (FitField(record.localPath) != record.localPath || FitField(record.websiteUrl) != record.websiteUrl) {
            failure = {kFailure, "the folder and the URL of a project hold at most 259 bytes each"};
            return -1;
        }
    } else if (sub == "set") {
        if (CheckAllowed(args, WithSitemapOptions({"path", "url", "priority", "changefreq", "working-dir"}),
                         "projects set", error) != 0
            || args.words.size() != 3) {
            failure = {kUsageError, error.empty() ? "projects set takes NAME and the fields to change" : error};
            return -1;
        }
        // The same checks as projects add: a stored field outlives this run.
        if (args.has("url") && CheckBaseUrl(args.value("url"), kUsageError, failure) != 0)
            return -1;
        if (HasControlCharacter(args.value("path")) || HasControlCharacter(args.value("url"))) {
            failure = {kFailure, "a project's folder and URL may not hold tabs, line breaks or other control characters"};
            return -1;
        }
        const int slot = LoadNamedProject(args, args.words[2], table, workingDirectory, failure, true, &lock);
        if (slot < 0)
            return -1;
        ProjectRecord& record = table.slots[slot];
        int priority = record.priorityIndex;
        int frequency = record.frequencyIndex;
        if (ReadScales(args, priority, frequency, error) != 0
            || ReadSitemapOptions(args, record.options, error) != 0) {
            failure = {kUsageError, error};
            return -1;
        }
        record.priorityIndex = priority;
        record.frequencyIndex = frequency;
        if (args.has("path"))
            record.localPath = StoredFolder(args.value("path"));
        if (args.has("url"))
            record.websiteUrl = args.value("url");
        record.optionsEdited = HasSitemapOptions(args);
        if (FitField(record.localPath) != record.localPath || FitField(record.websiteUrl) != record.websiteUrl) {
            failure = {kFailure, "the folder and the URL of a project hold at most 259 bytes each"};
            return -1;
        }
    } else if (sub == "show") {
        if (CheckAllowed(args, {"working-dir"}, "projects show", error) != 0 || args.words.size() != 3) {
            failure = {kUsageError, error.empty() ? "projects show takes NAME" : error};
            return -1;
        }
        const int slot = LoadNamedProject(args, args.words[2], table, workingDirectory, failure, true);
        if (slot < 0)
            return -1;
        const ProjectRecord& r = table.slots[slot];
        std::cout << "name: " << r.name << "\npath: " << r.localPath << "\nurl: " << r.websiteUrl
                  << "\npriority: " << PriorityText(r.priorityIndex) << "\nchangefreq: "
                  << FrequencyText(r.frequencyIndex) << '\n';
        for (const OptionField& field : SitemapOptionFields()) {
            const std::vector<std::string> values = field.get(r.options);
            if (values.empty())
                std::cout << field.key << ":\n";
            for (const std::string& value : values)
                std::cout << field.key << ':' << (value.empty() ? "" : " ") << value << '\n';
        }
        return 0;
    } else if (sub == "remove") {
        if (CheckAllowed(args, {"working-dir"}, "projects remove", error) != 0 || args.words.size() != 3) {
            failure = {kUsageError, error.empty() ? "projects remove takes NAME" : error};
            return -1;
        }
        const int slot = LoadNamedProject(args, args.words[2], table, workingDirectory, failure, false, &lock);
        if (slot < 0)
            return -1;
        RemoveProject(table, slot);
    } else {
        failure = {kUsageError, "unknown projects command '" + sub + "'"};
        return -1;
    }
    if (SaveProjects(table, workingDirectory, &error) != 0) {
        failure = {kFailure, "Failed to save application data! " + error};
        return -1;
    }
    // Beside saving.dat, still under its lock.
    int stored = 0;
    if (sub == "remove") {
        stored = RemoveProjectOptions(workingDirectory, args.words[2], &error);
    } else {
        const ProjectRecord& record = table.slots[FindProject(table, args.words[2])];
        if (record.optionsEdited)
            stored = StoreProjectOptions(workingDirectory, record.name, record.options, &error);
    }
    if (stored != 0) {
        failure = {kFailure, "cannot save the project's sitemap options: " + error};
        return -1;
    }
    return 0;
}

int Run(const std::vector<std::string>& words)
{
    cli::Arguments args;
    std::string error;
    if (cli::ParseArguments(words, AllOptions(), args, error) != 0)
        return Report({kUsageError, error});
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
