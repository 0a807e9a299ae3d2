// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "usage.h"

#include <deque>

#include "common.h"

namespace larkspur::cli {

namespace {

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
                      a name ending in .gz is compressed (not for csv)
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

const std::vector<OptionInfo> kOptions = {
    {"url", true, 'u'},     {"priority", true}, {"changefreq", true}, {"output", true, 'o'},
    {"project", true, 'p'}, {"path", true},     {"working-dir", true}, {"quiet", false, 'q'},
    {"help", false, 'h'},   {"version", false}, {"sitemap", true},     {"format", true},
    {"jobs", true},
};

}  // namespace

const std::vector<OptionInfo>& AllOptions()
{
    static std::deque<std::string> names;  // keeps the names the table points to
    static const std::vector<OptionInfo> all = [] {
        std::vector<OptionInfo> list = kOptions;
        for (const OptionField& field : SitemapOptionFields()) {
            list.push_back({field.key, field.kind != OptionKind::Flag});
            if (field.kind == OptionKind::Flag)
                list.push_back({names.emplace_back(NoFlag(field)).c_str(), false});
        }
        return list;
    }();
    return all;
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

}  // namespace larkspur::cli
