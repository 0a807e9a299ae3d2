// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/sitemap_file.h"

#include <algorithm>
#include <array>
#include <memory>

#include <libxml/parser.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlschemas.h>

#include "check/entry_reader.h"
#include "gzip/gzip.h"
#include "platform/read_file.h"
#include "sitemap/url.h"
#include "sitemap/xml.h"

namespace larkspur {

using namespace check_detail;

// Generated from check/schemas/*.xsd at build time.
namespace schemas {
extern const char* const kSitemap084;
extern const char* const kSitemap09;
extern const char* const kSiteindex084;
extern const char* const kSiteindex09;
}  // namespace schemas

namespace {

constexpr std::size_t kMaxEntries = 50000;
// A hostile file must not cost memory by its size: a 50 KiB gzip of "a\n"
// lines holds 26 million faults. Past ErrorSink::kShown faults and these
// URLs, they are counted.
constexpr std::size_t kUrlsKept = 4 * kMaxEntries;
// A file past the largest limit is a fault already; the rest of it is not read.
const std::size_t kReadLimit = ProtocolByteLimit(Protocol::Sitemaps09);

std::string Number(std::size_t n)
{
    // Built forward, not by insert(): g++ 12 warns wrongly (-Wrestrict).
    const std::string digits = std::to_string(n);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

// Parsed once: urlset and sitemapindex, in 0.84 and 0.9. Elements of other
// namespaces (the image, video and news extensions) are validated "lax":
// against their schema if one were known, which none is, instead of being
// refused as the published schema's "strict" would.
xmlSchemaPtr Schema(bool index, Protocol protocol)
{
    static const std::array<xmlSchemaPtr, 4> parsed = [] {
        std::array<xmlSchemaPtr, 4> all{};
        const char* const texts[] = {schemas::kSitemap084, schemas::kSitemap09, schemas::kSiteindex084,
                                     schemas::kSiteindex09};
        for (std::size_t i = 0; i < all.size(); ++i) {
            std::string text = texts[i];
            for (auto at = text.find("processContents=\"strict\""); at != std::string::npos;
                 at = text.find("processContents=\"strict\"", at))
                text.replace(at + 17, 6, "lax");
            xmlSchemaParserCtxtPtr context = xmlSchemaNewMemParserCtxt(text.data(), static_cast<int>(text.size()));
            all[i] = xmlSchemaParse(context);
            xmlSchemaFreeParserCtxt(context);
        }
        return all;
    }();
    return parsed[(index ? 2 : 0) + (protocol == Protocol::Sitemaps09 ? 1 : 0)];
}

struct ReaderFree {
    void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};
using Reader = std::unique_ptr<xmlTextReader, ReaderFree>;

// No network, no DTD loaded, no entity substituted.
Reader OpenReader(const std::string& text, ErrorSink& sink)
{
    Reader reader(xmlReaderForMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_BIG_LINES | XML_PARSE_NOWARNING));
    if (reader)
        xmlTextReaderSetStructuredErrorHandler(reader.get(), CollectError, &sink);
    return reader;
}

// A sitemap's XML: its root element, read first by a reader that stops
// there, tells the schema of its namespace.
int ReadXml(const std::string& path, const std::string& text, SitemapFile& file, std::vector<CheckFinding>& findings)
{
    ErrorSink sink{&findings, &path};
    const std::size_t faults = findings.size();
    std::string root, ns;
    {
        Reader reader = OpenReader(text, sink);
        int read = 0;
        while (reader && (read = xmlTextReaderRead(reader.get())) == 1) {
            const int type = xmlTextReaderNodeType(reader.get());
            if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
                findings.push_back({CheckKind::NotValid, path, "a DOCTYPE, which a sitemap does not have: not read further"});
                file.whole = false;
                return 0;
            }
            if (type == XML_READER_TYPE_ELEMENT) {
                root = Text(xmlTextReaderConstLocalName(reader.get()));
                ns = Text(xmlTextReaderConstNamespaceUri(reader.get()));
                break;
            }
        }
        if (read != 1) {
            if (findings.size() == faults)
                findings.push_back({CheckKind::NotWellFormed, path, "not XML"});
            return 0;
        }
    }
    file.index = root == "sitemapindex";
    const bool is09 = ns == kNamespace09;
    if ((root != "urlset" && !file.index) || (!is09 && ns != kSitemapNamespace)) {
        findings.push_back({CheckKind::NotValid, path,
                            "not a sitemap: its root is not urlset or sitemapindex in the namespace " +
                                std::string(kNamespace09)});
        file.whole = false;
        return 0;
    }
    const Protocol protocol = is09 ? Protocol::Sitemaps09 : Protocol::Google084;
    if (!is09)
        findings.push_back({CheckKind::OldNamespace, path,
                            "the 0.84 namespace: Search Console expects " + std::string(kNamespace09)});

    // Most urlsets are plainly valid, which their entries' events show: the
    // schema's validation, which costs several times as much as the
    // parsing, is then spared. The rest are read again, validated as they go.
    bool plain = false;
    int read = 0;
    if (!file.index) {
        plain = ReadPlainUrlset(text, ns, file, sink);
        read = 1;
    }
    if (!plain) {
        std::unique_ptr<xmlSchemaValidCtxt, void (*)(xmlSchemaValidCtxtPtr)> validation(
            xmlSchemaNewValidCtxt(Schema(file.index, protocol)), xmlSchemaFreeValidCtxt);
        if ((read = ReadValidatedEntries(text, ns, file, validation.get(), sink)) < 0) {
            findings.push_back({CheckKind::Unreadable, path, "the XML reader could not be started"});
            return -1;
        }
    }
    // With the schema plugged in, the parser's fatal error is not handed on:
    // it is libxml2's last.
    const auto malformed = [](const CheckFinding& f) { return f.kind == CheckKind::NotWellFormed; };
    if (read == 0 && std::none_of(findings.begin() + static_cast<std::ptrdiff_t>(faults), findings.end(), malformed)) {
        xmlErrorPtr last = xmlGetLastError();
        if (last && last->domain != XML_FROM_SCHEMASV && last->level >= XML_ERR_ERROR)
            CollectError(&sink, last);
        else
            findings.push_back({CheckKind::NotWellFormed, path, "not well-formed"});
    }
    // Search engines take nothing from a file that is not XML.
    if (std::any_of(findings.begin() + static_cast<std::ptrdiff_t>(faults), findings.end(), malformed))
        file.locs.clear();
    if (sink.notValid > ErrorSink::kShown)
        findings.push_back({CheckKind::NotValid, path,
                            Number(static_cast<std::size_t>(sink.notValid - ErrorSink::kShown)) +
                                " more faults against the schema"});
    // An entry without a <loc> the schema reported already.
    std::erase_if(file.locs, [](const SitemapLoc& loc) { return loc.loc.empty(); });
    if (text.size() > ProtocolByteLimit(protocol))
        findings.push_back({CheckKind::TooLarge, path,
                            Number(text.size()) + " bytes; at most " + Number(ProtocolByteLimit(protocol)) +
                                " in a file of this namespace"});
    return 0;
}

bool ValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

// One URL a line, in UTF-8; blank lines are passed over, as crawlers do.
// The number of URLs the file lists goes in `urls`.
void ReadText(const std::string& path, std::string_view text, SitemapFile& file, std::vector<CheckFinding>& findings,
              std::size_t& urls)
{
    const std::size_t size = text.size();
    long line = 0;
    long long faults = 0;
    const auto fault = [&](const char* what) {
        if (++faults <= ErrorSink::kShown)
            findings.push_back({CheckKind::NotValid, path, "line " + std::to_string(line) + ": " + what});
    };
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        std::string_view row = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!row.empty() && row.back() == '\r')
            row.remove_suffix(1);
        const auto first = row.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            continue;
        row = row.substr(first, row.find_last_not_of(" \t") - first + 1);
        if (!ValidUtf8(row))
            fault("not UTF-8");
        else if (HttpSchemeEnd(row) == 0)
            fault("not an http:// or https:// URL");
        else if (++urls <= kUrlsKept)
            file.locs.push_back({std::string(row), {}, false});
    }
    if (faults > ErrorSink::kShown)
        findings.push_back({CheckKind::NotValid, path,
                            Number(static_cast<std::size_t>(faults - ErrorSink::kShown)) + " more lines like these"});
    if (urls > kUrlsKept)
        file.whole = false;  // the URLs past those kept are not looked at
    if (size > ProtocolByteLimit(Protocol::Sitemaps09))
        findings.push_back({CheckKind::TooLarge, path,
                            Number(size) + " bytes; at most " + Number(ProtocolByteLimit(Protocol::Sitemaps09))});
}

}  // namespace

int ReadSitemapFile(const std::string& path, SitemapFile& file, std::vector<CheckFinding>& findings)
{
    // libxml2 sets itself up once, before any thread uses it.
    static const bool ready = (xmlInitParser(), true);
    (void)ready;
    file = {};
    std::string data, error;
    if (platform::ReadFile(path, data, error, kReadLimit + 1) != 0) {
        findings.push_back({CheckKind::Unreadable, path, error});
        return -1;
    }
    if (data.starts_with("\x1F\x8B")) {
        std::string text;
        if (Gunzip(data, text, kReadLimit + 1, error, true) != 0) {
            findings.push_back({CheckKind::Unreadable, path, error});
            return -1;
        }
        data = std::move(text);
    }
    if (data.size() > kReadLimit) {
        findings.push_back({CheckKind::TooLarge, path, "over " + Number(kReadLimit) + " bytes: not read further"});
        return -1;
    }
    std::string_view start = data;
    if (start.starts_with("\xEF\xBB\xBF"))
        start.remove_prefix(3);
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) {
        findings.push_back({CheckKind::NotValid, path, "UTF-16, where a sitemap is UTF-8: not read further"});
        file.whole = false;
        return 0;
    }
    const auto first = start.find_first_not_of(" \t\r\n");
    std::size_t urls = 0;
    if (first != std::string_view::npos && start[first] == '<')
        ReadXml(path, data, file, findings);
    else
        ReadText(path, start, file, findings, urls);
    urls = std::max(urls, file.locs.size());
    if (urls > kMaxEntries)
        findings.push_back({CheckKind::TooManyUrls, path,
                            Number(urls) + (file.index ? " sitemaps" : " URLs") + "; at most " +
                                Number(kMaxEntries) + " in one file"});
    return 0;
}

}  // namespace larkspur
