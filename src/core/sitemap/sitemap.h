// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// URL building, escaping, the three sitemap writers and the CSV to XML
// conversion.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "options/options.h"
#include "projects/projects.h"
#include "scan/scan.h"

namespace larkspur {

inline constexpr const char* kSitemapNamespace = "http://www.google.com/schemas/sitemap/0.84";
inline constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* kSitemapSchema = "http://www.google.com/schemas/sitemap/0.84/sitemap.xsd";

// The start of every XML sitemap (lines end in CR LF, as they always have),
// its end, and one url element with its four texts, already escaped; an
// empty lastmod, changefreq or priority leaves that element out.
extern const char* const kUrlsetHead;
extern const char* const kUrlsetTail;
extern const char* const kSitemapIndexHead;
extern const char* const kSitemapIndexTail;
void AppendUrlElement(std::string& out, std::string_view loc, std::string_view lastmod,
                      std::string_view changefreq, std::string_view priority);
// The same heads in a protocol's namespace.
const char* UrlsetHead(Protocol protocol);
const char* SitemapIndexHead(Protocol protocol);

// "&" "'" '"' "<" ">" as XML's predefined entities.
std::string EscapeXml(std::string_view text);
void AppendXml(std::string& out, std::string_view text);

// The longest URL a sitemap may list; longer ones are left out.
constexpr std::size_t kMaxUrlLength = 2048;
// Every byte but A-Z a-z 0-9 - . _ ~ ! $ & ' ( ) * + , ; = : @ as %XX.
std::string EscapePathSegment(std::string_view segment);

// Checks an absolute http(s) URL and gives it back with scheme and host in
// lower case, a host name that is not ASCII in its "xn--" form, unsafe bytes
// of its path escaped and a trailing "/", ready to have a relative path
// appended. -1 for anything else, a user name or password included;
// `problem` then says why when there is more to say than "not a URL".
int NormalizeBaseUrl(std::string_view url, std::string& base, std::string* problem = nullptr);
// The length of a leading "http://" or "https://" in any case, else 0.
std::size_t HttpSchemeEnd(std::string_view url);

// The plain URL of an entry: base URL plus its escaped relative path.
int MakePlainEntryUrl(std::string_view websiteUrl, const FileEntry& entry, std::string& url);
// The same, XML-escaped: the text of sitemap.xml and sitemap.csv.
int MakeEntryUrl(const ProjectRecord& record, const FileEntry& entry, std::string& url);
// The address of the folder that holds `path`, when that folder lies in
// `siteFolder`, the site published at `siteUrl`; -1 when it lies elsewhere.
int FolderUrlInSite(std::string_view siteUrl, const std::string& siteFolder, const std::string& path,
                    std::string& url);

// The UTC calendar date of a time, as YYYY-MM-DD; empty outside the years
// 1 to 9999.
std::string FormatDate(std::int64_t secondsSince1970);

enum class SitemapFormat { Xml, Text, Csv };
const char* SitemapFileName(SitemapFormat format);  // "sitemap.xml", ...

// The settings a writer needs besides the tree.
struct SitemapParameters {
    SitemapParameters() = default;
    SitemapParameters(std::string url, int priority, int frequency, SitemapOptions sitemapOptions = {})
        : websiteUrl(std::move(url)), priorityIndex(priority), frequencyIndex(frequency),
          options(std::move(sitemapOptions))
    {
    }

    std::string websiteUrl;
    int priorityIndex = kDefaultPriority;
    int frequencyIndex = kDefaultFrequency;
    SitemapOptions options;
};

// The protocol's limits for one sitemap file. Tests lower them.
struct OutputLimits {
    std::size_t maxUrls = 50000;
    std::size_t maxBytes = 0;  // 0: the protocol's
    std::int64_t now = -1;  // the date of an index; -1: the clock
    // The user named this output: a device or a pipe there is written into
    // (one document, never split), as cp does. Otherwise such a thing in
    // the place of a sitemap is replaced like any other file.
    bool writeIntoDevices = false;
};

struct SaveReport {
    long long urls = 0;
    long long tooLong = 0;           // pages left out: URL past kMaxUrlLength
    long long noindex = 0;           // pages left out: robots meta noindex
    long long canonicalElsewhere = 0;  // pages left out: their canonical URL is another
    long long unreadHeads = 0;       // pages kept: their head could not be read to the end
    long long robotsDisallowed = 0;    // pages left out: the site's robots.txt disallows them
    // Dates from git: pages that kept their file time, and of those, the
    // committed pages older than a shallow clone and the pages in a submodule
    // (the rest are not committed as they are).
    long long fileDates = 0;
    long long beyondHistory = 0;
    long long inSubmodule = 0;
    std::vector<std::string> files;  // every file written, the index first
    // An XML sitemap past the limits for one file written as one document
    // all the same: to a stream, a device or a pipe, which cannot be split.
    bool overLimit = false;
    bool intoDevice = false;  // written into a device or a pipe named as the output
    // robots.txt, when it was to list the sitemap: the file when lines were
    // added or removed, and why it was not touched when it could not be.
    std::string robotsTxt;
    std::string robotsTxtSkipped;
    // Whatever else a user should hear of: files left alone, addresses the
    // sitemap could not give. One sentence each, no final stop.
    std::vector<std::string> notes;
};

// SaveSitemap's result when the sitemap was saved but robots.txt could not
// be updated.
constexpr int kRobotsTxtNotUpdated = 1;

// Writers: one stream, the walked tree, the parameters. 0, or -1 (with the
// reason in `error` when it is not the stream's) when the tree is not walked,
// the URL is not valid, the git history cannot be read or the stream failed.
// Written to a stream, a sitemap is never split; `limits` only say when it is
// too big. With the gzip option the stream receives it compressed.
int WriteSitemap(std::ostream& out, SitemapFormat format, const ScanTree& tree,
                 const SitemapParameters& parameters, SaveReport* report = nullptr,
                 const OutputLimits& limits = {}, std::string* error = nullptr);

// Writes `path` through a temporary file; -1 with a message on failure, the
// previous file then untouched. An XML sitemap past the limits becomes an
// index of NAME1.xml, NAME2.xml, ... written beside it, listed at the
// address of their folder when it lies in the site folder. A text sitemap
// past them becomes NAME1.txt, NAME2.txt, ... listed by the index
// NAME-index.xml, and `path` is removed: text has no index of its own, and a
// sitemap.txt left behind would list pages that may be gone. Parts and an
// index that an earlier, larger sitemap left are removed when that index
// lists nothing but them. A `path` ending in ".gz" is compressed, as with
// the gzip option (not a CSV). kRobotsTxtNotUpdated, with the reason in
// `error`, when the sitemap was saved and robots.txt could not be updated.
int SaveSitemap(const std::string& path, SitemapFormat format, const ScanTree& tree,
                const SitemapParameters& parameters, std::string* error = nullptr,
                SaveReport* report = nullptr, const OutputLimits& limits = {});

// A field of sitemap.csv, quoted when it holds a comma or a double quote.
std::string CsvField(std::string_view text);
void AppendCsvField(std::string& out, std::string_view text);

// ----- CSV reading

struct FieldList {
    bool ready = false;
    char separator = ',';
    std::vector<std::string> fields;
};

// Removes leading and trailing white space in place.
void TrimSpaces(std::string& text);
// Splits a line into fields; RFC 4180 quoting is understood. 0 or -1.
int SplitFields(FieldList& list, std::string_view line, char separator);
int FieldCount(const FieldList& list);
int GetField(const FieldList& list, int index, std::string& field);
void ReleaseFields(FieldList& list);

// Copies a field into XML: "<", ">" and a bare "&" escaped, entities and
// character references kept.
std::string EscapeXmlKeepingReferences(std::string_view text);
// "2006-3-7" becomes "2006-03-07"; any other text is returned unchanged.
std::string PadDate(std::string_view text);

// The XML path for a CSV path (".csv" in any case replaced by ".xml"); -1
// when the path does not end in ".csv".
int XmlPathForCsv(const std::string& csvPath, std::string& xmlPath);
// The check of a CSV path as the conversion dialog shows it: 0 with
// "NAME.xml will be created in same folder!" (or "NAME.xml exists and will
// be replaced!"; NAME.xml.gz with `gzip`), or -1 with the reason.
int CheckCsvPath(const std::string& csvPath, std::string& message, bool gzip = false);

struct ConvertReport {
    long long rowsWritten = 0;
    // Not blank, not the head line, still unusable: not four fields, or no
    // absolute http or https address first.
    long long linesSkipped = 0;
    long long tooLong = 0;       // rows left out: URL past kMaxUrlLength
    std::vector<std::string> files;  // every file written, the index first
};
int ConvertCsvToXml(std::istream& csv, std::ostream& xml, ConvertReport* report = nullptr);
// Past the limits the XML becomes an index of NAME1.xml, ... written beside
// it, whose entries start with `folderUrl`, the address of the CSV's folder;
// without it, with the root of the rows' site, and rows on more than one
// site are then refused. Of `options` the protocol and gzip count (gzip:
// NAME.xml.gz and NAME1.xml.gz, ...). Rows of which none is usable fail,
// the XML already there kept; a CSV of no rows gives an empty sitemap.
int ConvertCsvToXml(const std::string& csvPath, const std::string& xmlPath,
                    ConvertReport* report = nullptr, std::string* error = nullptr,
                    const OutputLimits& limits = {}, std::string_view folderUrl = {},
                    const SitemapOptions& options = {});

}  // namespace larkspur
