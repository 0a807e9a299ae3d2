// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Failures of the system while Larkspur writes: a folder it may not write
// into, a full disk, a folder that has gone, and the process killed in the
// middle of a save. Each ends in a clear error with the previous file as it
// was and no temporary file left behind; a kill leaves the old file or the
// new one, never a mix.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>

#include <sys/resource.h>

#include "hostile_support.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "projects/projects.h"
#include "scan/scan.h"
#include "sitemap/csv.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"
#include "well_formed_xml.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

enum class Output { SitemapXml, SitemapTxt, SitemapCsv, ConvertedXml, SavingFile };

const char* Label(Output output)
{
    switch (output) {
    case Output::SitemapXml: return "SitemapXml";
    case Output::SitemapTxt: return "SitemapTxt";
    case Output::SitemapCsv: return "SitemapCsv";
    case Output::ConvertedXml: return "ConvertedXml";
    case Output::SavingFile: return "SavingDat";
    }
    return "?";
}

ProjectTable TableNamed(const std::string& prefix)
{
    ProjectTable table;
    ResetTable(table);
    for (int i = 0; i < kMaxProjects; ++i) {
        table.slots[i].name = prefix + " " + std::to_string(i);
        table.slots[i].localPath = "/srv/" + prefix + "/" + std::to_string(i);
        table.slots[i].websiteUrl = "https://" + prefix + ".example.org/";
        table.slots[i].priorityIndex = (i + static_cast<int>(prefix.size())) % kPriorityCount;
    }
    table.projectCount = kMaxProjects;
    return table;
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A walked site of some hundred pages in t/site, and the ways to write each
// output into that folder. `variant` changes the content, so an old and a
// new file can be told apart.
class Outputs {
public:
    Outputs()
    {
        ::chmod(t.root().c_str(), 0755);
        folder = t.folder("site");
        for (int i = 0; i < 600; ++i)
            t.file("site/pages/page-" + std::to_string(i) + ".html", "x", 1141732800 + 86400 * i);
        EXPECT_EQ(WalkAndCount(scan, folder), 0);
        std::ostringstream csv;
        EXPECT_EQ(WriteSitemap(csv, SitemapFormat::Csv, scan.tree, parameters(0)), 0);
        t.file("site/pages.csv", csv.str());
    }

    SitemapParameters parameters(int variant) const
    {
        SitemapParameters p;
        p.websiteUrl = "https://example.org/";
        p.frequencyIndex = variant;
        return p;
    }

    std::string target(Output output) const
    {
        switch (output) {
        case Output::SitemapXml: return t.path("site/sitemap.xml");
        case Output::SitemapTxt: return t.path("site/sitemap.txt");
        case Output::SitemapCsv: return t.path("site/sitemap.csv");
        case Output::ConvertedXml: return t.path("site/pages.xml");
        case Output::SavingFile: return t.path("site/saving.dat");
        }
        return {};
    }

    static SitemapFormat Format(Output output)
    {
        return output == Output::SitemapTxt ? SitemapFormat::Text
             : output == Output::SitemapCsv ? SitemapFormat::Csv
                                            : SitemapFormat::Xml;
    }

    // The complete bytes a save would write.
    std::string content(Output output, int variant) const
    {
        if (output == Output::SavingFile)
            return EncodeTable(TableNamed(variant == 0 ? "old" : "new"));
        std::ostringstream out;
        if (output == Output::ConvertedXml) {
            std::istringstream in(t.read("site/pages.csv"));
            EXPECT_EQ(ConvertCsvToXml(in, out), 0);
        } else {
            EXPECT_EQ(WriteSitemap(out, Format(output), scan.tree, parameters(variant)), 0);
        }
        return out.str();
    }

    // Saves into `folderPath` (normally t/site); 0 or -1 with a message.
    int save(Output output, int variant, std::string& error, const std::string& folderPath) const
    {
        const std::string name = platform::FileName(target(output));
        const std::string path = platform::JoinPath(folderPath, name);
        switch (output) {
        case Output::SitemapXml:
        case Output::SitemapTxt:
        case Output::SitemapCsv:
            return SaveSitemap(path, Format(output), scan.tree, parameters(variant), &error);
        case Output::ConvertedXml:
            return ConvertCsvToXml(platform::JoinPath(folderPath, "pages.csv"), path, nullptr, &error);
        case Output::SavingFile:
            return SaveProjects(TableNamed(variant == 0 ? "old" : "new"), folderPath, &error);
        }
        return -1;
    }
    int save(Output output, int variant, std::string& error) const { return save(output, variant, error, folder); }

    TempTree t;
    std::string folder;
    ScanResult scan;
};

const Output kOutputs[] = {Output::SitemapXml, Output::SitemapTxt, Output::SitemapCsv, Output::ConvertedXml,
                           Output::SavingFile};

// ----- A folder that may not be written

class ReadOnlyFolder : public testing::TestWithParam<Output> {};

TEST_P(ReadOnlyFolder, FailsClearlyAndKeepsThePreviousFile)
{
    const Output output = GetParam();
    Outputs o;
    std::string error;
    ASSERT_EQ(o.save(output, 0, error), 0) << error;
    const std::string previous = o.t.read("site/" + platform::FileName(o.target(output)));
    const std::vector<std::string> before = Listing(o.folder);
    ASSERT_EQ(::chmod(o.folder.c_str(), 0555), 0);

    const ChildOutcome outcome = RunInChild(
        [&] {
            std::string message;
            const int result = o.save(output, 1, message);
            return std::to_string(result) + "|" + message;
        },
        true);
    ::chmod(o.folder.c_str(), 0755);
    if (outcome.exited && outcome.status == kCannotDropPrivileges)
        GTEST_SKIP() << "running as root and cannot become nobody: permission bits would not apply";
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
    EXPECT_EQ(outcome.output, "-1|" + o.target(output) + ": " + platform::SystemMessage(EACCES));
    EXPECT_EQ(o.t.read("site/" + platform::FileName(o.target(output))), previous);
    EXPECT_EQ(Listing(o.folder), before);
}

INSTANTIATE_TEST_SUITE_P(Outputs, ReadOnlyFolder, testing::ValuesIn(kOutputs),
                         [](const testing::TestParamInfo<Output>& info) { return Label(info.param); });

// ----- A full disk: the file size limit of a child process

struct FullDiskCase {
    Output output;
    const char* limitLabel;
    std::function<rlim_t(std::size_t size)> limit;  // from the size of the complete file
};

void PrintTo(const FullDiskCase& c, std::ostream* out)
{
    *out << Label(c.output) << "_" << c.limitLabel;
}

class FullDisk : public testing::TestWithParam<FullDiskCase> {};

TEST_P(FullDisk, FailsClearlyAndKeepsThePreviousFile)
{
    const FullDiskCase& c = GetParam();
    Outputs o;
    std::string error;
    ASSERT_EQ(o.save(c.output, 0, error), 0) << error;
    const std::string name = platform::FileName(o.target(c.output));
    const std::string previous = o.t.read("site/" + name);
    const std::vector<std::string> before = Listing(o.folder);
    const rlim_t limit = c.limit(o.content(c.output, 1).size());

    const ChildOutcome outcome = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0)
            return std::string("setrlimit failed");
        std::string message;
        const int result = o.save(c.output, 1, message);
        return std::to_string(result) + "|" + message;
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
    EXPECT_EQ(outcome.output, "-1|" + o.target(c.output) + ": " + platform::SystemMessage(EFBIG));
    EXPECT_EQ(o.t.read("site/" + name), previous);
    EXPECT_EQ(Listing(o.folder), before);
}

std::vector<FullDiskCase> FullDiskCases()
{
    std::vector<FullDiskCase> cases;
    for (const Output output : kOutputs) {
        cases.push_back({output, "NoRoomAtAll", [](std::size_t) { return rlim_t{0}; }});
        cases.push_back({output, "RoomForOneKilobyte", [](std::size_t) { return rlim_t{1024}; }});
        cases.push_back({output, "RoomForHalf", [](std::size_t size) { return rlim_t{size / 2}; }});
        cases.push_back({output, "OneByteShort", [](std::size_t size) { return rlim_t{size - 1}; }});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Limits, FullDisk, testing::ValuesIn(FullDiskCases()),
                         [](const testing::TestParamInfo<FullDiskCase>& info) {
                             return std::string(Label(info.param.output)) + "_" + info.param.limitLabel;
                         });

TEST(FullDiskExactFit, AFileThatJustFitsIsWritten)
{
    Outputs o;
    const std::string expected = o.content(Output::SitemapXml, 1);
    const ChildOutcome outcome = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{expected.size(), expected.size()};
        ::setrlimit(RLIMIT_FSIZE, &size);
        std::string message;
        return std::to_string(o.save(Output::SitemapXml, 1, message)) + "|" + message;
    });
    EXPECT_EQ(outcome.output, "0|");
    EXPECT_EQ(o.t.read("site/sitemap.xml"), expected);
}

// A sitemap split into parts is one save: a part that cannot be written
// leaves the index and every previous part as they were.
TEST(FullDiskSplitSitemap, APartThatCannotBeWrittenKeepsEveryPreviousPart)
{
    Outputs o;
    // The last pages have long names, so the last part is the largest.
    for (int i = 0; i < 100; ++i)
        o.t.file("site/zzz/" + std::string(200, 'z') + std::to_string(i) + ".html");
    ASSERT_EQ(WalkAndCount(o.scan, o.folder), 0);
    OutputLimits limits;
    limits.maxUrls = 100;
    limits.now = 1141732800;
    std::string error;
    SaveReport report;
    ASSERT_EQ(SaveSitemap(o.target(Output::SitemapXml), SitemapFormat::Xml, o.scan.tree, o.parameters(0), &error,
                          &report, limits),
              0)
        << error;
    ASSERT_GE(report.files.size(), 4u);
    std::vector<std::string> previous;
    std::size_t largest = 0;  // of the index and every part but the last
    for (const std::string& file : report.files) {
        previous.push_back(o.t.read("site/" + platform::FileName(file)));
        if (file != report.files.back())
            largest = std::max(largest, previous.back().size());
    }
    const std::vector<std::string> before = Listing(o.folder);

    // Room for every part but the last, larger one.
    const rlim_t limit = largest + 1024;
    ASSERT_LT(limit, previous.back().size());
    const ChildOutcome outcome = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &size);
        std::string message;
        return std::to_string(SaveSitemap(o.target(Output::SitemapXml), SitemapFormat::Xml, o.scan.tree,
                                          o.parameters(1), &message, nullptr, limits))
             + "|" + message;
    });
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.output.substr(0, 3), "-1|") << outcome.output;
    EXPECT_NE(outcome.output.find(platform::SystemMessage(EFBIG)), std::string::npos) << outcome.output;
    for (std::size_t i = 0; i < report.files.size(); ++i)
        EXPECT_TRUE(o.t.read("site/" + platform::FileName(report.files[i])) == previous[i])
            << report.files[i] << " was replaced";
    EXPECT_EQ(Listing(o.folder), before);
}

// ----- A folder that has gone

class VanishedFolder : public testing::TestWithParam<Output> {};

TEST_P(VanishedFolder, FailsClearlyAndCreatesNothing)
{
    const Output output = GetParam();
    Outputs o;
    std::string error;
    ASSERT_EQ(o.save(output, 0, error), 0) << error;
    const std::string name = platform::FileName(o.target(output));
    const std::string previous = o.t.read("site/" + name);
    const std::vector<std::string> before = Listing(o.folder);
    // The folder goes away after the walk, before the save.
    ASSERT_EQ(::rename(o.folder.c_str(), o.t.path("moved").c_str()), 0);

    error.clear();
    EXPECT_EQ(o.save(output, 1, error), -1);
    EXPECT_NE(error.find(o.folder), std::string::npos) << error;
    EXPECT_NE(error.find(platform::SystemMessage(ENOENT)), std::string::npos) << error;
    EXPECT_FALSE(o.t.exists("site"));
    EXPECT_EQ(o.t.read("moved/" + name), previous);
    EXPECT_EQ(Listing(o.t.path("moved")), before);
    ::rename(o.t.path("moved").c_str(), o.folder.c_str());
}

INSTANTIATE_TEST_SUITE_P(Outputs, VanishedFolder, testing::ValuesIn(kOutputs),
                         [](const testing::TestParamInfo<Output>& info) { return Label(info.param); });

TEST(VanishedFolderReplaced, FolderReplacedByAFileFailsClearly)
{
    Outputs o;
    ASSERT_EQ(::rename(o.folder.c_str(), o.t.path("moved").c_str()), 0);
    o.t.file("site", "a file now");
    for (const Output output : {Output::SitemapXml, Output::SitemapTxt, Output::SavingFile}) {
        std::string error;
        EXPECT_EQ(o.save(output, 1, error), -1) << Label(output);
        EXPECT_NE(error.find(platform::SystemMessage(ENOTDIR)), std::string::npos) << error;
    }
    EXPECT_EQ(o.t.read("site"), "a file now");
    ::unlink(o.folder.c_str());
    ::rename(o.t.path("moved").c_str(), o.folder.c_str());
}

// ----- Killed in the middle of a save

class KilledWhileSaving : public testing::TestWithParam<Output> {};

TEST_P(KilledWhileSaving, LeavesTheOldOrTheNewFileWhole)
{
    const Output output = GetParam();
    Outputs o;
    std::string error;
    ASSERT_EQ(o.save(output, 0, error), 0) << error;
    const std::string oldContent = o.content(output, 0);
    const std::string newContent = o.content(output, 1);
    ASSERT_NE(oldContent, newContent);
    const std::string name = platform::FileName(o.target(output));

    std::mt19937 random(4242);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 30; ++round) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int variant = 1;; variant ^= 1) {
                std::string message;
                o.save(output, variant, message);
            }
        }
        ::usleep(static_cast<useconds_t>(random() % 40000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);

        const std::string now = o.t.read("site/" + name);
        ASSERT_TRUE(now == oldContent || now == newContent)
            << "round " << round << ": a file of " << now.size() << " bytes that is neither";
        (now == oldContent ? sawOld : sawNew)++;
        if (output == Output::SavingFile) {
            ProjectTable table;
            LoadReport report;
            ASSERT_EQ(LoadProjects(table, o.folder, &report, &error), 0) << error;
            EXPECT_EQ(table.projectCount, kMaxProjects);
        } else {
            EXPECT_EQ(XmlFault(now), "");
        }
    }
    RecordProperty("old", sawOld);
    RecordProperty("new", sawNew);
}

INSTANTIATE_TEST_SUITE_P(Outputs, KilledWhileSaving, testing::Values(Output::SavingFile, Output::SitemapXml),
                         [](const testing::TestParamInfo<Output>& info) { return Label(info.param); });

}  // namespace
