// sitemap.xml, sitemap.txt and sitemap.csv.
#include "platform.h"
#include "sitemap.h"
#include "urlset_writer.h"

namespace larkspur {

namespace {

constexpr const char* kCsvHead = "loc,lastmod,changefreq,priority\r\n";

// What the entry visitors share: the open stream, the settings, and the URL
// of the folder last seen, since files come folder by folder.
struct WriteContext {
    std::ostream* out = nullptr;     // sitemap.txt and sitemap.csv
    UrlsetWriter* urlset = nullptr;  // sitemap.xml
    std::string base;
    const char* frequency = nullptr;
    const char* priority = nullptr;
    const FileEntry* folder = nullptr;
    std::string folderUrl;  // plain, ends in "/"
    std::string folderXml;  // the same, XML-escaped
    std::vector<const std::string*> segments;
    std::int64_t day = -1;  // of the last date formatted
    std::string date;
    long long tooLong = 0;
    std::string url;  // of the current entry
    std::string xml;  // the same, XML-escaped
    std::string line;
};

// The URL of a page entry into context.url and context.xml; false, and
// counted, when it is longer than a sitemap may hold.
bool EntryUrl(WriteContext& context, const FileEntry& entry)
{
    if (entry.parent != context.folder) {
        context.folder = entry.parent;
        context.folderUrl = context.base;
        PathSegments(*entry.parent, context.segments);
        for (const std::string* segment : context.segments) {
            context.folderUrl += EscapePathSegment(*segment);
            context.folderUrl += '/';
        }
        context.folderXml.clear();
        AppendXml(context.folderXml, context.folderUrl);
    }
    const std::string name = EscapePathSegment(entry.name);
    if (context.folderUrl.size() + name.size() > kMaxUrlLength) {
        ++context.tooLong;
        return false;
    }
    context.url.assign(context.folderUrl).append(name);
    context.xml.assign(context.folderXml);
    AppendXml(context.xml, name);
    return true;
}

void AppendUrl(std::string& out, std::string_view loc, const std::string_view* lastmod,
               std::string_view changefreq, std::string_view priority)
{
    out += "<url>\r\n  <loc>";
    out += loc;
    if (lastmod) {
        out += "</loc>\r\n  <lastmod>";
        out += *lastmod;
        out += "</lastmod>\r\n  <changefreq>";
    } else {
        out += "</loc>\r\n  <changefreq>";
    }
    out += changefreq;
    out += "</changefreq>\r\n  <priority>";
    out += priority;
    out += "</priority>\r\n</url>\r\n";
}

// Files of one folder mostly share their day.
const std::string& EntryDate(WriteContext& context, std::int64_t mtime)
{
    const std::int64_t day = mtime / 86400 - (mtime % 86400 < 0 ? 1 : 0);
    if (day != context.day || context.date.empty()) {
        context.day = day;
        context.date = FormatDate(mtime);
    }
    return context.date;
}

int WriteXmlEntry(const FileEntry& entry, void* data)
{
    auto& context = *static_cast<WriteContext*>(data);
    if (!IsSitemapEntry(entry) || !EntryUrl(context, entry))
        return 0;
    std::string& line = context.line;
    line.clear();
    // A date no sitemap can hold is left out rather than written wrong.
    const std::string_view date = EntryDate(context, entry.mtime);
    AppendUrl(line, context.xml, date.empty() ? nullptr : &date, context.frequency, context.priority);
    return context.urlset->add(line);
}

int WriteUrlLine(const FileEntry& entry, void* data)
{
    auto& context = *static_cast<WriteContext*>(data);
    if (!IsSitemapEntry(entry) || !EntryUrl(context, entry))
        return 0;
    std::string& line = context.line;
    line.assign(context.url).append("\r\n");
    context.out->write(line.data(), static_cast<std::streamsize>(line.size()));
    return 0;
}

int WriteCsvRow(const FileEntry& entry, void* data)
{
    auto& context = *static_cast<WriteContext*>(data);
    if (!IsSitemapEntry(entry) || !EntryUrl(context, entry))
        return 0;
    std::string& line = context.line;
    line.clear();
    AppendCsvField(line, context.xml);
    line += ',';
    line += EntryDate(context, entry.mtime);
    line += ',';
    line += context.frequency;
    line += ',';
    line += context.priority;
    line += "\r\n";
    context.out->write(line.data(), static_cast<std::streamsize>(line.size()));
    return 0;
}

}  // namespace

const char* const kUrlsetHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<urlset xmlns=\"http://www.google.com/schemas/sitemap/0.84\"\r\n"
    "\txmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
    "\txsi:schemaLocation=\"http://www.google.com/schemas/sitemap/0.84\r\n"
    "\thttp://www.google.com/schemas/sitemap/0.84/sitemap.xsd\">\r\n";
const char* const kUrlsetTail = "</urlset>\r\n";

void AppendUrlElement(std::string& out, std::string_view loc, std::string_view lastmod,
                      std::string_view changefreq, std::string_view priority)
{
    AppendUrl(out, loc, &lastmod, changefreq, priority);
}

const char* SitemapFileName(SitemapFormat format)
{
    switch (format) {
    case SitemapFormat::Xml: return "sitemap.xml";
    case SitemapFormat::Text: return "sitemap.txt";
    case SitemapFormat::Csv: return "sitemap.csv";
    }
    return "sitemap.xml";
}

SitemapParameters ParametersOf(const ProjectRecord& record)
{
    return {record.websiteUrl, record.priorityIndex, record.frequencyIndex};
}

void AppendCsvField(std::string& out, std::string_view text)
{
    if (text.find_first_of(",\"") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string CsvField(std::string_view text)
{
    std::string field;
    AppendCsvField(field, text);
    return field;
}

namespace {

// Sets up the shared part of a write; -1 when the parameters are unusable.
int Prepare(WriteContext& context, const ScanTree& tree, const SitemapParameters& parameters)
{
    if (!tree.walked || NormalizeBaseUrl(parameters.websiteUrl, context.base) != 0)
        return -1;
    context.frequency = FrequencyText(parameters.frequencyIndex);
    context.priority = PriorityText(parameters.priorityIndex);
    return 0;
}

int WriteLines(std::ostream& out, SitemapFormat format, const ScanTree& tree, WriteContext& context)
{
    context.out = &out;
    if (format == SitemapFormat::Csv)
        out << kCsvHead;
    if (EnumerateTree(tree, format == SitemapFormat::Csv ? WriteCsvRow : WriteUrlLine, &context) != 0)
        return -1;
    out.flush();
    return out ? 0 : -1;
}

}  // namespace

int WriteSitemap(std::ostream& out, SitemapFormat format, const ScanTree& tree,
                 const SitemapParameters& parameters, SaveReport* report, const OutputLimits& limits)
{
    WriteContext context;
    if (Prepare(context, tree, parameters) != 0)
        return -1;
    int result = 0;
    bool overLimit = false;
    long long urls = 0;
    if (format != SitemapFormat::Xml) {
        result = WriteLines(out, format, tree, context);
    } else {
        UrlsetWriter urlset(out, limits);
        context.urlset = &urlset;
        std::string error;
        result = urlset.open(error) != 0 || EnumerateTree(tree, WriteXmlEntry, &context) != 0
                     ? -1
                     : urlset.finish({}, error, nullptr);
        overLimit = urlset.overLimit();
        urls = urlset.urls();
    }
    if (report) {
        report->urls = urls;
        report->tooLong = context.tooLong;
        report->overLimit = overLimit;
    }
    return result;
}

int SaveSitemap(const std::string& path, SitemapFormat format, const ScanTree& tree,
                const SitemapParameters& parameters, std::string* error, SaveReport* report,
                const OutputLimits& limits)
{
    std::string message;
    WriteContext context;
    if (!tree.walked)
        message = "Walk the path first!";
    else if (Prepare(context, tree, parameters) != 0)
        message = "Invalid parameter(s)!";
    if (!message.empty()) {
        if (error)
            *error = message;
        return -1;
    }
    SaveReport local;
    SaveReport& r = report ? *report : local;
    r = {};

    if (format == SitemapFormat::Xml) {
        UrlsetWriter urlset(path, limits);
        context.urlset = &urlset;
        int result = urlset.open(message);
        if (result == 0 && EnumerateTree(tree, WriteXmlEntry, &context) != 0) {
            result = -1;
            message = urlset.error();
        }
        if (result == 0)
            result = urlset.finish(EscapeXml(context.base), message, &r.files);
        r.urls = urlset.urls();
        r.tooLong = context.tooLong;
        r.overLimit = urlset.overLimit();
        if (result != 0 && error)
            *error = message;
        return result;
    }

    platform::AtomicFile file;
    if (file.open(path, message, limits.writeIntoDevices) != 0) {
        if (error)
            *error = message;
        return -1;
    }
    if (WriteLines(file.stream(), format, tree, context) != 0) {
        // The commit below reports the stream's own error.
        file.stream().setstate(std::ios::badbit);
    }
    if (file.commit(message) != 0) {
        if (error)
            *error = message;
        return -1;
    }
    r.files.push_back(path);
    r.tooLong = context.tooLong;
    return 0;
}

int SaveSitemap(const ProjectRecord& record, SitemapFormat format, std::string* error,
                SaveReport* report)
{
    return SaveSitemap(platform::JoinPath(record.localPath, SitemapFileName(format)), format,
                       record.scan.tree, ParametersOf(record), error, report);
}

}  // namespace larkspur
