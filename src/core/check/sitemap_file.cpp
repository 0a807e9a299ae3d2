// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/sitemap_file.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlschemas.h>

#include "gzip/gzip.h"
#include "platform/read_file.h"
#include "sitemap/url.h"
#include "sitemap/xml.h"

namespace larkspur {

// Generated from check/schemas/*.xsd at build time.
namespace schemas {
extern const char* const kSitemap084;
extern const char* const kSitemap09;
extern const char* const kSiteindex084;
extern const char* const kSiteindex09;
}  // namespace schemas

namespace {

constexpr std::size_t kMaxEntries = 50000;
constexpr const char* kNamespace09 = "http://www.sitemaps.org/schemas/sitemap/0.9";
// A file past the largest limit is a fault already; the rest of it is not read.
const std::size_t kReadLimit = ProtocolByteLimit(Protocol::Sitemaps09);

std::string Number(std::size_t n)
{
    std::string text = std::to_string(n);
    for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3)
        text.insert(static_cast<std::size_t>(at), ",");
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

// libxml2's errors as findings: the schema's as not valid, the parser's as
// not well-formed.
struct ErrorSink {
    std::vector<CheckFinding>* findings;
    const std::string* path;
};

void CollectError(void* data, xmlErrorPtr error)
{
    auto& sink = *static_cast<ErrorSink*>(data);
    if (!error || error->level < XML_ERR_ERROR)
        return;
    std::string message = error->message ? error->message : "error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    // Element names in the sitemap's own namespace need no namespace.
    for (const std::string_view ns : {std::string_view(kNamespace09), std::string_view(kSitemapNamespace)}) {
        const std::string braced = "{" + std::string(ns) + "}";
        for (auto at = message.find(braced); at != std::string::npos; at = message.find(braced, at))
            message.erase(at, braced.size());
    }
    sink.findings->push_back({error->domain == XML_FROM_SCHEMASV ? CheckKind::NotValid : CheckKind::NotWellFormed,
                              *sink.path, "line " + std::to_string(error->line) + ": " + message});
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

std::string_view Text(const xmlChar* text)
{
    return text ? reinterpret_cast<const char*>(text) : "";
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// One streaming pass, validated against the schema of the root element's
// namespace (read first, by a reader that stops there) as it goes.
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
        return 0;
    }
    const Protocol protocol = is09 ? Protocol::Sitemaps09 : Protocol::Google084;
    if (!is09)
        findings.push_back({CheckKind::OldNamespace, path,
                            "the 0.84 namespace: Search Console expects " + std::string(kNamespace09)});

    // The reader lets go of the validation when it is freed: it goes first.
    std::unique_ptr<xmlSchemaValidCtxt, void (*)(xmlSchemaValidCtxtPtr)> validation(
        xmlSchemaNewValidCtxt(Schema(file.index, protocol)), xmlSchemaFreeValidCtxt);
    Reader reader = OpenReader(text, sink);
    if (!reader || !validation || xmlTextReaderSchemaValidateCtxt(reader.get(), validation.get(), 0) != 0) {
        findings.push_back({CheckKind::Unreadable, path, "the XML reader could not be started"});
        return -1;
    }
    const std::string_view entryName = file.index ? "sitemap" : "url";
    std::string* field = nullptr;  // the text of <loc> or <lastmod> being read
    std::string value;
    xmlResetLastError();
    int read = 0;
    while ((read = xmlTextReaderRead(reader.get())) == 1) {
        const int type = xmlTextReaderNodeType(reader.get());
        const int depth = xmlTextReaderDepth(reader.get());
        if (type == XML_READER_TYPE_ELEMENT && depth <= 2 && Text(xmlTextReaderConstNamespaceUri(reader.get())) == ns) {
            const std::string_view name = Text(xmlTextReaderConstLocalName(reader.get()));
            if (depth == 1 && name == entryName) {
                file.locs.emplace_back();
            } else if (depth == 2 && !file.locs.empty() && (name == "loc" || name == "lastmod")) {
                SitemapLoc& loc = file.locs.back();
                field = name == "loc" ? &loc.loc : &loc.lastmod;
                loc.hasLastmod |= name == "lastmod";
                value.clear();
                if (xmlTextReaderIsEmptyElement(reader.get()) == 1)
                    field = nullptr;
            }
        } else if (field && (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA
                             || type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE)) {
            value += Text(xmlTextReaderConstValue(reader.get()));
        } else if (field && type == XML_READER_TYPE_END_ELEMENT && depth == 2) {
            *field = Trimmed(value);
            field = nullptr;
        }
    }
    // A reader that validates does not hand on the parser's fatal error.
    const auto malformed = [](const CheckFinding& f) { return f.kind == CheckKind::NotWellFormed; };
    if (read < 0 && std::none_of(findings.begin() + static_cast<std::ptrdiff_t>(faults), findings.end(), malformed)) {
        xmlErrorPtr last = xmlGetLastError();
        if (last && last->domain != XML_FROM_SCHEMASV && last->level >= XML_ERR_ERROR)
            CollectError(&sink, last);
        else
            findings.push_back({CheckKind::NotWellFormed, path, "not well-formed"});
    }
    // Search engines take nothing from a file that is not XML.
    if (std::any_of(findings.begin() + static_cast<std::ptrdiff_t>(faults), findings.end(), malformed))
        file.locs.clear();
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
void ReadText(const std::string& path, std::string_view text, SitemapFile& file, std::vector<CheckFinding>& findings)
{
    const std::size_t size = text.size();
    long line = 0;
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
            findings.push_back({CheckKind::NotValid, path, "line " + std::to_string(line) + ": not UTF-8"});
        else if (HttpSchemeEnd(row) == 0)
            findings.push_back({CheckKind::NotValid, path,
                                "line " + std::to_string(line) + ": not an http:// or https:// URL"});
        else
            file.locs.push_back({std::string(row), {}, false});
    }
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
    const auto first = start.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && start[first] == '<')
        ReadXml(path, data, file, findings);
    else
        ReadText(path, start, file, findings);
    if (file.locs.size() > kMaxEntries)
        findings.push_back({CheckKind::TooManyUrls, path,
                            Number(file.locs.size()) + (file.index ? " sitemaps" : " URLs") + "; at most " +
                                Number(kMaxEntries) + " in one file"});
    return 0;
}

bool ParseW3cDate(std::string_view text, std::int64_t& earliest, std::int64_t& latest)
{
    // Digits at a place, as a number; -1 when any is not a digit.
    const auto number = [&](std::size_t at, std::size_t count) {
        if (at + count > text.size())
            return -1;
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto at = [&](std::size_t i, char c) { return i < text.size() && text[i] == c; };
    using namespace std::chrono;
    const int y = number(0, 4);
    if (y < 0)
        return false;
    int m = 1, d = 1;
    std::size_t end = 4;
    if (at(4, '-')) {
        m = number(5, 2);
        end = 7;
        if (at(7, '-')) {
            d = number(8, 2);
            end = 10;
        }
    }
    const year_month_day date{year{y}, month{static_cast<unsigned>(std::max(m, 0))},
                              day{static_cast<unsigned>(std::max(d, 0))}};
    if (m < 0 || d < 0 || !date.ok())
        return false;
    const std::int64_t start = duration_cast<seconds>(sys_days{date}.time_since_epoch()).count();
    if (end == text.size()) {
        // A day, month or year: in any time zone from UTC-12 to UTC+14.
        const year_month_day next = end == 4 ? date + years{1} : end == 7 ? date + months{1}
                                                                          : year_month_day{sys_days{date} + days{1}};
        earliest = start - 14 * 3600;
        latest = duration_cast<seconds>(sys_days{next}.time_since_epoch()).count() + 12 * 3600;
        return true;
    }
    // A time needs the full date, hours and minutes, and a time zone.
    if (end != 10 || !at(10, 'T'))
        return false;
    const int hours = number(11, 2), minutes = at(13, ':') ? number(14, 2) : -1;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return false;
    std::int64_t time = start + hours * 3600 + minutes * 60;
    std::int64_t precision = 59;  // a time in minutes means any second of that minute
    std::size_t i = 16;
    if (at(16, ':')) {
        precision = 0;
        const int secondsValue = number(17, 2);
        if (secondsValue < 0 || secondsValue > 59)
            return false;
        time += secondsValue;
        i = 19;
        if (at(19, '.')) {
            i = 20;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9')
                ++i;
            if (i == 20)
                return false;
        }
    }
    if (at(i, 'Z') && i + 1 == text.size()) {
        earliest = time;
        latest = time + precision;
        return true;
    }
    if (!(at(i, '+') || at(i, '-')) || i + 6 != text.size() || !at(i + 3, ':'))
        return false;
    const int zoneHours = number(i + 1, 2), zoneMinutes = number(i + 4, 2);
    if (zoneHours < 0 || zoneHours > 23 || zoneMinutes < 0 || zoneMinutes > 59)
        return false;
    const int offset = (zoneHours * 3600 + zoneMinutes * 60) * (text[i] == '+' ? 1 : -1);
    earliest = time - offset;
    latest = earliest + precision;
    return true;
}

}  // namespace larkspur
