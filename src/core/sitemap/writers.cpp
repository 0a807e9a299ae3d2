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
    std::vector<const std::string*> segments;
    std::string line;
};

// The plain URL of a page entry.
const std::string& EntryUrl(WriteContext& context, const FileEntry& entry, std::string& url)
{
    if (entry.parent != context.folder) {
        context.folder = entry.parent;
        context.folderUrl = context.base;
        PathSegments(*entry.parent, context.segments);
        for (const std::string* segment : context.segments) {
            context.folderUrl += EscapePathSegment(*segment);
            context.folderUrl += '/';
        }
    }
    url = context.folderUrl;
    url += EscapePathSegment(entry.name);
    return url;
}

int WriteXmlEntry(const FileEntry& entry, void* data)
{
    if (!IsSitemapEntry(entry))
        return 0;
    auto& context = *static_cast<WriteContext*>(data);
    std::string url;
    EntryUrl(context, entry, url);
    std::string& line = context.line;
    line.clear();
    AppendUrlElement(line, EscapeXml(url), FormatDate(entry.mtime), context.frequency,
                     context.priority);
    return context.urlset->add(line);
}

int WriteUrlLine(const FileEntry& entry, void* data)
{
    if (!IsSitemapEntry(entry))
        return 0;
    auto& context = *static_cast<WriteContext*>(data);
    std::string& line = context.line;
    EntryUrl(context, entry, line);
    line += "\r\n";
    context.out->write(line.data(), static_cast<std::streamsize>(line.size()));
    return 0;
}

int WriteCsvRow(const FileEntry& entry, void* data)
{
    if (!IsSitemapEntry(entry))
        return 0;
    auto& context = *static_cast<WriteContext*>(data);
    std::string url;
    EntryUrl(context, entry, url);
    std::string& line = context.line;
    line = CsvField(EscapeXml(url));
    line += ',';
    line += FormatDate(entry.mtime);
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
    out += "<url>\r\n  <loc>";
    out += loc;
    out += "</loc>\r\n  <lastmod>";
    out += lastmod;
    out += "</lastmod>\r\n  <changefreq>";
    out += changefreq;
    out += "</changefreq>\r\n  <priority>";
    out += priority;
    out += "</priority>\r\n</url>\r\n";
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

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
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
                 const SitemapParameters& parameters)
{
    WriteContext context;
    if (Prepare(context, tree, parameters) != 0)
        return -1;
    if (format != SitemapFormat::Xml)
        return WriteLines(out, format, tree, context);
    UrlsetWriter urlset(out);
    context.urlset = &urlset;
    std::string error;
    if (urlset.open(error) != 0 || EnumerateTree(tree, WriteXmlEntry, &context) != 0)
        return -1;
    return urlset.finish({}, error, nullptr);
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
        if (result != 0 && error)
            *error = message;
        return result;
    }

    platform::AtomicFile file;
    if (file.open(path, message) != 0) {
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
    return 0;
}

int SaveSitemap(const ProjectRecord& record, SitemapFormat format, std::string* error,
                SaveReport* report)
{
    return SaveSitemap(platform::JoinPath(record.localPath, SitemapFileName(format)), format,
                       record.scan.tree, ParametersOf(record), error, report);
}

}  // namespace larkspur
