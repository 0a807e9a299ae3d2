#include "urlset_writer.h"

#include <chrono>
#include <cstring>

namespace larkspur {

namespace {

std::int64_t Now()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

const char* const kSitemapIndexHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<sitemapindex xmlns=\"http://www.google.com/schemas/sitemap/0.84\"\r\n"
    "\txmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
    "\txsi:schemaLocation=\"http://www.google.com/schemas/sitemap/0.84\r\n"
    "\thttp://www.google.com/schemas/sitemap/0.84/siteindex.xsd\">\r\n";
const char* const kSitemapIndexTail = "</sitemapindex>\r\n";

const char* SitemapIndexHead(Protocol protocol)
{
    if (protocol != Protocol::Sitemaps09)
        return kSitemapIndexHead;
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"\r\n"
           "\txmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
           "\txsi:schemaLocation=\"http://www.sitemaps.org/schemas/sitemap/0.9\r\n"
           "\thttp://www.sitemaps.org/schemas/sitemap/0.9/siteindex.xsd\">\r\n";
}

UrlsetWriter::UrlsetWriter(std::ostream& out, Protocol protocol)
    : m_stream(&out), m_protocol(protocol), m_head(UrlsetHead(protocol)), m_tail(kUrlsetTail)
{
}

UrlsetWriter::UrlsetWriter(std::string path, const OutputLimits& limits, Protocol protocol, bool text)
    : m_path(std::move(path)), m_limits(limits), m_protocol(protocol), m_text(text),
      m_head(text ? "" : UrlsetHead(protocol)), m_tail(text ? "" : kUrlsetTail)
{
    if (m_limits.maxBytes == 0)
        m_limits.maxBytes = ProtocolByteLimit(protocol);
}

UrlsetWriter::~UrlsetWriter() = default;  // uncommitted parts are abandoned

std::string UrlsetWriter::partPath(std::size_t number) const
{
    const std::string name = platform::FileName(m_path);
    const std::string folder = m_path.substr(0, m_path.size() - name.size());
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    return folder + stem + std::to_string(number) + extension;
}

std::string UrlsetWriter::indexPath() const
{
    const std::string name = platform::FileName(m_path);
    const auto dot = name.rfind('.');
    const std::size_t stem = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return m_path.substr(0, m_path.size() - name.size() + stem) + "-index.xml";
}

// Parts of an earlier text sitemap past the ones just written, named by the
// index that earlier run left; with that index itself when this run needed
// none. Only files that index names are touched.
int UrlsetWriter::removeStaleText(const std::string& index, std::string& error) const
{
    if (index.find("<sitemapindex") == std::string::npos)
        return 0;
    const std::size_t written = m_parts.size() > 1 ? m_parts.size() : 0;
    for (std::size_t i = written + 1;; ++i) {
        const std::string part = partPath(i);
        const std::string listed = "/" + EscapeXml(EscapePathSegment(platform::FileName(part))) + "</loc>";
        if (index.find(listed) == std::string::npos || !platform::Exists(part))
            break;
        if (platform::RemoveFile(part, error) != 0)
            return -1;
    }
    return written == 0 ? platform::RemoveFile(indexPath(), error) : 0;
}

std::ostream& UrlsetWriter::current()
{
    return m_stream ? *m_stream : m_parts.back()->stream();
}

int UrlsetWriter::startPart(std::string& error)
{
    if (!m_parts.empty()) {
        current() << m_tail;
        if (m_parts.size() == 1)
            m_parts.front()->retarget(partPath(1));
    }
    auto part = std::make_unique<platform::AtomicFile>();
    const std::string target = m_parts.empty() ? m_path : partPath(m_parts.size() + 1);
    if (part->open(target, error) != 0)
        return -1;
    m_parts.push_back(std::move(part));
    current() << m_head;
    m_partUrls = 0;
    m_partBytes = std::strlen(m_head);
    return 0;
}

int UrlsetWriter::open(std::string& error)
{
    if (m_stream) {
        *m_stream << m_head;
        return *m_stream ? 0 : -1;
    }
    return startPart(error);
}

int UrlsetWriter::add(std::string_view element)
{
    if (!m_stream) {
        const std::size_t tail = std::strlen(m_tail);
        const bool full = m_partUrls >= m_limits.maxUrls
                       || m_partBytes + element.size() + tail > m_limits.maxBytes;
        if (full && m_partUrls > 0 && startPart(m_error) != 0)
            return -1;
    }
    current().write(element.data(), static_cast<std::streamsize>(element.size()));
    ++m_partUrls;
    m_partBytes += element.size();
    ++m_urls;
    return 0;  // a failed write shows when the file is committed, with its cause
}

int UrlsetWriter::finish(std::string_view indexBase, std::string& error, std::vector<std::string>* files)
{
    if (!m_error.empty()) {
        error = m_error;
        return -1;
    }
    current() << m_tail;
    if (m_stream) {
        m_stream->flush();
        return *m_stream ? 0 : -1;
    }

    // Read before this run's index replaces it.
    std::string earlierIndex;
    std::string unread;
    if (m_text && platform::ReadFile(indexPath(), earlierIndex, unread, 1 << 24) != 0)
        earlierIndex.clear();

    std::vector<std::string> written;
    platform::AtomicFile index;
    const std::string indexFile = m_text ? indexPath() : m_path;
    if (m_parts.size() > 1) {
        if (index.open(indexFile, error) != 0)
            return -1;
        const std::string date = FormatDate(m_limits.now >= 0 ? m_limits.now : Now());
        std::string text = SitemapIndexHead(m_protocol);
        for (std::size_t i = 1; i <= m_parts.size(); ++i) {
            text += "<sitemap>\r\n  <loc>";
            text += indexBase;
            text += EscapeXml(EscapePathSegment(platform::FileName(partPath(i))));
            text += "</loc>\r\n  <lastmod>";
            text += date;
            text += "</lastmod>\r\n</sitemap>\r\n";
        }
        text += kSitemapIndexTail;
        index.stream() << text;
        written.push_back(indexFile);
    }
    // Every file complete on disk before any of them replaces its previous
    // version: a write error (a full disk) leaves the previous set as it was.
    for (const auto& part : m_parts) {
        if (part->prepare(error) != 0)
            return -1;
    }
    if (m_parts.size() > 1 && index.prepare(error) != 0)
        return -1;
    // The parts first, the file that names them last.
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        if (m_parts[i]->commit(error) != 0)
            return -1;
        written.push_back(m_parts.size() > 1 ? partPath(i + 1) : m_path);
    }
    if (m_parts.size() > 1 && index.commit(error) != 0)
        return -1;
    if (m_text && ((m_parts.size() > 1 && platform::RemoveFile(m_path, error) != 0) || removeStaleText(earlierIndex, error) != 0))
        return -1;
    if (files)
        *files = std::move(written);
    return 0;
}

}  // namespace larkspur
