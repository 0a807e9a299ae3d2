// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Output written with every option at its default must stay byte for byte
// what Larkspur has always written: existing sites and deploy scripts compare
// or publish these files as they are. The expected files under
// tests/data/default-output were written by the release before the sitemap
// options existed; LARKSPUR_WRITE_DEFAULT_OUTPUT=1 rewrites them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

constexpr std::int64_t kStart = 946684799;  // 1999-12-31 23:59:59 UTC

// Names that need every kind of escaping, pages beside their look-alikes.
const char* const kNames[] = {
    "index.html", "index.htm", "About Us.html", "R&D.HTM", "café.html", "日本語.htm",
    "a,b,c.html", "it's.Html", "say \"hi\".html", "<angle>.htm", "100%.html", "hash#tag.html",
    "what?.html", "plus+sign.html", "[brackets].html", "back\\slash.htm", "tab\there.html",
    "line\nbreak.html", "emoji 🙂.html", "bad\xff\xfe.html", "   spaced   .html", ".html",
    "a.html", "a.htm", "page.html.bak", "style.css", "notes.txt", "report.PDF", "empty.html",
};
const char* const kFolders[] = {"", "docs/", "R&D 2/", "docs/deep/déjà vu/", "a/"};

std::string DataPath(const std::string& name)
{
    return std::string(LARKSPUR_TEST_DATA) + "/default-output/" + name;
}

void Check(const std::string& name, const std::string& actual)
{
    if (std::getenv("LARKSPUR_WRITE_DEFAULT_OUTPUT")) {
        std::ofstream(DataPath(name), std::ios::binary) << actual;
        return;
    }
    std::ifstream in(DataPath(name), std::ios::binary);
    ASSERT_TRUE(in) << DataPath(name);
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(actual, expected) << name;
}

class DefaultOutput : public testing::Test {
protected:
    void SetUp() override
    {
        int i = 0;
        for (const char* folder : kFolders) {
            for (const char* name : kNames) {
                const std::string content = std::string(name) == "empty.html" ? "" : "<html></html>";
                t.file(std::string("site/") + folder + name, content, kStart + 86400LL * 97 * i++);
            }
        }
        ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
        parameters.websiteUrl = "https://Example.COM/My Site";
        parameters.priorityIndex = 3;
        parameters.frequencyIndex = 5;
    }

    TempTree t;
    ScanResult scan;
    SitemapParameters parameters;
};

}  // namespace

TEST_F(DefaultOutput, ThreeFormatsToAStream)
{
    const std::pair<SitemapFormat, const char*> formats[] = {
        {SitemapFormat::Xml, "sitemap.xml"}, {SitemapFormat::Text, "sitemap.txt"}, {SitemapFormat::Csv, "sitemap.csv"}};
    // Listed on one thread or on several, the tree and every byte are the same.
    for (const unsigned jobs : {1u, 4u}) {
        ASSERT_EQ(WalkAndCount(scan, t.path("site"), nullptr, nullptr, nullptr, {jobs, {}}), 0);
        for (const auto& [format, name] : formats) {
            std::ostringstream out;
            ASSERT_EQ(WriteSitemap(out, format, scan.tree, parameters), 0);
            Check(name, out.str());
        }
    }
}

TEST_F(DefaultOutput, SavedFilesSplitIndexAndConversion)
{
    std::string error;
    t.folder("out");
    t.folder("split");
    for (const SitemapFormat format : {SitemapFormat::Xml, SitemapFormat::Text, SitemapFormat::Csv}) {
        const std::string name = SitemapFileName(format);
        ASSERT_EQ(SaveSitemap(t.path("out/" + name), format, scan.tree, parameters, &error), 0) << error;
        Check(name, t.read("out/" + name));
    }
    ConvertReport converted;
    ASSERT_EQ(ConvertCsvToXml(t.path("out/sitemap.csv"), t.path("out/converted.xml"), &converted, &error), 0);
    Check("converted.xml", t.read("out/converted.xml"));

    // Small limits: an index and its parts.
    OutputLimits limits;
    limits.maxUrls = 40;
    limits.now = kStart;
    SaveReport report;
    ASSERT_EQ(SaveSitemap(t.path("split/sitemap.xml"), SitemapFormat::Xml, scan.tree, parameters, &error,
                          &report, limits), 0) << error;
    ASSERT_EQ(report.files.size(), 4u);
    for (const std::string& file : report.files) {
        const std::string name = file.substr(file.rfind('/') + 1);
        Check("split-" + name, t.read("split/" + name));
    }
}
