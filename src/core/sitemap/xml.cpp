// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "sitemap/xml.h"

namespace larkspur {

const char* const kUrlsetHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<urlset xmlns=\"http://www.google.com/schemas/sitemap/0.84\"\r\n"
    "\txmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
    "\txsi:schemaLocation=\"http://www.google.com/schemas/sitemap/0.84\r\n"
    "\thttp://www.google.com/schemas/sitemap/0.84/sitemap.xsd\">\r\n";
const char* const kUrlsetTail = "</urlset>\r\n";
const char* const kSitemapIndexHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<sitemapindex xmlns=\"http://www.google.com/schemas/sitemap/0.84\"\r\n"
    "\txmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
    "\txsi:schemaLocation=\"http://www.google.com/schemas/sitemap/0.84\r\n"
    "\thttp://www.google.com/schemas/sitemap/0.84/siteindex.xsd\">\r\n";
const char* const kSitemapIndexTail = "</sitemapindex>\r\n";

namespace {

// A 0.84 head as sitemaps.org 0.9 has it: the same text in its namespace,
// which also names the schema files.
std::string In09Namespace(std::string head)
{
    const std::string_view from = kSitemapNamespace;
    const std::string_view to = kNamespace09;
    for (auto at = head.find(from); at != std::string::npos; at = head.find(from, at + to.size()))
        head.replace(at, from.size(), to);
    return head;
}

void AppendElement(std::string& out, std::string_view name, std::string_view text)
{
    if (text.empty())
        return;
    out.append("  <").append(name).append(">").append(text).append("</").append(name).append(">\r\n");
}

}  // namespace

const char* UrlsetHead(Protocol protocol)
{
    static const std::string head09 = In09Namespace(kUrlsetHead);
    return protocol == Protocol::Sitemaps09 ? head09.c_str() : kUrlsetHead;
}

const char* SitemapIndexHead(Protocol protocol)
{
    static const std::string head09 = In09Namespace(kSitemapIndexHead);
    return protocol == Protocol::Sitemaps09 ? head09.c_str() : kSitemapIndexHead;
}

void AppendUrlElement(std::string& out, std::string_view loc, std::string_view lastmod,
                      std::string_view changefreq, std::string_view priority)
{
    out += "<url>\r\n  <loc>";
    out += loc;
    out += "</loc>\r\n";
    AppendElement(out, "lastmod", lastmod);
    AppendElement(out, "changefreq", changefreq);
    AppendElement(out, "priority", priority);
    out += "</url>\r\n";
}

}  // namespace larkspur
