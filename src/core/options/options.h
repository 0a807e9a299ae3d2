// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The choices a site owner makes about what a sitemap lists and how: one plain
// record that travels from the stored settings or the command line to the
// writers, and a table that describes each choice once for every place that
// reads, stores, prints or edits it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

enum class Protocol {
    Google084,   // the namespace Larkspur has always written
    Sitemaps09,  // sitemaps.org, what Search Console expects
};

enum class UrlStyle {
    File,    // every page by its file name
    Folder,  // index.html and index.htm by their folder's URL
    Clean,   // as Folder, and other pages without ".html" / ".htm"
};

// Where a page's <lastmod> comes from.
enum class LastmodSource {
    FileTime,  // the file's last write
    Git,       // the newest commit that changed it
    None,      // no <lastmod> at all
};

// How sitemap lines end. The formats were written with CR LF from the start,
// and files keep it; LF is for reading the output line by line in a shell.
enum class LineEnd {
    CrLf,
    Lf,
};

struct SitemapOptions {
    Protocol protocol = Protocol::Google084;
    std::vector<std::string> exclude;                // .gitignore-style patterns
    std::vector<std::string> extensions{"html", "htm"};  // without the dot
    UrlStyle urlStyle = UrlStyle::File;
    bool omitHints = false;  // no <priority> and <changefreq>
    LastmodSource lastmod = LastmodSource::FileTime;
    bool respectRobots = false;  // leave out pages whose robots meta says noindex
    // The crawler whose group of robots.txt decides with respectRobots.
    std::string robotsAgent = "*";
    bool canonicalOnly = false;  // leave out pages whose canonical link names another URL
    bool robotsTxt = false;      // list the sitemap in the site's robots.txt
    bool gzip = false;           // sitemap.xml.gz and sitemap.txt.gz
    LineEnd newline = LineEnd::CrLf;

    bool operator==(const SitemapOptions&) const = default;
};

// The largest sitemap file the protocol allows, before any compression.
std::size_t ProtocolByteLimit(Protocol protocol);

// ----- the hints of every entry: its priority and how often it changes

constexpr int kPriorityCount = 11;
constexpr int kFrequencyCount = 7;
constexpr int kDefaultPriority = 6;   // "0.6"
constexpr int kDefaultFrequency = 3;  // "weekly"
extern const char* const kPriorityTexts[kPriorityCount];
extern const char* const kFrequencyTexts[kFrequencyCount];

// The texts for an index; a valid default for an index out of range.
const char* PriorityText(int index);
const char* FrequencyText(int index);
// The index of a text, or -1.
int PriorityIndex(std::string_view text);
int FrequencyIndex(std::string_view text);

// ----- one description per option

enum class OptionKind {
    Choice,  // one of a few fixed words
    Flag,    // on or off; "yes" / "no" as text
    Text,    // one free value
    List,    // any number of values; on the command line the option repeats
};

struct OptionField {
    const char* key;        // the command-line option without "--", and the stored key
    OptionKind kind;
    const char* valueName;  // "GLOB", shown in usage texts
    const char* caption;    // the label beside the control in the options dialog
    const char* help;       // one line
    std::vector<std::string> choices;  // Choice: the words; the first is the default
    // The option's value as text: one element, or one per pattern for a List.
    std::vector<std::string> (*get)(const SitemapOptions& options);
    // -1 with a message when a value is not understood; the record is then
    // unchanged. A List's empty values are dropped, so "" clears it.
    int (*set)(SitemapOptions& options, const std::vector<std::string>& values, std::string& error);
};

// Every option, in the order they are shown.
const std::vector<OptionField>& SitemapOptionFields();
const OptionField* FindOptionField(std::string_view key);

// "html,htm,pdf" into {"html", "htm", "pdf"}: spaces around each and a
// leading dot dropped; -1 for an empty list or a name holding "." or "/".
int ParseExtensions(std::string_view text, std::vector<std::string>& extensions, std::string& error);

}  // namespace larkspur
