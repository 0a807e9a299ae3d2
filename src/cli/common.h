// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What the commands of larkspur-cli share: exit statuses, the failure and
// its report, the sitemap options on the command line, the saved projects,
// and the site a command walks.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "arguments.h"
#include "project_store.h"
#include "scan/scan.h"
#include "settings.h"
#include "sitemap/notes.h"
#include "sitemap/url.h"
#include "sitemap/writers.h"

namespace larkspur::cli {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr int kRobotsTxtFailed = 3;  // the sitemap saved, robots.txt not updated

// Set by --quiet: no notes, no warnings, no "saved." lines.
extern bool g_quiet;

inline constexpr const char* kNoWorkingDirectory =
    "no working directory is set: pass --working-dir DIR, set LARKSPUR_WORKING_DIR, or store one with "
    "'larkspur-cli working-dir DIR' (or in the desktop program larkspur)";

struct Failure {
    int status;
    std::string message;
};

// Closes standard error to everything but the failure Report() gives.
void SetQuiet();
int Report(const Failure& failure);
// Why standard output could not be written.
std::string OutputFailure();
// A base URL as every command takes it: -1 with the reason, which keeps
// a password out of the message.
int CheckBaseUrl(const std::string& url, int status, Failure& failure);
// Notes on standard error, one line each.
void PrintNotes(const std::vector<std::string>& notes);
// What the save or the conversion left out or could not do, one line each.
void Warn(const std::vector<Note>& notes);

// ----- sitemap options: one command-line option per field of the options
// table, and "--no-NAME" to turn a flag off again.
std::string NoFlag(const OptionField& field);
std::vector<std::string> WithSitemapOptions(std::initializer_list<const char*> names);
// The options given on the command line, over `options`.
int ReadSitemapOptions(const Arguments& args, SitemapOptions& options, std::string& error);
// Priority, change frequency and the sitemap options given, over `fields`;
// -1 with a usage error.
int ReadFields(const Arguments& args, SitemapParameters& fields, Failure& failure);

// The working directory given, set or stored, and where it came from;
// None, with the failure, when there is none.
WorkingDirectoryOrigin FindWorkingDir(const Arguments& args, std::string& folder, Failure& failure);
// The projects of the working directory given or stored, loaded. With
// `lock` they are read under the working directory's lock, held until they
// are saved: two programs changing the projects at once then queue instead
// of losing each other's change.
int OpenStore(const Arguments& args, ProjectStore& store, Failure& failure, bool lock = false);
// OpenStore, then the row of the saved project `name`; -1 with the failure.
int OpenNamed(const Arguments& args, const std::string& name, ProjectStore& store, Failure& failure,
              bool lock = false);
// The project --project names, for writing or checking its sitemap: one
// whose stored options cannot all be read is refused, so that nothing is
// written with options other than the stored ones.
int OpenProject(const Arguments& args, ProjectStore& store, Failure& failure);
int SaveStore(ProjectStore& store, Failure& failure);
// The priority, change frequency and options of `fields` into the row, saved.
int SaveFields(ProjectStore& store, int row, const SitemapParameters& fields, Failure& failure);

// The site a command works on: a saved project's (--project NAME), or
// FOLDER and --url BASE; first, that no option outside `allowed` and the
// sitemap options is given.
int ReadSite(const Arguments& args, std::initializer_list<const char*> allowed, std::string& folder,
             SitemapParameters& parameters, Failure& failure);
// --jobs, or 0 for the default; -1 with a usage error.
int ReadJobs(const Arguments& args, WalkSettings& settings, Failure& failure);
// The last checks before a walk: the site's address (a stored one that no
// longer reads is a failure, a typed one a usage error), then --jobs.
int ReadAddressAndJobs(const Arguments& args, const SitemapParameters& parameters, WalkSettings& settings,
                       Failure& failure);
int Walk(ScanResult& scan, const std::string& folder, const WalkSettings& settings, Failure& failure);

}  // namespace larkspur::cli
