// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The start of every 0.84 sitemap and sitemap index as Larkspur has always
// written it, byte for byte (lines end in CR LF): what the tests expect,
// written out here rather than taken from the code under test.
#pragma once

#include <string>

namespace larkspur::test {

inline const std::string kHead084 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<urlset xmlns=\"http://www.google.com/schemas/sitemap/0.84\"\r\n"
    "\txmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
    "\txsi:schemaLocation=\"http://www.google.com/schemas/sitemap/0.84\r\n"
    "\thttp://www.google.com/schemas/sitemap/0.84/sitemap.xsd\">\r\n";

inline const std::string kIndexHead084 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<sitemapindex xmlns=\"http://www.google.com/schemas/sitemap/0.84\"\r\n"
    "\txmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
    "\txsi:schemaLocation=\"http://www.google.com/schemas/sitemap/0.84\r\n"
    "\thttp://www.google.com/schemas/sitemap/0.84/siteindex.xsd\">\r\n";

}  // namespace larkspur::test
