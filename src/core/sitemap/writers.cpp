// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// sitemap.xml, sitemap.txt and sitemap.csv.
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "gzip/gzip.h"
#include "head/head.h"
#include "head/head_reader.h"
#include "history/history.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "robots/robots_txt.h"
#include "robots/rules.h"
#include "scan/read_ahead.h"
#include "select/selection.h"
#include "sitemap/csv.h"
#include "sitemap/url.h"
#include "sitemap/writers.h"
#include "urlset_writer.h"

namespace larkspur {

namespace {

constexpr const char* kCsvHead = "loc,lastmod,changefreq,priority";

// The files a run writes into the site under a name of the user's (its
// output, the parts and index a split adds, compressed or not): with
// extensions that take them in, each run would list the last one's.
struct OwnOutput {
    std::string folder;  // canonical; empty when the output is not a file
    std::string stem;    // "map" of map.txt
    std::string extension;

    bool names(const ScanTree& tree, const FileEntry& entry) const
    {
        if (folder.empty() || !entry.parent || !IsSitemapFile(entry.name(), stem, extension))
            return false;
        std::string parent, unused;
        return platform::CanonicalPath(tree.fullPath(*entry.parent), parent, unused) == 0 && parent == folder;
    }
};

// What the entry visitors share: the open stream, the settings, and the URL
// of the folder last seen, since files come folder by folder.
struct WriteContext {
    explicit WriteContext(const SitemapOptions& options)
        : selection(options), style(options.urlStyle), omitHints(options.omitHints),
          lastmod(options.lastmod), respectRobots(options.respectRobots),
          canonicalOnly(options.canonicalOnly), eol(options.newline == LineEnd::Lf ? "\n" : "\r\n")
    {
    }

    std::ostream* out = nullptr;     // sitemap.txt and sitemap.csv to a stream
    long long lines = 0;             // written there, and their bytes
    std::size_t lineBytes = 0;
    UrlsetWriter* urlset = nullptr;  // sitemap.xml, and sitemap.txt to a file
    PageSelection selection;
    OwnOutput output;
    UrlStyle style;
    bool omitHints;
    LastmodSource lastmod;
    bool respectRobots;
    bool canonicalOnly;
    const char* eol;  // of sitemap.txt and sitemap.csv lines
    const ScanTree* tree = nullptr;
    std::unordered_map<const FileEntry*, std::int64_t> commitTimes;  // --lastmod git
    ReadAhead<PageHead, PageHeadReader> heads;  // read on a pool of threads, ahead of the writer
    // Where another entry answers a page's shorter URL: folders that hold an
    // index.html, and x.html pages beside a file or folder "x".
    std::unordered_set<const FileEntry*> indexHtmlFolders;
    std::unordered_set<const FileEntry*> cleanTaken;
    bool answersFound = false;  // the two sets above filled
    std::string base;
    PageUrls urls;
    const char* frequency = nullptr;
    const char* priority = nullptr;
    std::int64_t day = -1;  // of the last date formatted
    std::string date;
    long long tooLong = 0;
    long long noindex = 0;
    long long canonicalElsewhere = 0;
    long long unreadHeads = 0;
    RobotsRules robots;  // with respectRobots, the site's robots.txt for its agent
    long long robotsDisallowed = 0;
    std::string url;  // of the current entry
    std::string xml;  // the same, XML-escaped
    std::string line;
};

// The last segment of a page's URL in a style: empty for the page a
// folder's URL gives (index.html, or index.htm in a folder without one), the
// name without ".html" for a clean URL. A server maps "/x" to the file or
// folder "x" before "x.html" (nginx: try_files $uri $uri.html $uri/), so a
// page beside either keeps its file name; only the lower-case spellings are
// the ones servers map these URLs to.
std::string_view UrlName(const WriteContext& context, UrlStyle style, const FileEntry& entry)
{
    if (style == UrlStyle::File)
        return entry.name();
    return UrlNameInStyle(style, entry.name(), context.indexHtmlFolders.contains(entry.parent),
                          context.cleanTaken.contains(&entry));
}

// Fills the context's record of pages whose shorter URL another entry of
// their folder answers; needed for the folder and clean styles, and for
// canonical links, which may name a page in any style. May run while the
// writer is halfway through the tree: it selects with a selection of its
// own.
void FindAnsweringEntries(WriteContext& context)
{
    context.answersFound = true;
    PageSelection selection = context.selection;
    struct Key {
        const FileEntry* folder;
        std::string_view name;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const
        {
            return std::hash<std::string_view>()(key.name) ^ (std::hash<const FileEntry*>()(key.folder) * 31);
        }
    };
    std::unordered_map<Key, const FileEntry*, KeyHash> stems;  // "x" of each x.html page
    for (const FileEntry& entry : context.tree->entries) {
        if (entry.name() == "index.html")
            context.indexHtmlFolders.insert(entry.parent);
        else if (entry.name().ends_with(".html") && selection.selects(entry))
            stems.emplace(Key{entry.parent, std::string_view(entry.name()).substr(0, entry.name().size() - 5)}, &entry);
    }
    if (stems.empty())
        return;
    for (const FileEntry& entry : context.tree->entries) {
        const auto found = stems.find(Key{entry.parent, entry.name()});
        if (found != stems.end())
            context.cleanTaken.insert(found->second);
    }
}

// The URL of a page entry into context.url and context.xml; false, and
// counted, when it is longer than a sitemap may hold.
bool EntryUrl(WriteContext& context, const FileEntry& entry)
{
    if (context.urls.make(entry, UrlName(context, context.style, entry), context.url, context.xml))
        return true;
    ++context.tooLong;
    return false;
}

// Whether the page's own head lets it into a sitemap. A page whose head
// cannot be read, or not to its end, stays in, as it would without the
// check, and is counted.
bool HeadAllows(WriteContext& context, const FileEntry& entry)
{
    if (!context.respectRobots && !context.canonicalOnly)
        return true;
    PageHead head;
    if (context.heads.take(entry, head) != 0) {
        ++context.unreadHeads;
        return true;
    }
    if (context.respectRobots && head.noindex) {
        ++context.noindex;
        return false;
    }
    if (context.canonicalOnly && head.hasCanonical) {
        // A canonical URL that leads to this same file in another style is
        // this page's. Which files answer which URLs is only looked up for
        // the first page that names one: most sites have none.
        if (!context.answersFound)
            FindAnsweringEntries(context);
        std::vector<std::string> sameFile;
        for (const UrlStyle style : {UrlStyle::File, UrlStyle::Folder, UrlStyle::Clean}) {
            if (style != context.style)
                sameFile.push_back(context.urls.folderUrl() + EscapePathSegment(UrlName(context, style, entry)));
        }
        if (CanonicalElsewhere(context.url, head, sameFile)) {
            ++context.canonicalElsewhere;
            return false;
        }
    }
    if (!head.whole)
        ++context.unreadHeads;
    return true;
}

// Whether the site's robots.txt lets the crawler fetch the page's URL.
bool RobotsTxtAllows(WriteContext& context)
{
    if (context.robots.empty() || context.robots.allows(UrlPathAndQuery(context.url)))
        return true;
    ++context.robotsDisallowed;
    return false;
}

// A page that becomes an entry: selected, its URL made, its head read.
bool Listed(WriteContext& context, const FileEntry& entry)
{
    return context.selection.selects(entry) && !context.output.names(*context.tree, entry) && EntryUrl(context, entry)
           && RobotsTxtAllows(context) && HeadAllows(context, entry);
}

std::int64_t EntryTime(const WriteContext& context, const FileEntry& entry)
{
    if (context.lastmod == LastmodSource::Git) {
        const auto found = context.commitTimes.find(&entry);
        if (found != context.commitTimes.end())
            return found->second;
    }
    return entry.mtime();
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
    if (!Listed(context, entry))
        return 0;
    std::string& line = context.line;
    line.clear();
    // A date no sitemap can hold is left out rather than written wrong.
    std::string_view date;
    if (context.lastmod != LastmodSource::None)
        date = EntryDate(context, EntryTime(context, entry));
    AppendUrlElement(line, context.xml, date, context.omitHints ? "" : context.frequency,
                     context.omitHints ? "" : context.priority);
    return context.urlset->add(line);
}

int WriteUrlLine(const FileEntry& entry, void* data)
{
    auto& context = *static_cast<WriteContext*>(data);
    if (!Listed(context, entry))
        return 0;
    std::string& line = context.line;
    line.assign(context.url).append(context.eol);
    if (context.urlset)
        return context.urlset->add(line);
    context.out->write(line.data(), static_cast<std::streamsize>(line.size()));
    ++context.lines;
    context.lineBytes += line.size();
    return 0;
}

int WriteCsvRow(const FileEntry& entry, void* data)
{
    auto& context = *static_cast<WriteContext*>(data);
    if (!Listed(context, entry))
        return 0;
    std::string& line = context.line;
    line.clear();
    AppendCsvField(line, context.xml);
    line += ',';
    if (context.lastmod != LastmodSource::None)
        line += EntryDate(context, EntryTime(context, entry));
    line += ',';
    if (!context.omitHints)
        line += context.frequency;
    line += ',';
    if (!context.omitHints)
        line += context.priority;
    line += context.eol;
    context.out->write(line.data(), static_cast<std::streamsize>(line.size()));
    ++context.lines;
    return 0;
}

}  // namespace

std::string_view UrlNameInStyle(UrlStyle style, std::string_view name, bool indexHtmlBeside, bool stemTaken)
{
    if (style == UrlStyle::File)
        return name;
    if (name == "index.html" || (name == "index.htm" && !indexHtmlBeside))
        return {};
    if (style == UrlStyle::Clean && name.ends_with(".html") && !stemTaken) {
        const std::string_view stem = name.substr(0, name.size() - 5);
        if (!stem.empty() && stem != "." && stem != "..")
            return stem;
    }
    return name;
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

namespace {

// Sets up the shared part of a write; -1 when the parameters are unusable.
int Prepare(WriteContext& context, const ScanTree& tree, const SitemapParameters& parameters)
{
    if (!tree.walked || NormalizeBaseUrl(parameters.websiteUrl, context.base) != 0)
        return -1;
    context.urls = PageUrls(context.base);
    context.frequency = FrequencyText(parameters.frequencyIndex);
    context.priority = PriorityText(parameters.priorityIndex);
    context.tree = &tree;
    // The heads are read on the pool while this thread indexes the files.
    if (context.respectRobots || context.canonicalOnly) {
        context.heads.start(
            tree, [selection = context.selection](const FileEntry& entry) mutable { return selection.selects(entry); },
            [&tree](const FileEntry& entry, PageHead& head, PageHeadReader& reader) {
                std::string unread;
                return reader.read(tree, entry, head, unread);
            });
    }
    if (context.style != UrlStyle::File)
        FindAnsweringEntries(context);
    return 0;
}

// With dates from git, the commit time of every page that has one, read in
// one pass over the history before the first entry is written.
int ReadPageDates(WriteContext& context, SaveReport& report, std::string& error)
{
    if (context.lastmod != LastmodSource::Git)
        return 0;
    struct Pages {
        PageSelection& selection;  // the writer's: it is set for the tree's order again
        std::vector<const FileEntry*> entries;
        std::vector<std::string> paths;
    } pages{context.selection, {}, {}};
    EnumerateTree(*context.tree, [](const FileEntry& entry, void* data) {
        auto& p = *static_cast<Pages*>(data);
        if (p.selection.selects(entry)) {
            p.entries.push_back(&entry);
            p.paths.push_back(RelativePath(entry).substr(1));
        }
        return 0;
    }, &pages);
    CommitDates dates;
    if (ReadCommitDates(context.tree->root, pages.paths, dates, error) != 0)
        return -1;
    for (std::size_t i = 0; i < pages.entries.size(); ++i) {
        if (dates.dates[i] >= 0)
            context.commitTimes.emplace(pages.entries[i], dates.dates[i]);
    }
    report.fileDates = dates.untracked + dates.changed + dates.beyondHistory + dates.inSubmodule;
    report.beyondHistory = dates.beyondHistory;
    report.inSubmodule = dates.inSubmodule;
    return 0;
}

// With respectRobots, the rules of the site's robots.txt, when crawlers
// read it from the site folder; otherwise the report says why they do not.
void ReadRobotsRules(WriteContext& context, const ScanTree& tree, const SitemapParameters& parameters,
                     SaveReport& report)
{
    std::string reason;
    if (parameters.options.respectRobots
        && ReadSiteRobotsRules(tree.root, context.base, parameters.options.robotsAgent, context.robots,
                               reason) != 0)
        report.notes.push_back(reason);
}

void ReportCounts(const WriteContext& context, SaveReport& report)
{
    report.robotsDisallowed = context.robotsDisallowed;
    report.tooLong = context.tooLong;
    report.noindex = context.noindex;
    report.canonicalElsewhere = context.canonicalElsewhere;
    report.unreadHeads = context.unreadHeads;
}

// Makes robots.txt in the site folder name the sitemap just written (its
// index when it has one), by the site's URL and its path below the folder.
// Lines naming it by one of its other `names` (the other compression; for
// text, the single file or the index it no longer has) go: those files are
// gone or stale.
int ListInRobotsTxt(const ScanTree& tree, const std::string& base, const std::vector<std::string>& names,
                    SaveReport& report, std::string& error)
{
    const std::string& file = report.files.front();
    std::string folderUrl;
    if (FolderUrlInSite(base, tree.root, file, folderUrl) != 0) {
        report.robotsTxtSkipped = "robots.txt not changed: the sitemap is not in the site folder";
        return 0;
    }
    const std::string name = platform::FileName(file);
    const std::string url = folderUrl + EscapePathSegment(name);
    // Crawlers read robots.txt at the root of a host only: a site below a
    // path would get a file nobody reads.
    const std::size_t hostEnd = base.find('/', base.find("://") + 3);
    if (hostEnd + 1 < base.size()) {
        report.robotsTxtSkipped = "robots.txt not changed: crawlers read it only at " + base.substr(0, hostEnd) +
                                  "/robots.txt, above the site folder; add \"Sitemap: " + url + "\" there";
        return 0;
    }
    std::vector<std::string> stale;
    for (const std::string& other : names) {
        if (platform::FileName(other) != name)
            stale.push_back(folderUrl + EscapePathSegment(platform::FileName(other)));
    }
    RobotsTxtReport robots;
    if (UpdateRobotsTxt(tree.root, {url}, robots, error, stale) != 0) {
        error = name + " saved, but robots.txt was not updated: " + error;
        return kRobotsTxtNotUpdated;
    }
    if (robots.linesAdded > 0 || robots.linesRemoved > 0)
        report.robotsTxt = platform::JoinPath(tree.root, "robots.txt");
    return 0;
}

int WriteLines(std::ostream& out, SitemapFormat format, const ScanTree& tree, WriteContext& context)
{
    context.out = &out;
    if (format == SitemapFormat::Csv)
        out << kCsvHead << context.eol;
    if (EnumerateTree(tree, format == SitemapFormat::Csv ? WriteCsvRow : WriteUrlLine, &context) != 0)
        return -1;
    out.flush();
    return out ? 0 : -1;
}

}  // namespace

int WriteSitemap(std::ostream& target, SitemapFormat format, const ScanTree& tree,
                 const SitemapParameters& parameters, SaveReport* report, const OutputLimits& limits,
                 std::string* error)
{
    WriteContext context(parameters.options);
    SaveReport local;
    SaveReport& r = report ? *report : local;
    r = {};
    std::string message;
    if (Prepare(context, tree, parameters) != 0 || ReadPageDates(context, r, message) != 0) {
        if (error)
            *error = message.empty() ? "Invalid parameter(s)!" : message;
        return -1;
    }
    ReadRobotsRules(context, tree, parameters, r);
    std::optional<GzipWriter> gzip;
    if (parameters.options.gzip && format != SitemapFormat::Csv)
        gzip.emplace(target);
    std::ostream& out = gzip ? gzip->stream() : target;
    int result = 0;
    bool overLimit = false;
    long long urls = 0;
    if (format != SitemapFormat::Xml) {
        result = WriteLines(out, format, tree, context);
        urls = context.lines;
        // One text sitemap, as one XML document, cannot be split on a stream.
        if (format == SitemapFormat::Text) {
            overLimit = static_cast<std::size_t>(urls) > limits.maxUrls
                        || context.lineBytes > (limits.maxBytes != 0 ? limits.maxBytes
                                                                     : ProtocolByteLimit(parameters.options.protocol));
        }
    } else {
        UrlsetWriter urlset(out, limits, parameters.options.protocol);
        urlset.setLineEnd(parameters.options.newline);
        context.urlset = &urlset;
        result = urlset.open(message) != 0 || EnumerateTree(tree, WriteXmlEntry, &context) != 0
                     ? -1
                     : urlset.finish({}, message, nullptr);
        overLimit = urlset.overLimit();
        urls = urlset.urls();
    }
    if (gzip && gzip->finish(message) != 0)
        result = -1;
    ReportCounts(context, r);
    r.urls = urls;
    r.overLimit = overLimit;
    if (parameters.options.robotsTxt)
        r.robotsTxtSkipped = "robots.txt not changed: a sitemap on a stream has no address";
    return result;
}

int SaveSitemap(const std::string& path, SitemapFormat format, const ScanTree& tree,
                const SitemapParameters& parameters, std::string* error, SaveReport* report,
                const OutputLimits& limits)
{
    std::string message;
    WriteContext context(parameters.options);
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
    if (ReadPageDates(context, r, message) != 0) {
        if (error)
            *error = message;
        return -1;
    }
    {
        const std::string folder = platform::FolderOf(path);
        std::string name = platform::FileName(path), unused;
        if (name.ends_with(".gz"))
            name.resize(name.size() - 3);
        const auto dot = name.rfind('.');
        const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
        if (dot > 0 && (extension == ".xml" || extension == ".txt" || extension == ".csv")
            && platform::CanonicalPath(folder.empty() ? "." : folder, context.output.folder, unused) == 0) {
            context.output.stem = name.substr(0, dot);
            context.output.extension = extension;
        }
    }
    ReadRobotsRules(context, tree, parameters, r);

    if (format != SitemapFormat::Csv) {
        // "sitemap.xml.gz" asked for by name is compressed, as its name says.
        const bool gzip = parameters.options.gzip || (path.size() > 3 && path.ends_with(".gz"));
        UrlsetWriter urlset(path, limits, parameters.options.protocol, format == SitemapFormat::Text, gzip);
        urlset.setLineEnd(parameters.options.newline);
        context.urlset = &urlset;
        int result = urlset.open(message);
        if (result == 0
            && EnumerateTree(tree, format == SitemapFormat::Xml ? WriteXmlEntry : WriteUrlLine, &context) != 0) {
            result = -1;
            message = urlset.error();
        }
        // Parts are listed at the address of their folder, as robots.txt
        // names the sitemap; a folder outside the site has none.
        std::string indexBase;
        if (result == 0 && !urlset.direct() && FolderUrlInSite(context.base, tree.root, path, indexBase) != 0) {
            indexBase = context.base;
            if (urlset.split())
                r.notes.push_back(platform::FileName(path) + ": the parts are outside the site folder and have no "
                                  "address there; the index lists them at " + indexBase);
        }
        if (result == 0)
            result = urlset.finish(EscapeXml(indexBase), message, &r.files);
        r.urls = urlset.urls();
        r.overLimit = urlset.overLimit();
        r.intoDevice = urlset.direct();
        ReportCounts(context, r);
        if (!urlset.leftIndex().empty())
            r.notes.push_back(urlset.leftIndex() + " left as it is: it lists other files than this sitemap's parts");
        if (result == 0 && parameters.options.robotsTxt) {
            std::vector<std::string> names = urlset.names();
            std::erase_if(names, [&](const std::string& name) {
                return std::find(urlset.foreignIndexes().begin(), urlset.foreignIndexes().end(), name)
                       != urlset.foreignIndexes().end();
            });
            result = ListInRobotsTxt(tree, context.base, names, r, message);
        }
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
    r.intoDevice = file.direct();
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
    r.urls = context.lines;
    ReportCounts(context, r);
    return 0;
}

}  // namespace larkspur
