// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// sitemap.csv: its fields written and read back, and its conversion into an
// XML sitemap.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "options/options.h"
#include "sitemap/xml.h"

namespace larkspur {

// A field of sitemap.csv, quoted when it holds a comma or a double quote.
std::string CsvField(std::string_view text);
void AppendCsvField(std::string& out, std::string_view text);

// ----- CSV reading

struct FieldList {
    std::vector<std::string> fields;
};

// Splits a line into fields; RFC 4180 quoting is understood. 0, or -1 with
// no fields. Empty fields past kMaxFields, or past one field per three
// characters of the line, are dropped.
constexpr std::size_t kMaxFields = 64;
int SplitFields(FieldList& list, std::string_view line, char separator);

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
    // Rows written with a lastmod, changefreq or priority that the sitemap
    // schema does not take (a date a spreadsheet wrote as 1/5/2024, say),
    // and what the first of them holds.
    long long valuesNotValid = 0;
    std::string firstValueNotValid;
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
