// Writes url elements into an XML sitemap (or lines into a text one),
// splitting a large one into parts listed by a sitemap index, as the
// protocol's limits require.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "sitemap.h"

namespace larkspur {

class UrlsetWriter {
public:
    // Everything into one stream, whatever its size.
    explicit UrlsetWriter(std::ostream& out, Protocol protocol = Protocol::Google084);
    // Into the file `path` (through temporary files); past the limits the
    // parts go to NAME1.xml, NAME2.xml, ... beside it and `path` becomes
    // their index. `text`: lines without head or tail, whose index is
    // NAME-index.xml (see SaveSitemap).
    UrlsetWriter(std::string path, const OutputLimits& limits, Protocol protocol = Protocol::Google084,
                 bool text = false);
    ~UrlsetWriter();

    int open(std::string& error);
    // One complete url element; -1 when a new part cannot be created.
    int add(std::string_view element);
    // `indexBase`: the XML text that part file names are appended to in
    // the index. Commits every file; `files` receives their paths.
    int finish(std::string_view indexBase, std::string& error, std::vector<std::string>* files);

    long long urls() const { return m_urls; }
    // Why add() failed: a part could not be created.
    const std::string& error() const { return m_error; }

private:
    std::string partPath(std::size_t number) const;
    std::string indexPath() const;
    int removeStaleText(const std::string& index, std::string& error) const;
    int startPart(std::string& error);
    std::ostream& current();

    std::ostream* m_stream = nullptr;
    std::string m_path;
    OutputLimits m_limits;
    Protocol m_protocol = Protocol::Google084;
    bool m_text = false;
    const char* m_head = "";
    const char* m_tail = "";
    std::vector<std::unique_ptr<platform::AtomicFile>> m_parts;
    std::size_t m_partUrls = 0;
    std::size_t m_partBytes = 0;
    long long m_urls = 0;
    std::string m_error;
};

}  // namespace larkspur
