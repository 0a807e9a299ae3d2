// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "urlset_writer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <system_error>

#include "gzip/gzip.h"
#include "head/head.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/read_file.h"
#include "platform/write_target.h"
#include "sitemap/url.h"
#include "text/text.h"

namespace larkspur {

namespace {

std::int64_t Now()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

UrlsetWriter::UrlsetWriter(std::ostream& out, const OutputLimits& limits, Protocol protocol)
    : m_stream(&out), m_limits(limits), m_protocol(protocol), m_head(UrlsetHead(protocol)), m_tail(kUrlsetTail)
{
    if (m_limits.maxBytes == 0)
        m_limits.maxBytes = ProtocolByteLimit(protocol);
}

// One file of the sitemap, compressed on its way to disk with gzip.
class UrlsetWriter::File {
public:
    explicit File(bool gzip) : m_gzip(gzip) {}

    int open(const std::string& path, std::string& error, bool writeIntoDevices = false)
    {
        m_path = path;
        if (m_file.open(path, error, writeIntoDevices) != 0)
            return -1;
        if (m_gzip)
            m_compressor = std::make_unique<GzipWriter>(m_file.stream());
        return 0;
    }
    std::ostream& stream() { return m_compressor ? m_compressor->stream() : m_file.stream(); }
    int retarget(const std::string& path, std::string& error)
    {
        if (m_file.retarget(path, error) != 0)
            return -1;
        m_path = path;
        return 0;
    }
    // Completes the file (its sync above all) on another thread, so that
    // the disk works while the next part is written; prepare() waits for it.
    void prepareAside()
    {
        try {
            m_aside = std::async(std::launch::async, [this] { return prepareHere(m_asideError); });
        } catch (const std::system_error&) {
            // No thread to spare: prepare() does it in place.
        }
    }
    int prepare(std::string& error)
    {
        if (!m_aside.valid())
            return prepareHere(error);
        const int result = m_aside.get();
        if (result != 0)
            error = m_asideError;
        return result;
    }
    int commit(std::string& error)
    {
        if (prepare(error) != 0)
            return -1;
        return m_file.commit(error);
    }

private:
    int prepareHere(std::string& error)
    {
        if (finishCompressing(error) != 0)
            return -1;
        return m_file.prepare(error);
    }

    int finishCompressing(std::string& error)
    {
        if (!m_compressor)
            return 0;
        const int result = m_compressor->finish(error);
        m_compressor.reset();
        if (result != 0) {
            error = m_path + ": " + error;
            m_file.abandon();
        }
        return result;
    }

    bool m_gzip;
    std::string m_path;
    platform::AtomicFile m_file;
    std::unique_ptr<GzipWriter> m_compressor;
    std::string m_asideError;
    std::future<int> m_aside;  // last: waited for before the file goes
};

UrlsetWriter::UrlsetWriter(std::string path, const OutputLimits& limits, Protocol protocol, bool text, bool gzip)
    : m_path(std::move(path)), m_limits(limits), m_protocol(protocol), m_text(text), m_gzip(gzip),
      m_head(text ? "" : UrlsetHead(protocol)), m_tail(text ? "" : kUrlsetTail)
{
    if (m_limits.maxBytes == 0)
        m_limits.maxBytes = ProtocolByteLimit(protocol);
}

UrlsetWriter::~UrlsetWriter() = default;  // uncommitted parts are abandoned

namespace {

// "sitemap.xml" as "sitemap" and ".xml".
void SplitName(const std::string& name, std::string& stem, std::string& extension)
{
    const auto dot = name.rfind('.');
    stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
}

// The file name at the end of an index entry's <loc> text, undoing the XML
// and percent escapes the index was written with.
std::string LocFileName(std::string_view loc)
{
    const auto slash = loc.rfind('/');
    loc = loc.substr(slash == std::string_view::npos ? 0 : slash + 1);
    return PercentDecoded(DecodeCharacterReferences(loc));
}

// The number n of a part named STEMn.EXT, plain or compressed, whose EXT is
// the sitemap's own: an index of sitemap1.xml parts beside sitemap.txt is
// another generator's. `form` receives EXT. 0 for any other name.
std::size_t PartNumber(const std::string& name, const std::string& stem, const std::string& extension,
                       std::string& form)
{
    for (const std::string_view gz : {std::string_view(), std::string_view(".gz")}) {
        form.assign(extension).append(gz);
        if (name.size() <= stem.size() + form.size() || name.compare(0, stem.size(), stem) != 0
            || !std::string_view(name).ends_with(form))
            continue;
        const std::string digits = name.substr(stem.size(), name.size() - stem.size() - form.size());
        if (digits.size() > 9 || digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        return static_cast<std::size_t>(std::stoul(digits));
    }
    return 0;
}

// The <loc> texts of a sitemap index, trimmed; false, with those before it,
// when one is not closed.
bool IndexLocs(const std::string& index, std::vector<std::string>& locs)
{
    locs.clear();
    for (auto open = index.find("<loc>"); open != std::string::npos; open = index.find("<loc>", open + 5)) {
        const auto close = index.find("</loc>", open);
        if (close == std::string::npos)
            return false;
        locs.push_back(index.substr(open + 5, close - open - 5));
        TrimSpaces(locs.back());
    }
    return true;
}

// Whether an earlier index, by its <loc>s, is one Larkspur wrote for this
// sitemap: every one names a part at `base`, exactly as the index would be
// written now. Only then may the parts it lists go (`numbers`: those of
// the form `current`); another generator's index under the same name, or
// one listing anything else, leaves every file alone.
bool OwnIndex(const std::vector<std::string>& locs, std::string_view base, const std::string& stem,
              const std::string& extension, const std::string& current, std::vector<std::size_t>& numbers)
{
    numbers.clear();
    std::string firstFolder;
    std::string form;
    for (const std::string& loc : locs) {
        // No address of its own (a CSV of no rows): the first part's folder.
        if (base.empty()) {
            if (loc.rfind('/') == std::string::npos)
                return false;
            firstFolder = loc.substr(0, loc.rfind('/') + 1);
            base = firstFolder;
        }
        const std::string_view rest = std::string_view(loc).substr(std::min(loc.size(), base.size()));
        const std::string name = LocFileName(rest);
        const std::size_t number = PartNumber(name, stem, extension, form);
        if (!std::string_view(loc).starts_with(base) || number == 0
            || EscapeXml(EscapePathSegment(name)) != rest) {
            numbers.clear();
            return false;
        }
        if (form == current)
            numbers.push_back(number);
    }
    return !locs.empty();
}

// The text of the index at `path`, when a sitemap index is there. Its start
// is read first, so that a single sitemap of many megabytes there is not
// read whole for nothing.
bool ReadIndex(const std::string& path, bool gzip, std::string& text)
{
    std::string ignored;
    platform::WriteTarget target;
    if (platform::ResolveWriteTarget(path, target, ignored) != 0 || target.kind != platform::TargetKind::Regular)
        return false;
    constexpr std::size_t kStart = std::size_t(64) << 10;
    constexpr std::size_t kWhole = std::size_t(64) << 20;
    for (const std::size_t limit : {kStart, kWhole}) {
        std::string data;
        if (platform::ReadFile(path, data, ignored, gzip ? kWhole : limit) != 0)
            return false;
        if (!gzip)
            text = std::move(data);
        else if (Gunzip(data, text, limit, ignored, true) != 0)
            return false;
        if (text.find("<sitemapindex") == std::string::npos)
            return false;
        if (text.size() < limit)
            break;  // the whole file
    }
    return true;
}

}  // namespace

std::string UrlsetWriter::partPath(std::size_t number) const
{
    const std::string name = platform::FileName(m_path);
    const std::string folder = m_path.substr(0, m_path.size() - name.size());
    std::string stem, extension;
    SplitName(name, stem, extension);
    return folder + stem + std::to_string(number) + extension;
}

// A text sitemap has no index of its own kind: its parts are listed by
// NAME-index.xml beside it.
std::string UrlsetWriter::indexPath() const
{
    if (!m_text)
        return m_path;
    const std::string name = platform::FileName(m_path);
    std::string stem, extension;
    SplitName(name, stem, extension);
    return m_path.substr(0, m_path.size() - name.size()) + stem + "-index.xml";
}

std::string_view UrlsetWriter::ended(std::string_view text)
{
    if (!m_lf)
        return text;
    m_ended.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            m_ended += text[i];
    }
    return m_ended;
}

std::size_t UrlsetWriter::bytes(std::string_view text) const
{
    std::size_t size = text.size();
    for (auto at = text.find("\r\n"); m_lf && at != std::string_view::npos; at = text.find("\r\n", at + 2))
        --size;
    return size;
}

void UrlsetWriter::write(std::string_view original)
{
    const std::string_view text = ended(original);
    std::ostream& out = m_stream ? *m_stream : m_parts.back()->stream();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

int UrlsetWriter::startPart(std::string& error)
{
    write(m_tail);
    // The first part turns out to be part 1 of an index.
    if (m_parts.size() == 1 && m_parts.front()->retarget(onDisk(partPath(1)), error) != 0)
        return -1;
    m_parts.back()->prepareAside();
    auto part = std::make_unique<File>(m_gzip);
    if (part->open(onDisk(partPath(m_parts.size() + 1)), error) != 0)
        return -1;
    m_parts.push_back(std::move(part));
    write(m_head);
    m_partUrls = 0;
    m_partBytes = bytes(m_head);
    return 0;
}

int UrlsetWriter::open(std::string& error)
{
    m_partUrls = 0;
    m_partBytes = bytes(m_head);
    if (m_stream) {
        *m_stream << ended(m_head);
        return *m_stream ? 0 : -1;
    }
    // A device or a pipe named as the output gets the one document, under
    // its own name even when compressed.
    platform::WriteTarget target;
    std::string unused;
    if (m_limits.writeIntoDevices && platform::ResolveWriteTarget(m_path, target, unused) == 0
        && target.kind == platform::TargetKind::Special) {
        m_direct = std::make_unique<File>(m_gzip);
        if (m_direct->open(m_path, error, true) != 0)
            return -1;
        m_stream = &m_direct->stream();
        *m_stream << ended(m_head);
        return 0;
    }
    // "sitemap.xml.gz" asked for by name: its parts are sitemap1.xml.gz, ...
    if (m_gzip && m_path.size() > 3 && m_path.ends_with(".gz"))
        m_path.resize(m_path.size() - 3);
    // The first part goes to a temporary beside the target, whether it ends
    // as the whole sitemap or as part 1 of an index; refused links and
    // folders show before any work is done.
    auto first = std::make_unique<File>(m_gzip);
    if (first->open(onDisk(m_path), error) != 0)
        return -1;
    m_parts.push_back(std::move(first));
    write(m_head);
    return 0;
}

// The indexes an earlier run may have left, told apart by what they list
// (see OwnIndex). A text sitemap's index under the other compression is
// only told apart: this run leaves it where it is.
void UrlsetWriter::examineEarlierIndexes(std::string_view base)
{
    std::string stem, extension;
    SplitName(platform::FileName(m_path), stem, extension);
    for (const bool gzip : {m_gzip, !m_gzip}) {
        if (gzip != m_gzip && !m_text)
            break;
        const std::string path = gzip ? indexPath() + ".gz" : indexPath();
        std::string text;
        std::vector<std::size_t> numbers;
        if (!ReadIndex(path, gzip, text))
            continue;
        std::vector<std::string> locs;
        const bool index = text.find("<sitemapindex") != std::string::npos && IndexLocs(text, locs);
        for (const std::string& loc : locs)
            m_listedNames.push_back(LocFileName(loc));
        if (!index || !OwnIndex(locs, base, stem, extension, onDisk(extension), numbers)) {
            m_foreign.push_back(path);
        } else if (gzip == m_gzip) {
            m_oldParts = std::move(numbers);
            m_oldIndex = m_text;
        }
    }
}

std::vector<std::string> UrlsetWriter::names() const
{
    std::vector<std::string> all{m_path, m_path + ".gz"};
    if (m_text) {
        all.push_back(indexPath());
        all.push_back(indexPath() + ".gz");
    }
    return all;
}

int UrlsetWriter::add(std::string_view element)
{
    const std::size_t tail = bytes(m_tail);
    const std::size_t size = bytes(element);
    const bool full = m_partUrls >= m_limits.maxUrls || m_partBytes + size + tail > m_limits.maxBytes;
    if (full && m_partUrls > 0) {
        if (m_stream)
            m_overLimit = true;
        else if (startPart(m_error) != 0)
            return -1;
    }
    write(element);
    ++m_partUrls;
    m_partBytes += size;
    ++m_urls;
    return 0;  // a failed write shows when the file is committed, with its cause
}

void UrlsetWriter::removeOldParts(std::size_t kept)
{
    for (const std::size_t number : m_oldParts) {
        if (number > kept)
            platform::RemoveFile(onDisk(partPath(number)));
    }
}

int UrlsetWriter::finish(std::string_view indexBase, std::string& error, std::vector<std::string>* files)
{
    if (!m_error.empty()) {
        error = m_error;
        return -1;
    }
    write(m_tail);
    if (m_direct) {
        if (m_direct->commit(error) != 0)
            return -1;
        if (files)
            *files = {m_path};
        return 0;
    }
    if (m_stream) {
        m_stream->flush();
        return *m_stream ? 0 : -1;
    }
    examineEarlierIndexes(indexBase);

    if (m_parts.size() == 1) {
        if (m_parts.front()->commit(error) != 0)
            return -1;
        removeOldParts(0);
        // An earlier text index would list parts that are gone.
        if (m_oldIndex)
            platform::RemoveFile(onDisk(indexPath()));
        keepForeign({onDisk(m_path)});
        if (files)
            *files = {onDisk(m_path)};
        return 0;
    }

    // A text sitemap's index has a name of its own, which another program's
    // index may have: it is not replaced, and nothing is written.
    if (m_text && std::find(m_foreign.begin(), m_foreign.end(), onDisk(indexPath())) != m_foreign.end()) {
        error = onDisk(indexPath()) + ": another program's sitemap index is there, and the parts of "
                + platform::FileName(onDisk(m_path)) + " need its name for theirs; move it, or write the sitemap "
                + "elsewhere";
        return -1;
    }
    // A file in a part's place that no earlier index here lists (at any
    // address: the site's may have changed) may be anyone's, a hand-made
    // image sitemap as sitemap2.xml: it is not written over, and nothing is
    // written. A link there is the owner's way of sending the part
    // elsewhere, and follows the rules for links.
    for (std::size_t i = 1; i <= m_parts.size(); ++i) {
        const std::string part = onDisk(partPath(i));
        const std::string name = platform::FileName(part);
        if (std::find(m_listedNames.begin(), m_listedNames.end(), name) == m_listedNames.end()
            && platform::ExistsNotAsLink(part)) {
            error = part + ": no index of this sitemap lists it, so it may be another program's; move it, or "
                           "write the sitemap elsewhere";
            return -1;
        }
    }
    m_parts.back()->prepareAside();  // while the index is written
    std::vector<std::string> written{onDisk(indexPath())};
    File index(m_gzip);
    if (index.open(onDisk(indexPath()), error) != 0)
        return -1;
    const std::string date = FormatDate(m_limits.now >= 0 ? m_limits.now : Now());
    std::string text = SitemapIndexHead(m_protocol);
    for (std::size_t i = 1; i <= m_parts.size(); ++i) {
        text += "<sitemap>\r\n  <loc>";
        text += indexBase;
        text += EscapeXml(EscapePathSegment(platform::FileName(onDisk(partPath(i)))));
        text += "</loc>\r\n  <lastmod>";
        text += date;
        text += "</lastmod>\r\n</sitemap>\r\n";
    }
    text += kSitemapIndexTail;
    index.stream() << ended(text);
    // Every file complete on disk before any of them replaces its previous
    // version: a write error (a full disk) leaves the previous set as it was.
    for (const auto& part : m_parts) {
        if (part->prepare(error) != 0)
            return -1;
    }
    if (index.prepare(error) != 0)
        return -1;
    // The parts first, the file that names them last. A rename frees the
    // file it replaces, which takes a while for a large one: the parts are
    // renamed side by side.
    std::vector<std::future<int>> renames;
    std::vector<std::string> errors(m_parts.size());
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        const auto rename = [this, &errors, i] { return m_parts[i]->commit(errors[i]); };
        try {
            renames.push_back(std::async(std::launch::async, rename));
        } catch (const std::system_error&) {
            renames.push_back(std::async(std::launch::deferred, rename));
        }
    }
    int renamed = 0;
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        if (renames[i].get() != 0 && renamed == 0) {
            renamed = -1;
            error = errors[i];
        }
        written.push_back(onDisk(partPath(i + 1)));
    }
    if (renamed != 0)
        return -1;
    if (index.commit(error) != 0)
        return -1;
    removeOldParts(m_parts.size());
    // A single text sitemap from an earlier run would list stale pages.
    if (m_text)
        platform::RemoveFile(onDisk(m_path));
    keepForeign(written);
    if (files)
        *files = std::move(written);
    return 0;
}

// The foreign indexes that are still there: not replaced by a file this run
// wrote.
void UrlsetWriter::keepForeign(const std::vector<std::string>& written)
{
    std::erase_if(m_foreign, [&](const std::string& path) {
        return std::find(written.begin(), written.end(), path) != written.end();
    });
    if (m_text && !m_foreign.empty() && m_foreign.front() == onDisk(indexPath()))
        m_leftIndex = m_foreign.front();
}

}  // namespace larkspur
