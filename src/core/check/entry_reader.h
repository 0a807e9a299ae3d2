// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The entries of a sitemap's XML, read from the parser's events, and
// libxml2's errors as the check's findings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include "check/sitemap_file.h"
#include "sitemap/xml.h"

namespace larkspur::check_detail {

// libxml2's errors as findings: the schema's as not valid, the parser's as
// not well-formed.
struct ErrorSink {
    std::vector<CheckFinding>* findings;
    const std::string* path;
    // Faults against the schema: a file of a million empty entries has a
    // million. Past the first hundred they are counted, as a text file's
    // faulty lines are.
    long long notValid = 0;
    static constexpr long long kShown = 100;
};

void CollectError(void* data, xmlErrorPtr error);

inline std::string_view Text(const xmlChar* text)
{
    return text ? reinterpret_cast<const char*>(text) : "";
}

// A urlset read by its events alone: true, with its entries in `file`, when
// it is plainly valid; false, with no entries, when it is left to the
// schema's validation.
bool ReadPlainUrlset(const std::string& text, std::string_view ns, SitemapFile& file, ErrorSink& sink);

// The entries of `text` into `file`, validated by `validation` as they are
// read. 1 when the parser met no error, 0 when it did, -1 when the reading
// could not be started.
int ReadValidatedEntries(const std::string& text, std::string_view ns, SitemapFile& file,
                         xmlSchemaValidCtxtPtr validation, ErrorSink& sink);

}  // namespace larkspur::check_detail
