// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/sitemap_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <iterator>
#include <memory>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
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
        std::string braced(1, '{');  // not "{" + ...: g++ 12 warns wrongly (-Wrestrict)
        braced.append(ns).append(1, '}');
        std::string kept;
        std::size_t from = 0;
        for (auto at = message.find(braced); at != std::string::npos; at = message.find(braced, from)) {
            kept.append(message, from, at - from);
            from = at + braced.size();
        }
        message = kept.append(message, from);
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

// Line numbers for the schema's errors: where the parser is.
int ParserLine(void* context, const char** file, unsigned long* line)
{
    const auto* parser = static_cast<xmlParserCtxtPtr>(context);
    *file = nullptr;
    *line = parser->input ? static_cast<unsigned long>(parser->input->line) : 0;
    return 0;
}

// Values a urlset's schema certainly takes, in the plainest of their forms:
// what is not plain is left to the schema itself to judge.
bool PlainDigits(std::string_view text, std::size_t at, std::size_t count, int low, int high)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return value >= low && value <= high;
}

// An http(s) URL of the characters RFC 3986 allows unescaped, without user
// or port quirks, of 12 to 2,048 characters.
bool PlainLoc(std::string_view url)
{
    const std::size_t scheme = url.starts_with("https://") ? 8 : url.starts_with("http://") ? 7 : 0;
    if (scheme == 0 || url.size() < 12 || url.size() > 2048)
        return false;
    const auto hostChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    };
    std::size_t i = scheme;
    while (i < url.size() && hostChar(url[i]))
        ++i;
    if (i == scheme)
        return false;
    if (i < url.size() && url[i] == ':') {  // a port, not empty
        const std::size_t digits = ++i;
        while (i < url.size() && url[i] >= '0' && url[i] <= '9')
            ++i;
        if (i == digits)
            return false;
    }
    bool fragment = false;
    for (; i < url.size(); ++i) {
        const char c = url[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || std::string_view("-._~!$&'()*+,;=:@/?").find(c) != std::string_view::npos)
            continue;
        if (c == '#' && !fragment) {
            fragment = true;
            continue;
        }
        if (c != '%' || i + 2 >= url.size() || !std::isxdigit(static_cast<unsigned char>(url[i + 1]))
            || !std::isxdigit(static_cast<unsigned char>(url[i + 2])))
            return false;
        i += 2;
    }
    return true;
}

// YYYY-MM-DD, or with Thh:mm:ss, a fraction of a second and a time zone.
bool PlainLastmod(std::string_view text)
{
    if (!PlainDigits(text, 0, 4, 1000, 9999) || text.size() < 10 || text[4] != '-' || text[7] != '-'
        || !PlainDigits(text, 5, 2, 1, 12))
        return false;
    const int year = (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
    const int month = (text[5] - '0') * 10 + (text[6] - '0');
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!PlainDigits(text, 8, 2, 1, days[month - 1]))
        return false;
    if (text.size() == 10)
        return true;
    if (text.size() < 20 || text[10] != 'T' || !PlainDigits(text, 11, 2, 0, 23) || text[13] != ':'
        || !PlainDigits(text, 14, 2, 0, 59) || text[16] != ':' || !PlainDigits(text, 17, 2, 0, 59))
        return false;
    std::size_t i = 19;
    if (text[i] == '.') {
        while (++i < text.size() && text[i] >= '0' && text[i] <= '9') {
        }
        if (i == 20)
            return false;
    }
    const std::string_view zone = text.substr(i);
    return zone == "Z"
           || (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && PlainDigits(zone, 1, 2, 0, 13)
               && zone[3] == ':' && PlainDigits(zone, 4, 2, 0, 59));
}

bool PlainChangefreq(std::string_view text)
{
    for (const char* word : {"always", "hourly", "daily", "weekly", "monthly", "yearly", "never"}) {
        if (text == word)
            return true;
    }
    return false;
}

// 0, 1, or 0.d to six places (1.0 to six).
bool PlainPriority(std::string_view text)
{
    if (text == "0" || text == "1")
        return true;
    if (text.size() < 3 || text.size() > 8 || text[1] != '.' || (text[0] != '0' && text[0] != '1'))
        return false;
    for (const char c : text.substr(2)) {
        if (c < '0' || c > (text[0] == '1' ? '0' : '9'))
            return false;
    }
    return true;
}

// The <loc> and <lastmod> of every entry, from the parser's events: the
// text of the element's children, CDATA included, as the nodes of a tree
// would give it. When it judges, it also tells whether a urlset is plainly
// valid: the schema's elements alone, in order, with plain values; anything
// else, or any error of the parser, is left to the schema's validation.
class EntryReader {
public:
    EntryReader(SitemapFile& file, std::string_view ns, xmlParserCtxtPtr parser, bool judge)
        : m_file(file), m_ns(ns), m_entryName(file.index ? "sitemap" : "url"), m_parser(parser), m_judge(judge),
          m_plain(judge)
    {
    }

    xmlSAXHandler handler() const
    {
        xmlSAXHandler handler{};
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = Start;
        handler.endElementNs = End;
        handler.characters = Characters;
        handler.ignorableWhitespace = Characters;
        handler.cdataBlock = Cdata;
        if (m_judge) {
            handler.comment = [](void* data, const xmlChar*) { static_cast<EntryReader*>(data)->markup(); };
            handler.processingInstruction = [](void* data, const xmlChar*, const xmlChar*) {
                static_cast<EntryReader*>(data)->markup();
            };
            handler.serror = [](void* data, xmlErrorPtr) { static_cast<EntryReader*>(data)->m_plain = false; };
        }
        return handler;
    }

    // Nothing the schema would refuse, as far as the events have shown.
    bool plain() const { return m_plain && m_urls > 0; }

private:
    static constexpr std::string_view kFields[] = {"loc", "lastmod", "changefreq", "priority"};

    static void Start(void* data, const xmlChar* localName, const xmlChar*, const xmlChar* uri, int, const xmlChar**,
                      int attributeCount, int, const xmlChar** attributes)
    {
        auto& self = *static_cast<EntryReader*>(data);
        const int depth = self.m_depth++;
        if (self.m_plain)
            self.judgeStart(depth, Text(localName), Text(uri), attributeCount, attributes);
        if (depth > 2 || Text(uri) != self.m_ns)
            return;
        const std::string_view name = Text(localName);
        if (depth == 1 && name == self.m_entryName) {
            self.m_file.locs.emplace_back();
        } else if (depth == 2 && !self.m_file.locs.empty() && (name == "loc" || name == "lastmod")) {
            SitemapLoc& loc = self.m_file.locs.back();
            self.m_field = name == "loc" ? &loc.loc : &loc.lastmod;
            loc.hasLastmod |= name == "lastmod";
            self.m_value.clear();
            // <loc/> leaves what an earlier <loc> gave: the parser stands
            // on the "/>" of an empty element.
            const xmlParserInputPtr input = self.m_parser->input;
            if (input && input->cur && input->cur < input->end && *input->cur == '/')
                self.m_field = nullptr;
        }
    }

    void judgeStart(int depth, std::string_view name, std::string_view uri, int attributeCount,
                    const xmlChar** attributes)
    {
        // Attributes come as five values each: name, prefix, URI, value, end.
        for (int i = 0; i < attributeCount; ++i) {
            m_plain = m_plain && depth == 0 && Text(attributes[5 * i]) == "schemaLocation"
                      && Text(attributes[5 * i + 2]) == "http://www.w3.org/2001/XMLSchema-instance";
        }
        if (depth == 0)
            return;
        if (depth > 2 || uri != m_ns || (depth == 1 && name != "url")) {
            m_plain = false;
            return;
        }
        if (depth == 2) {
            const std::size_t field = static_cast<std::size_t>(
                std::find(std::begin(kFields), std::end(kFields), name) - std::begin(kFields));
            // In the schema's order, each once, <loc> first.
            m_plain = m_plain && field < std::size(kFields) && field >= m_step && (m_step > 0 || field == 0);
            m_step = field + 1;
            m_judged = field;
            m_value.clear();
        }
    }

    static void End(void* data, const xmlChar*, const xmlChar*, const xmlChar*)
    {
        auto& self = *static_cast<EntryReader*>(data);
        const int depth = --self.m_depth;
        if (self.m_plain && depth <= 2)
            self.judgeEnd(depth);
        if (depth == 2 && self.m_field) {
            *self.m_field = Trimmed(self.m_value);
            self.m_field = nullptr;
        }
    }

    void judgeEnd(int depth)
    {
        if (depth == 1) {
            m_plain = m_step > 0;
            m_step = 0;
            ++m_urls;
        } else if (depth == 2) {
            const std::string_view value = m_value;
            m_plain = m_judged == 0   ? PlainLoc(value)
                      : m_judged == 1 ? PlainLastmod(value)
                      : m_judged == 2 ? PlainChangefreq(value)
                                      : PlainPriority(value);
            m_judged = std::size(kFields);
        }
    }

    static void Characters(void* data, const xmlChar* text, int length)
    {
        auto& self = *static_cast<EntryReader*>(data);
        const std::string_view chars(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
        if (self.m_field || self.m_judged < std::size(kFields))
            self.m_value += chars;
        else if (self.m_plain && chars.find_first_not_of(" \t\r\n") != std::string_view::npos)
            self.m_plain = false;  // text where only elements go
    }

    static void Cdata(void* data, const xmlChar* text, int length)
    {
        auto& self = *static_cast<EntryReader*>(data);
        self.m_plain = false;
        if (self.m_field)
            self.m_value.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    }

    // A comment or an instruction inside a value: left to the schema.
    void markup()
    {
        if (m_judged < std::size(kFields))
            m_plain = false;
    }

    SitemapFile& m_file;
    std::string_view m_ns;
    std::string_view m_entryName;
    xmlParserCtxtPtr m_parser;
    int m_depth = 0;
    std::string* m_field = nullptr;  // the text of <loc> or <lastmod> being read
    std::string m_value;
    const bool m_judge;
    bool m_plain;
    std::size_t m_step = 0;                     // the first of kFields the next field may be
    std::size_t m_judged = std::size(kFields);  // the field whose value is being read
    long long m_urls = 0;
};

// Reads the entries of `text` with `parser`; with `validation`, validated
// against its schema as they go. 1 when the parser met no error, 0 when it
// did, -1 when the validation could not be started.
int ParseEntries(xmlParserCtxtPtr parser, EntryReader& entries, xmlSchemaValidCtxtPtr validation,
                 ErrorSink& sink)
{
    xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_BIG_LINES | XML_PARSE_NOWARNING);
    xmlSAXHandler handler = entries.handler();
    xmlSAXHandlerPtr sax = &handler;
    void* user = &entries;
    const auto unplug = [](xmlSchemaSAXPlugPtr plug) {
        if (plug)
            xmlSchemaSAXUnplug(plug);
    };
    std::unique_ptr<xmlSchemaSAXPlugStruct, decltype(unplug)> plug(nullptr, unplug);
    if (validation) {
        plug.reset(xmlSchemaSAXPlug(validation, &sax, &user));
        if (!plug)
            return -1;
        xmlSchemaSetValidStructuredErrors(validation, CollectError, &sink);
        xmlSchemaValidateSetLocator(validation, ParserLine, parser);
    }
    if (parser->sax != reinterpret_cast<xmlSAXHandlerPtr>(&xmlDefaultSAXHandler))
        xmlFree(parser->sax);
    parser->sax = sax;
    parser->userData = user;
    const bool read = xmlParseDocument(parser) == 0 && parser->wellFormed;
    parser->sax = nullptr;  // `handler` or the plug's own, not the parser's to free
    return read ? 1 : 0;
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

    // Most urlsets are plainly valid, which their entries' events show: the
    // schema's validation, which costs several times as much as the
    // parsing, is then spared. The rest are read again, validated as they go.
    using Parser = std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)>;
    bool plain = false;
    int read = 0;
    if (!file.index) {
        Parser parser(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())), xmlFreeParserCtxt);
        EntryReader entries(file, ns, parser.get(), true);
        plain = parser && ParseEntries(parser.get(), entries, nullptr, sink) == 1 && entries.plain();
        read = 1;
        if (!plain)
            file.locs.clear();
    }
    if (!plain) {
        std::unique_ptr<xmlSchemaValidCtxt, void (*)(xmlSchemaValidCtxtPtr)> validation(
            xmlSchemaNewValidCtxt(Schema(file.index, protocol)), xmlSchemaFreeValidCtxt);
        Parser parser(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())), xmlFreeParserCtxt);
        EntryReader entries(file, ns, parser.get(), false);
        xmlResetLastError();
        if (!validation || !parser || (read = ParseEntries(parser.get(), entries, validation.get(), sink)) < 0) {
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
