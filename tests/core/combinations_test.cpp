// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Every writer with every URL style and output option, on a small site of
// odd names: what is written parses back (index and parts, compressed or
// not), every URL reaches its page the way nginx with
// `try_files $uri $uri.html $uri/` and `index index.html index.htm` maps it, no page is
// missing or listed twice, and the CSV converts back to the XML the xml
// writer writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "gzip/gzip.h"
#include "platform/paths.h"
#include "platform/read_file.h"
#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"
#include "well_formed_xml.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

namespace fs = std::filesystem;

const std::string kBase = "https://example.com/";
constexpr std::int64_t kMarch7 = 1141732800;

// Each file of the site, and whether it is a page: a non-empty .html or .htm.
const std::pair<const char*, bool> kSite[] = {
    {"index.html", true},        {"a.html", true},           {"a.htm", true},
    {"c.htm", true},             {"LICENSE.html", true},     {"LICENSE", false},
    {"a,b & c's #1.html", true}, {"caf\xC3\xA9.html", true}, {"empty.html", false},
    {"old/index.htm", true},     {"docs/index.html", true},  {"docs/guide.html", true},
    {"docs/deep/er/page.html", true},
};

std::string PercentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The file nginx answers a URL path (decoded, without the leading "/") with,
// relative to the site folder; empty for none (a 404 or a 403).
std::string Served(const std::string& root, const std::string& path)
{
    const auto file = [&](const std::string& p) { return fs::is_regular_file(fs::path(root) / p); };
    const auto index = [&](std::string folder) -> std::string {
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        if (!fs::is_directory(fs::path(root) / folder))
            return "";
        for (const char* name : {"index.html", "index.htm"}) {
            if (file(folder + name))
                return folder + name;
        }
        return "";
    };
    if (path.empty() || path.back() == '/')
        return index(path);
    if (file(path))
        return path;
    if (file(path + ".html"))
        return path + ".html";
    return index(path);
}

// Each file written, by name, decompressed when its name ends in ".gz".
// The files' texts, each checked to end every line as asked.
std::map<std::string, std::string> ReadBack(const std::vector<std::string>& files, LineEnd newline)
{
    std::map<std::string, std::string> texts;
    for (const std::string& path : files) {
        std::string data, text, error;
        EXPECT_EQ(platform::ReadFile(path, data, error, 64 << 20), 0) << path << ": " << error;
        if (path.ends_with(".gz"))
            EXPECT_EQ(Gunzip(data, text, 64 << 20, error), 0) << path << ": " << error;
        const std::string& read = texts[platform::FileName(path)] = path.ends_with(".gz") ? text : data;
        const auto lines = std::count(read.begin(), read.end(), '\n');
        EXPECT_EQ(std::count(read.begin(), read.end(), '\r'), newline == LineEnd::Lf ? 0 : lines) << path;
        EXPECT_TRUE(read.ends_with('\n')) << path;
    }
    return texts;
}

// The decoded <loc>s of an XML sitemap or index, after checking that it is
// well-formed, in the protocol's namespace, and that each <url> holds the
// elements the options ask for, in the schema's order, none empty.
std::vector<std::string> XmlLocs(const std::string& name, const std::string& xml, const SitemapOptions& options,
                                 std::vector<std::string>& problems)
{
    test::XmlChecker checker;
    checker.collect("loc");
    if (const std::string fault = checker.check(xml); !fault.empty())
        problems.push_back(name + " is not well-formed: " + fault);
    const char* ns = options.protocol == Protocol::Sitemaps09 ? "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\""
                                                              : "xmlns=\"http://www.google.com/schemas/sitemap/0.84\"";
    if (xml.find(ns) == std::string::npos)
        problems.push_back(name + " is not in the namespace " + ns);
    const std::string expected = std::string("loc ") + (options.lastmod == LastmodSource::None ? "" : "lastmod ")
                               + (options.omitHints ? "" : "changefreq priority ");
    static const std::regex element("<(\\w+)>([^<]*)</\\1>");
    for (auto open = xml.find("<url>"); open != std::string::npos; open = xml.find("<url>", open + 1)) {
        const std::string body = xml.substr(open, xml.find("</url>", open) - open);
        std::string names;
        for (std::sregex_iterator m(body.begin(), body.end(), element), end; m != end; ++m)
            names += (*m)[1].str() + ((*m)[2].length() == 0 ? "(empty) " : " ");
        if (names != expected)
            problems.push_back(name + ": a <url> holds " + names + "instead of " + expected);
    }
    return checker.collected();
}

using Combination = std::tuple<UrlStyle, bool, LastmodSource, Protocol, bool, bool>;

std::string Name(const testing::TestParamInfo<Combination>& info)
{
    const auto [style, omitHints, lastmod, protocol, gzip, split] = info.param;
    return std::string(style == UrlStyle::File ? "file" : style == UrlStyle::Folder ? "folder" : "clean")
         + (omitHints ? "_omitHints" : "") + (lastmod == LastmodSource::None ? "_noLastmod" : "")
         + (protocol == Protocol::Sitemaps09 ? "_09" : "_084") + (gzip ? "_gzip" : "") + (split ? "_split" : "")
         + (omitHints != split ? "_lf" : "");
}

}  // namespace

class Combinations : public testing::TestWithParam<Combination> {
protected:
    static void SetUpTestSuite()
    {
        s_tree = std::make_unique<TempTree>();
        for (const auto& [name, page] : kSite) {
            const std::string content = page ? "<p>page</p>" : std::string(name) == "empty.html" ? "" : "text";
            s_tree->file(std::string("site/") + name, content, kMarch7);
        }
        s_scan = std::make_unique<ScanResult>();
        ASSERT_EQ(WalkAndCount(*s_scan, s_tree->path("site")), 0);
    }

    // What earlier rows wrote goes, so that no run sees another's files.
    static void RemoveSitemaps()
    {
        for (const auto& entry : fs::directory_iterator(s_tree->path("site"))) {
            if (entry.path().filename().string().starts_with("sitemap"))
                fs::remove(entry.path());
        }
    }

    // Every problem with the URLs a sitemap lists, one line each.
    static void CheckUrls(const std::vector<std::string>& urls, std::vector<std::string>& problems)
    {
        std::set<std::string> listed, served;
        for (const std::string& url : urls) {
            if (!listed.insert(url).second)
                problems.push_back(url + " is listed twice");
            if (!url.starts_with(kBase)) {
                problems.push_back(url + " is not below " + kBase);
                continue;
            }
            const std::string file = Served(s_tree->path("site"), PercentDecoded(url.substr(kBase.size())));
            const auto page =
                std::find_if(std::begin(kSite), std::end(kSite), [&](const auto& p) { return p.first == file; });
            if (file.empty())
                problems.push_back(url + ": nginx finds no file there (404)");
            else if (page == std::end(kSite) || !page->second)
                problems.push_back(url + ": nginx serves " + file + ", which is not a page");
            else if (!served.insert(file).second)
                problems.push_back(url + ": nginx serves " + file + ", which another URL already reaches");
        }
        for (const auto& [name, page] : kSite) {
            if (page && !served.contains(name))
                problems.push_back(std::string("no URL reaches the page ") + name);
        }
    }

    static inline std::unique_ptr<TempTree> s_tree;
    static inline std::unique_ptr<ScanResult> s_scan;
};

TEST_P(Combinations, EveryPageOnceAtAUrlThatServesItAndTheCsvConvertsBack)
{
    const auto [style, omitHints, lastmod, protocol, gzip, split] = GetParam();
    SitemapParameters parameters;
    parameters.websiteUrl = kBase;
    parameters.options.urlStyle = style;
    parameters.options.omitHints = omitHints;
    parameters.options.lastmod = lastmod;
    parameters.options.protocol = protocol;
    parameters.options.gzip = gzip;
    // Half the rows, varying against every other choice, without doubling them.
    parameters.options.newline = omitHints != split ? LineEnd::Lf : LineEnd::CrLf;
    OutputLimits limits;
    limits.maxUrls = split ? 4 : limits.maxUrls;
    limits.now = kMarch7;
    const std::string site = s_tree->path("site");
    std::map<std::string, std::string> xmlFiles;
    for (const SitemapFormat format : {SitemapFormat::Xml, SitemapFormat::Text, SitemapFormat::Csv}) {
        SCOPED_TRACE(SitemapFileName(format));
        RemoveSitemaps();
        SaveReport report;
        std::string error;
        ASSERT_EQ(SaveSitemap(platform::JoinPath(site, SitemapFileName(format)), format, s_scan->tree, parameters,
                              &error, &report, limits),
                  0)
            << error;
        if (format == SitemapFormat::Csv) {
            // Its URLs are checked as the XML's: the conversion must give it.
            ReadBack(report.files, parameters.options.newline);
            ConvertReport converted;
            ASSERT_EQ(ConvertCsvToXml(report.files.front(), platform::JoinPath(site, "sitemap.xml"), &converted,
                                      &error, limits, {}, parameters.options),
                      0)
                << error;
            const std::map<std::string, std::string> back = ReadBack(converted.files, parameters.options.newline);
            EXPECT_EQ(back.size(), xmlFiles.size()) << "the CSV converted back is not the xml writer's files";
            for (const auto& [name, text] : xmlFiles)
                EXPECT_EQ(back.contains(name) ? back.at(name) : "(not written)", text)
                    << "the CSV converted back is not the xml writer's " << name;
            continue;
        }
        const std::map<std::string, std::string> texts = ReadBack(report.files, parameters.options.newline);
        if (format == SitemapFormat::Xml)
            xmlFiles = texts;
        std::vector<std::string> problems, urls;
        const bool indexed = report.files.size() > 1;
        if (indexed) {
            const std::string index = platform::FileName(report.files.front());
            std::vector<std::string> parts;
            for (std::size_t i = 1; i < report.files.size(); ++i)
                parts.push_back(kBase + platform::FileName(report.files[i]));
            if (XmlLocs(index, texts.at(index), parameters.options, problems) != parts)
                problems.push_back(index + " does not list exactly the parts written");
        }
        for (std::size_t i = indexed ? 1 : 0; i < report.files.size(); ++i) {
            const std::string name = platform::FileName(report.files[i]);
            const std::string& text = texts.at(name);
            if (format == SitemapFormat::Xml) {
                for (const std::string& loc : XmlLocs(name, text, parameters.options, problems))
                    urls.push_back(loc);
                continue;
            }
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);)
                urls.push_back(line.substr(0, line.find('\r')));
        }
        CheckUrls(urls, problems);
        std::string all;
        for (const std::string& problem : problems)
            all += "\n  " + problem;
        EXPECT_TRUE(problems.empty()) << all;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Site, Combinations,
    testing::Combine(testing::Values(UrlStyle::File, UrlStyle::Folder, UrlStyle::Clean), testing::Bool(),
                     testing::Values(LastmodSource::FileTime, LastmodSource::None),
                     testing::Values(Protocol::Google084, Protocol::Sitemaps09), testing::Bool(), testing::Bool()),
    Name);
