// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Reading sitemap.csv back, and its conversion into an XML sitemap.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "platform/system.h"
#include "sitemap/csv.h"
#include "sitemap/url.h"
#include "sitemap/w3c_date.h"
#include "text/text.h"
#include "urlset_writer.h"

namespace larkspur {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The characters XML 1.0 allows in a document.
bool IsXmlCharacter(unsigned long c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the entity or character reference at the start of `text`
// ("&amp;", "&#38;", "&#x26;"), or 0 when there is none.
std::size_t ReferenceLength(std::string_view text)
{
    static constexpr std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&apos;", "&quot;"};
    for (const std::string_view entity : kEntities) {
        if (text.substr(0, entity.size()) == entity)
            return entity.size();
    }
    if (text.size() < 4 || text[1] != '#')
        return 0;
    std::size_t i = 2;
    const bool hex = text[i] == 'x';
    if (hex)
        ++i;
    const std::size_t digitsStart = i;
    while (i < text.size()
           && (IsDigit(text[i]) || (hex && ((text[i] >= 'a' && text[i] <= 'f') || (text[i] >= 'A' && text[i] <= 'F')))))
        ++i;
    if (i == digitsStart || i - digitsStart > 8 || i >= text.size() || text[i] != ';')
        return 0;
    // A reference to a character that XML does not allow (&#0;, a
    // surrogate, &#xFFFF;, past U+10FFFF) is not kept: a parser refuses it.
    unsigned long value = 0;  // at most 8 digits: no overflow
    for (std::size_t d = digitsStart; d < i; ++d) {
        const char c = text[d];
        value = value * (hex ? 16 : 10)
              + static_cast<unsigned long>(IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    if (!IsXmlCharacter(value))
        return 0;
    return i + 1;
}

// The length of escaped XML text once a parser has read it: a reference
// is one character.
std::size_t XmlTextLength(std::string_view text)
{
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size(); ++length) {
        const std::size_t reference = text[i] == '&' ? ReferenceLength(text.substr(i)) : 0;
        i += reference > 0 ? reference : 1;
    }
    return length;
}

// Length of a well-formed UTF-8 sequence of a character XML allows at the
// start of `text`, or 0.
std::size_t Utf8Length(std::string_view text)
{
    const auto c = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    unsigned minimum = 0;
    unsigned value = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        length = 2; minimum = 0x80; value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3; minimum = 0x800; value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4; minimum = 0x10000; value = c & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || !IsXmlCharacter(value))
        return 0;  // overlong, a surrogate, U+FFFE, U+FFFF or past U+10FFFF
    return length;
}

// Splits a stream into lines at LF, CR LF or a lone CR, whatever their length.
// A line past kLongestLine cannot be a row worth keeping (its URL alone
// would be far over the limit); it is read to its end but not kept, so a
// file of one endless line costs no more memory than that.
class LineReader {
public:
    static constexpr std::size_t kLongestLine = 16 << 20;

    explicit LineReader(std::istream& in) : m_in(in) {}

    bool next(std::string& line)
    {
        line.clear();
        m_overlong = false;
        bool any = false;
        for (;;) {
            const int c = m_in.get();
            if (c == std::char_traits<char>::eof())
                return any;
            any = true;
            if (c == '\n')
                return true;
            if (c == '\r') {
                if (m_in.peek() == '\n')
                    m_in.get();
                return true;
            }
            if (line.size() < kLongestLine)
                line += static_cast<char>(c);
            else
                m_overlong = true;
        }
    }

    // The last line was longer than kLongestLine and is cut.
    bool overlong() const { return m_overlong; }

private:
    std::istream& m_in;
    bool m_overlong = false;
};

}  // namespace

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

int SplitFields(FieldList& list, std::string_view line, char separator)
{
    list.fields.clear();
    if (line.empty())
        return -1;
    // A row has at most one field per three characters, and a few dozen at
    // the very most; longer rows are junk. Only empty fields past that are
    // not: a spreadsheet pads rows with separators for a column once used.
    const std::size_t capacity = std::min<std::size_t>(line.size() / 3 + 1, kMaxFields);
    std::string copy(line);
    TrimSpaces(copy);
    const std::size_t lastText = copy.find_last_not_of(std::string{separator, ' ', '\t'});

    std::size_t pos = 0;
    for (;;) {
        std::string field;
        if (pos < copy.size() && copy[pos] == '"') {
            // Quoted: separators inside are text, a doubled quote is one quote.
            ++pos;
            while (pos < copy.size()) {
                if (copy[pos] == '"') {
                    if (pos + 1 < copy.size() && copy[pos + 1] == '"') {
                        field += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field += copy[pos++];
            }
        }
        // Unquoted text, or what follows a closing quote up to the separator: a
        // quote is dropped and the next character taken as it is.
        while (pos < copy.size() && copy[pos] != separator) {
            if (copy[pos] == '"') {
                ++pos;
                if (pos >= copy.size())
                    break;
            }
            field += copy[pos++];
        }
        list.fields.push_back(std::move(field));
        if (pos >= copy.size())
            break;
        ++pos;  // the separator
        if (list.fields.size() >= capacity) {
            if (lastText == std::string::npos || pos > lastText)
                return 0;  // only padding left
            list.fields.clear();
            return -1;
        }
        // A separator at the end ends an empty field: "a,b,," is four fields.
    }
    return 0;
}

std::string EscapeXmlKeepingReferences(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&') {
            const std::size_t length = ReferenceLength(text.substr(i));
            if (length > 0) {
                out.append(text.substr(i, length));
                i += length;
            } else {
                out += "&amp;";
                ++i;
            }
            continue;
        }
        if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
            AppendPercentEscape(out, byte);  // not allowed in XML at all; as a URL byte it is escaped
        } else if (byte >= 0x80) {
            const std::size_t length = Utf8Length(text.substr(i));
            if (length == 0) {
                AppendPercentEscape(out, byte);
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        } else {
            out += c;
        }
        ++i;
    }
    return out;
}

std::string PadDate(std::string_view text)
{
    const auto first = text.find('-');
    const auto second = first == std::string_view::npos ? first : text.find('-', first + 1);
    if (second == std::string_view::npos)
        return std::string(text);
    const std::string_view year = text.substr(0, first);
    const std::string_view month = text.substr(first + 1, second - first - 1);
    const std::string_view day = text.substr(second + 1);
    auto digits = [](std::string_view part, std::size_t most) {
        if (part.empty() || part.size() > most)
            return false;
        for (const char c : part) {
            if (!IsDigit(c))
                return false;
        }
        return true;
    };
    if (year.size() != 4 || !digits(year, 4) || !digits(month, 2) || !digits(day, 2))
        return std::string(text);
    std::string out(year);
    out += '-';
    if (month.size() == 1)
        out += '0';
    out += month;
    out += '-';
    if (day.size() == 1)
        out += '0';
    out += day;
    return out;
}

int XmlPathForCsv(const std::string& csvPath, std::string& xmlPath)
{
    const auto dot = csvPath.rfind('.');
    if (dot == std::string::npos || !EqualsIgnoringCase(std::string_view(csvPath).substr(dot), ".csv"))
        return -1;
    xmlPath = csvPath.substr(0, dot) + ".xml";
    return 0;
}

int CheckCsvPath(const std::string& csvPath, std::string& message, bool gzip)
{
    message.clear();
    if (csvPath.empty())
        return -1;
    std::string xmlPath;
    if (platform::IsDirectory(csvPath))
        message = "A csv file required!";
    else if (!platform::Exists(csvPath))
        message = "File not exists!";
    else if (XmlPathForCsv(csvPath, xmlPath) != 0)
        message = "A csv file required!";
    if (!message.empty())
        return -1;
    if (gzip)
        xmlPath += ".gz";
    message = platform::FileName(xmlPath)
            + (platform::Exists(xmlPath) ? " exists and will be replaced!" : " will be created in same folder!");
    return 0;
}

namespace {

// The site of an absolute http or https address, as "scheme://host/" in
// lower case; -1 for anything else (an empty field, "javascript:", a path).
int SiteOf(std::string_view loc, std::string& site)
{
    const std::size_t schemeEnd = HttpSchemeEnd(loc);
    if (schemeEnd == 0)
        return -1;
    const std::string_view authority = loc.substr(schemeEnd, loc.find_first_of("/?#", schemeEnd) - schemeEnd);
    const auto at = authority.rfind('@');
    std::string_view host = at == std::string_view::npos ? authority : authority.substr(at + 1);
    if (!host.empty())
        host = host.substr(0, host.front() == '[' ? host.find(']') + 1 : host.find(':'));
    if (host.empty())
        return -1;
    for (const char c : authority) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return -1;
    }
    site.assign(loc.substr(0, schemeEnd + authority.size()));
    for (char& c : site)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    site += '/';
    return 0;
}

bool IsBlank(std::string_view field)
{
    for (const char c : field) {
        if (!ascii::IsCSpace(c))
            return false;
    }
    return true;
}

// A field as the text of its element; none for a blank field, whose element
// is then left out: an empty <lastmod> or <priority> fails the schema.
std::string ElementText(std::string_view field)
{
    return IsBlank(field) ? std::string() : EscapeXmlKeepingReferences(field);
}

// A priority the schema takes: a decimal from 0.0 to 1.0.
bool ValidPriority(std::string_view text)
{
    if (text.starts_with('+'))
        text.remove_prefix(1);
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    const auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return IsDigit(c); });
    };
    if (whole.size() + fraction.size() == 0 || !digits(whole) || !digits(fraction))
        return false;
    const std::size_t lead = whole.find_first_not_of('0');
    if (lead == std::string_view::npos)
        return true;  // 0.x
    return whole.substr(lead) == "1" && fraction.find_first_not_of('0') == std::string_view::npos;
}

// Which of a row's hints the schema does not take, as "lastmod '1/5/2024'";
// empty when it takes them all.
std::string ValueNotValid(const FieldList& row)
{
    const auto trimmed = [](std::string text) {
        TrimSpaces(text);
        return text;
    };
    // Dates and numbers may have spaces around them; the words may not.
    const std::string lastmod = trimmed(PadDate(row.fields[1]));
    const std::string& changefreq = IsBlank(row.fields[2]) ? std::string() : row.fields[2];
    const std::string priority = trimmed(row.fields[3]);
    std::int64_t earliest = 0, latest = 0;
    if (!lastmod.empty() && !ParseW3cDate(lastmod, earliest, latest))
        return "lastmod '" + lastmod + "'";
    if (!changefreq.empty() && FrequencyIndex(changefreq) < 0)
        return "changefreq '" + changefreq + "'";
    if (!priority.empty() && !ValidPriority(priority))
        return "priority '" + priority + "'";
    return {};
}

// The sites of the rows: the first one, and the first other one.
struct RowSites {
    std::string first;
    std::string other;
};

// Reads the rows into `urlset`.
int ConvertRows(std::istream& csv, UrlsetWriter& urlset, ConvertReport& r, RowSites& sites)
{
    LineReader reader(csv);
    std::string line;
    FieldList fields;
    bool first = true;
    std::string out;
    std::string site;
    long long number = 0;
    while (reader.next(line)) {
        ++number;
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);  // a byte-order mark from a spreadsheet
        first = false;
        if (reader.overlong()) {
            ++r.linesSkipped;
            continue;
        }
        TrimSpaces(line);
        if (line.empty())
            continue;
        if (SplitFields(fields, line, ',') != 0) {
            ++r.linesSkipped;
            continue;
        }
        // Separators past the fourth field that end only empty ones are what
        // a spreadsheet adds for a column it once saw used.
        while (fields.fields.size() > 4 && IsBlank(fields.fields.back()))
            fields.fields.pop_back();
        if (fields.fields.size() != 4) {
            ++r.linesSkipped;
            continue;
        }
        if (EqualsIgnoringCase(fields.fields[0], "loc"))
            continue;
        const std::string loc = EscapeXmlKeepingReferences(fields.fields[0]);
        // A search engine takes only absolute http and https addresses.
        if (SiteOf(loc, site) != 0) {
            ++r.linesSkipped;
            continue;
        }
        if (XmlTextLength(loc) > kMaxUrlLength) {
            ++r.tooLong;
            continue;
        }
        if (sites.first.empty())
            sites.first = site;
        else if (sites.other.empty() && site != sites.first)
            sites.other = site;
        // Written as they are, as the CSV gives them, but said.
        if (const std::string value = ValueNotValid(fields); !value.empty() && r.valuesNotValid++ == 0)
            r.firstValueNotValid = "line " + std::to_string(number) + ": " + value;
        out.clear();
        AppendUrlElement(out, loc, ElementText(PadDate(fields.fields[1])), ElementText(fields.fields[2]),
                         ElementText(fields.fields[3]));
        if (urlset.add(out) != 0)
            return -1;
        ++r.rowsWritten;
    }
    return csv.bad() ? -1 : 0;
}

}  // namespace

int ConvertCsvToXml(std::istream& csv, std::ostream& xml, ConvertReport* report)
{
    ConvertReport local;
    ConvertReport& r = report ? *report : local;
    r = {};
    UrlsetWriter urlset(xml);
    RowSites sites;
    std::string error;
    if (urlset.open(error) != 0 || ConvertRows(csv, urlset, r, sites) != 0)
        return -1;
    return urlset.finish({}, error, nullptr);
}

int ConvertCsvToXml(const std::string& csvPath, const std::string& xmlPath, ConvertReport* report,
                    std::string* error, const OutputLimits& limits, std::string_view folderUrl,
                    const SitemapOptions& options)
{
    ConvertReport local;
    ConvertReport& r = report ? *report : local;
    r = {};
    std::string message;
    if (platform::IsDirectory(csvPath)) {
        if (error)
            *error = csvPath + ": " + platform::SystemMessage(EISDIR);
        return -1;
    }
    // A pipe or a device would be waited on, maybe for ever.
    std::error_code ignored;
    if (platform::Exists(csvPath) && !std::filesystem::is_regular_file(csvPath, ignored)) {
        if (error)
            *error = csvPath + ": not a regular file";
        return -1;
    }
    errno = 0;
    std::ifstream csv(csvPath, std::ios::binary);
    if (!csv) {
        // The stream keeps no reason; the failed open left it in errno.
        if (error)
            *error = csvPath + ": " + (errno != 0 ? platform::SystemMessage(errno) : std::string("cannot be read"));
        return -1;
    }
    std::string folderBase;
    if (!folderUrl.empty() && NormalizeBaseUrl(folderUrl, folderBase, &message) != 0) {
        if (error)
            *error = message.empty() ? "not an absolute http:// or https:// URL: " + std::string(folderUrl) : message;
        return -1;
    }
    UrlsetWriter urlset(xmlPath, limits, options.protocol, false, options.gzip);
    urlset.setLineEnd(options.newline);
    RowSites sites;
    if (urlset.open(message) != 0) {
        if (error)
            *error = message;
        return -1;
    }
    if (ConvertRows(csv, urlset, r, sites) != 0) {
        if (error)
            *error = urlset.error().empty() ? csvPath + ": cannot be read" : urlset.error();
        return -1;
    }
    // Rows, none of them usable, are not a site without pages: whatever XML
    // is there stays.
    if (r.rowsWritten == 0 && r.linesSkipped + r.tooLong > 0) {
        if (error) {
            *error = csvPath + ": no row converted:";
            if (r.linesSkipped > 0)
                *error += " " + std::to_string(r.linesSkipped) + " line(s) not four comma-separated fields "
                          "starting with an http:// or https:// URL" + (r.tooLong > 0 ? ";" : "");
            if (r.tooLong > 0)
                *error += " " + std::to_string(r.tooLong) + " URL(s) longer than " + std::to_string(kMaxUrlLength)
                        + " characters";
            const bool addGz = options.gzip && !xmlPath.ends_with(".gz");
            *error += "; " + platform::FileName(addGz ? xmlPath + ".gz" : xmlPath) + " not written";
        }
        return -1;
    }
    // The parts are written beside the CSV, so the index names them by the
    // address of its folder; without one, the root of the rows' one site.
    if (urlset.split() && folderBase.empty() && !sites.other.empty()) {
        if (error)
            *error = csvPath + ": the rows are on more than one host (" + sites.first + " and " + sites.other
                   + "), so no one sitemap index can list their parts";
        return -1;
    }
    if (urlset.finish(folderBase.empty() ? sites.first : EscapeXml(folderBase), message, &r.files) != 0) {
        if (error)
            *error = message;
        return -1;
    }
    return 0;
}

}  // namespace larkspur
