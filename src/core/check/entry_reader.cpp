// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/entry_reader.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include "check/plain_values.h"
#include "options/options.h"
#include "sitemap/xml.h"

namespace larkspur::check_detail {

void CollectError(void* data, xmlErrorPtr error)
{
    auto& sink = *static_cast<ErrorSink*>(data);
    if (!error || error->level < XML_ERR_ERROR)
        return;
    if (error->domain == XML_FROM_SCHEMASV && ++sink.notValid > ErrorSink::kShown)
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

namespace {

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
            handler.serror = [](void* data, xmlErrorPtr) { static_cast<EntryReader*>(data)->notPlain(); };
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
        if (self.m_plain) {
            self.judgeStart(depth, Text(localName), Text(uri), attributeCount, attributes);
            self.stopUnlessPlain();
        }
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
                      && Text(attributes[5 * i + 2]) == kSchemaInstanceNamespace;
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
        if (self.m_plain && depth <= 2) {
            self.judgeEnd(depth);
            self.stopUnlessPlain();
        }
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
                      : m_judged == 2 ? FrequencyIndex(value) >= 0
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
            self.notPlain();  // text where only elements go
    }

    static void Cdata(void* data, const xmlChar* text, int length)
    {
        auto& self = *static_cast<EntryReader*>(data);
        self.notPlain();
        if (self.m_field)
            self.m_value.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    }

    // A comment or an instruction inside a value: left to the schema.
    void markup()
    {
        if (m_judged < std::size(kFields))
            notPlain();
    }

    // A file found not plain is read again, validated: judging it further
    // would only parse it twice.
    void stopUnlessPlain()
    {
        if (m_judge && !m_plain)
            xmlStopParser(m_parser);
    }
    void notPlain()
    {
        m_plain = false;
        stopUnlessPlain();
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

using Parser = std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)>;

}  // namespace

bool ReadPlainUrlset(const std::string& text, std::string_view ns, SitemapFile& file, ErrorSink& sink)
{
    Parser parser(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())), xmlFreeParserCtxt);
    EntryReader entries(file, ns, parser.get(), true);
    const bool plain = parser && ParseEntries(parser.get(), entries, nullptr, sink) == 1 && entries.plain();
    if (!plain)
        file.locs.clear();
    return plain;
}

int ReadValidatedEntries(const std::string& text, std::string_view ns, SitemapFile& file,
                         xmlSchemaValidCtxtPtr validation, ErrorSink& sink)
{
    Parser parser(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())), xmlFreeParserCtxt);
    EntryReader entries(file, ns, parser.get(), false);
    xmlResetLastError();
    if (!validation || !parser)
        return -1;
    return ParseEntries(parser.get(), entries, validation, sink);
}

}  // namespace larkspur::check_detail
