// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Writes url elements into an XML sitemap, splitting a large one into parts
// listed by a sitemap index, as the protocol's limits require.
#pragma once

#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "options/options.h"
#include "sitemap/xml.h"

namespace larkspur {

class UrlsetWriter {
public:
    // Everything into one stream, whatever its size; `limits` only tell
    // when it is past what one file may hold.
    explicit UrlsetWriter(std::ostream& out, const OutputLimits& limits = {},
                          Protocol protocol = Protocol::Google084);
    // Into the file `path` (through temporary files); past the limits the
    // parts go to NAME1.xml, NAME2.xml, ... beside it and `path` becomes
    // their index. A device or a pipe at `path` gets one document, like a
    // stream. `text`: lines without head or tail, whose index is
    // NAME-index.xml (see SaveSitemap). `gzip`: every file compressed, its
    // name (and its name in the index) followed by ".gz"; the limits count
    // the text before compression.
    UrlsetWriter(std::string path, const OutputLimits& limits, Protocol protocol = Protocol::Google084,
                 bool text = false, bool gzip = false);
    ~UrlsetWriter();

    // Lines end in LF instead of the CR LF the writers give; the limits
    // count the bytes as written.
    void setLineEnd(LineEnd end) { m_lf = end == LineEnd::Lf; }

    int open(std::string& error);
    // One complete url element; -1 when a new part cannot be created.
    int add(std::string_view element);
    // `indexBase`: the XML text that part file names are appended to in
    // the index. Commits every file, then removes the parts of a previous,
    // larger run that its index listed; `files` receives the paths written.
    // An earlier index is taken for this sitemap's own only when it lists
    // nothing but parts at `indexBase`; any other one stays, parts and all.
    int finish(std::string_view indexBase, std::string& error, std::vector<std::string>* files);

    long long urls() const { return m_urls; }
    // One document holds more than the protocol allows in one file: written
    // to a stream, a device or a pipe, which cannot be split.
    bool overLimit() const { return m_overLimit; }
    // Written into a device or a pipe at `path`.
    bool direct() const { return m_direct != nullptr; }
    // Past the limits: more than one part, and an index to name them.
    bool split() const { return m_parts.size() > 1; }
    // Why add() failed: a part could not be created.
    const std::string& error() const { return m_error; }
    // After finish(): the index of a text sitemap that fits one file again,
    // left where it was because another program wrote it; empty when none.
    const std::string& leftIndex() const { return m_leftIndex; }
    // After finish(): every index in this sitemap's places that lists other
    // files than its parts and was not replaced (either compression).
    const std::vector<std::string>& foreignIndexes() const { return m_foreign; }
    // Every name this sitemap may have on disk, plain and compressed: the
    // file and, for text, the index of its parts.
    std::vector<std::string> names() const;

private:
    class File;

    std::string partPath(std::size_t number) const;
    std::string indexPath() const;
    std::string onDisk(const std::string& path) const { return m_gzip ? path + ".gz" : path; }
    int startPart(std::string& error);
    void write(std::string_view text);
    std::string_view ended(std::string_view text);
    std::size_t bytes(std::string_view text) const;
    void removeOldParts(std::size_t kept);
    void examineEarlierIndexes(std::string_view base);
    void keepForeign(const std::vector<std::string>& written);

    std::ostream* m_stream = nullptr;  // one document
    std::string m_path;
    OutputLimits m_limits;
    std::unique_ptr<File> m_direct;  // the device or pipe at m_path
    Protocol m_protocol = Protocol::Google084;
    bool m_text = false;
    bool m_gzip = false;
    bool m_lf = false;
    std::string m_ended;  // the text with LF line ends
    const char* m_head = "";
    const char* m_tail = "";
    bool m_oldIndex = false;  // an earlier text sitemap was split
    // The files written, in order. The first goes to `path` until a second
    // is needed; it then becomes part 1 of an index.
    std::vector<std::unique_ptr<File>> m_parts;
    std::vector<std::size_t> m_oldParts;  // numbers the previous index at m_path listed
    std::vector<std::string> m_listedNames;  // the file names any earlier index here lists
    std::vector<std::string> m_foreign;   // indexes another program wrote here
    std::string m_leftIndex;
    std::size_t m_partUrls = 0;
    std::size_t m_partBytes = 0;
    long long m_urls = 0;
    bool m_overLimit = false;
    std::string m_error;
};

}  // namespace larkspur
