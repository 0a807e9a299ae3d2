// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// URL building and escaping: a base URL that is accepted comes out as a
// valid URL that normalises to itself; escaped path segments and XML text
// decode back to what went in; references are kept only when XML allows them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "hostile_support.h"
#include "scan/scan.h"
#include "sitemap/csv.h"
#include "sitemap/url.h"
#include "well_formed_xml.h"

using namespace larkspur;
using larkspur::fuzz::Check;

namespace {

bool IsSegmentByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
        || (c != '\0' && std::strchr("-._~!$&'()*+,;=:@", c) != nullptr);
}

bool IsUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void CheckSegment(std::string_view segment)
{
    const std::string escaped = EscapePathSegment(segment);
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '%') {
            Check(i + 2 < escaped.size() && IsUpperHex(escaped[i + 1]) && IsUpperHex(escaped[i + 2]),
                  "escape is % and two upper-case hex digits", escaped);
            i += 2;
        } else {
            Check(IsSegmentByte(c), "only segment characters stay as they are", escaped);
        }
    }
    Check(larkspur::test::PercentDecode(escaped) == segment, "escaping is undone by decoding", escaped);
}

void CheckXmlEscape(std::string_view text)
{
    const std::string escaped = EscapeXml(text);
    Check(escaped.find_first_of("<>\"'") == std::string::npos, "no markup character left", escaped);
    Check(larkspur::test::XmlUnescape(escaped) == text, "entities decode back", escaped);

    const std::string kept = EscapeXmlKeepingReferences(text);
    const std::string document = "<a>" + kept + "</a>";
    const std::string fault = larkspur::test::XmlFault(document);
    Check(fault.empty(), "a copied field is well-formed XML", fault + "\n" + document);
}

void CheckDate(std::string_view text)
{
    const std::string padded = PadDate(text);
    Check(PadDate(padded) == padded, "padding is idempotent", padded);
    if (padded != text) {
        Check(padded.size() == 10 && padded[4] == '-' && padded[7] == '-', "padded as YYYY-MM-DD", padded);
        Check(padded.size() > text.size(), "padding only adds zeros", padded);
    }
}

void CheckBase(std::string_view url, const std::vector<std::string>& segments)
{
    std::string base;
    if (NormalizeBaseUrl(url, base) != 0)
        return;
    Check(base.rfind("http://", 0) == 0 || base.rfind("https://", 0) == 0, "scheme kept", base);
    Check(!base.empty() && base.back() == '/', "base ends in a slash", base);
    Check(larkspur::test::IsValidUrlText(base), "an accepted base is a valid URL", base);
    const std::size_t hostStart = base.find("://") + 3;
    Check(base.substr(hostStart, base.find('/', hostStart) - hostStart).find('@') == std::string::npos,
          "no user name or password", base);
    Check(std::none_of(base.begin(), base.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }),
          "an accepted base is ASCII, its host name included", base);
    std::string again;
    Check(NormalizeBaseUrl(base, again) == 0 && again == base, "normalising is idempotent", base + " -> " + again);

    // Entries below the root, one per segment, nested.
    std::vector<FileEntry> entries(segments.size() + 1);
    entries[0] = FileEntry(nullptr, ".", 0, EntryType::Directory);
    std::string relative;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        entries[i + 1] = FileEntry(&entries[i], segments[i], 0,
                                   i + 1 == segments.size() ? EntryType::File : EntryType::Directory);
        relative += (i ? "/" : "") + segments[i];
    }
    PageUrls urls(base);
    std::string url2, xml;
    if (!urls.make(entries.back(), entries.back().name(), url2, xml)) {
        Check(base.size() + relative.size() > kMaxUrlLength, "only a URL past the limit is refused");
        return;
    }
    Check(url2.rfind(base, 0) == 0, "the entry URL starts with the base", url2);
    Check(url2.size() <= kMaxUrlLength, "the entry URL is within the limit", url2);
    Check(urls.folderUrl().rfind(base, 0) == 0 && url2.rfind(urls.folderUrl(), 0) == 0,
          "the folder URL leads from the base to the entry", url2);
    Check(larkspur::test::IsValidUrlText(url2), "an entry URL is valid", url2);
    Check(larkspur::test::PercentDecode(url2.substr(base.size())) == relative, "the URL leads to the entry", url2);
    Check(xml == EscapeXml(url2), "XML form of the URL", xml);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckSegment(input);
    CheckXmlEscape(input);
    CheckDate(input);

    // The first NUL-separated piece is a base URL, the others path segments
    // (a name holds neither "/" nor NUL, and is never "." or "..").
    std::vector<std::string> pieces(1);
    for (const char c : input) {
        if (c == '\0')
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    std::vector<std::string> segments;
    for (std::size_t i = 1; i < pieces.size() && segments.size() < 16; ++i) {
        std::string name;
        for (const char c : pieces[i])
            name += c == '/' ? '_' : c;
        if (!name.empty() && name != "." && name != "..")
            segments.push_back(name);
    }
    if (segments.empty())
        segments.push_back("index.html");
    CheckBase(pieces[0], segments);

    // Dates of any time: no undefined behaviour, and the protocol's form for
    // the years it can express.
    if (size >= 8) {
        std::int64_t seconds = 0;
        std::memcpy(&seconds, data, sizeof seconds);
        const std::string date = FormatDate(seconds);
        if (seconds >= 0 && seconds < 253402300800)  // 1970 .. 9999
            Check(date.size() == 10 && date[4] == '-' && date[7] == '-', "YYYY-MM-DD", date);
    }
    return 0;
}
