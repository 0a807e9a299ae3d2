// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Files that people edit by hand or that come from older versions and other
// machines: saving.dat cut short, too long, full of noise or out-of-range
// values, and CSV files with every oddity a spreadsheet or an editor can
// produce. All load or convert without a crash into a sound result; the XML
// written is always well-formed.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "hostile_support.h"
#include "platform/system.h"
#include "projects/projects.h"
#include "saving_image.h"
#include "sitemap/csv.h"
#include "sitemap/url.h"
#include "sitemap/writers.h"
#include "sitemap/xml.h"
#include "temp_tree.h"
#include "well_formed_xml.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

// ----- saving.dat images built byte by byte

constexpr std::size_t kPriority = 780;
constexpr std::size_t kStoredPart = 788;  // a slot counts once these bytes are there

// Slots of zero bytes, as removals leave them, with the first ones given.
std::string ZeroSlotsWith(std::initializer_list<StoredProject> first)
{
    std::vector<StoredProject> slots(kMaxProjects, {"", "", "", 0, 0});
    std::copy(first.begin(), first.end(), slots.begin());
    return SavingFileImage(slots);
}

// 32 used slots whose fields all differ; priority 10 (a byte 0x0A) in some.
ProjectTable SampleTable()
{
    ProjectTable table;
    ResetTable(table);
    for (int i = 0; i < kMaxProjects; ++i) {
        ProjectRecord& r = table.slots[i];
        r.name = "project " + std::to_string(i);
        r.localPath = "/srv/site " + std::to_string(i);
        r.websiteUrl = "https://" + std::to_string(i) + ".example.org/";
        r.priorityIndex = i % kPriorityCount;
        r.frequencyIndex = i % kFrequencyCount;
    }
    table.projectCount = kMaxProjects;
    return table;
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

std::string Describe(const ProjectRecord& r)
{
    return r.name + "|" + r.localPath + "|" + r.websiteUrl + "|" + std::to_string(r.priorityIndex) + "|"
         + std::to_string(r.frequencyIndex);
}

// What every loaded table must satisfy, whatever the file held.
void ExpectSoundTable(const ProjectTable& table)
{
    ASSERT_GE(table.projectCount, 0);
    ASSERT_LE(table.projectCount, kMaxProjects);
    for (int i = 0; i < kMaxProjects; ++i) {
        const ProjectRecord& r = table.slots[i];
        EXPECT_EQ(r.name.empty(), i >= table.projectCount) << "slot " << i;
        EXPECT_GE(r.priorityIndex, 0);
        EXPECT_LT(r.priorityIndex, kPriorityCount);
        EXPECT_GE(r.frequencyIndex, 0);
        EXPECT_LT(r.frequencyIndex, kFrequencyCount);
        for (const std::string* text : {&r.name, &r.localPath, &r.websiteUrl, &r.savedRoot, &r.savedBase}) {
            EXPECT_LE(text->size(), kTextFieldSize - 1);
            EXPECT_EQ(text->find('\0'), std::string::npos);
        }
        EXPECT_FALSE(r.walked());
    }
}

// Writing a loaded table and reading it again changes nothing.
void ExpectStableRoundTrip(const ProjectTable& table)
{
    const std::string file = EncodeTable(table);
    ProjectTable again;
    DecodeTable(file, again);
    ASSERT_EQ(again.projectCount, table.projectCount);
    for (int i = 0; i < kMaxProjects; ++i)
        EXPECT_EQ(Describe(again.slots[i]), Describe(table.slots[i])) << "slot " << i;
    EXPECT_EQ(EncodeTable(again), file);
}

struct CutCase {
    const char* label;
    std::size_t imageBytes;  // where the file is cut, counted in record bytes
};

void PrintTo(const CutCase& c, std::ostream* out)
{
    *out << c.label;
}

class SavingFileCut : public testing::TestWithParam<CutCase> {};

TEST_P(SavingFileCut, KeepsTheCompleteSlotsAndFreshensTheRest)
{
    const ProjectTable original = SampleTable();
    const std::string full = EncodeTable(original);
    // Cut the file where `imageBytes` bytes of records end; beyond the table,
    // add noise instead.
    const std::size_t imageBytes = GetParam().imageBytes;
    std::string file;
    std::size_t image = 0;
    for (std::size_t i = 0; i < full.size() && image < imageBytes; ++i) {
        file += full[i];
        if (!(full[i] == '\r' && i + 1 < full.size() && full[i + 1] == '\n'))
            ++image;
    }
    std::mt19937 random(7);
    while (file.size() < imageBytes)
        file += static_cast<char>(random());

    ProjectTable table;
    LoadReport report;
    DecodeTable(file, table, &report);
    ExpectSoundTable(table);

    int complete = 0;
    for (int k = 0; k < kMaxProjects; ++k) {
        if (static_cast<std::size_t>(k) * kRecordSize + kStoredPart <= imageBytes)
            ++complete;
    }
    EXPECT_EQ(report.slotsRead, complete);
    EXPECT_EQ(table.projectCount, complete);
    for (int i = 0; i < kMaxProjects; ++i) {
        if (i < complete) {
            EXPECT_EQ(Describe(table.slots[i]), Describe(original.slots[i]));
        } else {
            EXPECT_EQ(Describe(table.slots[i]), Describe(FreshRecord())) << "slot " << i;
        }
    }
    ExpectStableRoundTrip(table);
}

constexpr std::size_t R = kRecordSize;

INSTANTIATE_TEST_SUITE_P(
    LengthClasses, SavingFileCut,
    testing::Values(CutCase{"Empty", 0}, CutCase{"OneByte", 1}, CutCase{"InsideFirstName", 7},
                    CutCase{"FirstNameFieldOnly", 260}, CutCase{"InsideLocalPath", 300},
                    CutCase{"BeforeWebsiteUrl", 520}, CutCase{"InsidePriority", 782},
                    CutCase{"InsideFrequency", 787}, CutCase{"StoredFieldsComplete", 788},
                    CutCase{"InsideSavedRoot", 900}, CutCase{"OneRecordLessOneByte", R - 1},
                    CutCase{"OneRecord", R}, CutCase{"OneRecordAndOneByte", R + 1},
                    CutCase{"TenRecordsAndStoredFields", 10 * R + kStoredPart},
                    CutCase{"HalfTable", 16 * R}, CutCase{"LastSlotAlmostStored", 31 * R + kStoredPart - 1},
                    CutCase{"LastSlotStored", 31 * R + kStoredPart}, CutCase{"TableLessOneByte", kTableSize - 1},
                    CutCase{"WholeTable", kTableSize}, CutCase{"TableAndOneByte", kTableSize + 1},
                    CutCase{"TwiceTheTable", 2 * kTableSize}, CutCase{"OneMegabyte", 1 << 20}),
    [](const testing::TestParamInfo<CutCase>& info) { return info.param.label; });

TEST(SavingFileCutOnDisk, CutBetweenCarriageReturnAndLineFeed)
{
    // Slot 10 holds priority 10, stored as CR LF; cut right after the CR.
    const ProjectTable original = SampleTable();
    const std::string full = EncodeTable(original);
    std::size_t cr = std::string::npos;
    std::size_t image = 0;
    for (std::size_t i = 0; i < full.size(); ++i) {
        if (image == 10 * R + kPriority && full[i] == '\r') {
            cr = i;
            break;
        }
        if (!(full[i] == '\r' && i + 1 < full.size() && full[i + 1] == '\n'))
            ++image;
    }
    ASSERT_NE(cr, std::string::npos);
    TempTree t;
    t.file("saving.dat", full.substr(0, cr + 1));
    ProjectTable table;
    LoadReport report;
    std::string error;
    ASSERT_EQ(LoadProjects(table, t.root(), &report, &error), 0) << error;
    EXPECT_TRUE(report.fileFound);
    EXPECT_EQ(table.projectCount, 10);
    EXPECT_EQ(Describe(table.slots[9]), Describe(original.slots[9]));
    EXPECT_EQ(Describe(table.slots[10]), Describe(FreshRecord()));
    ExpectSoundTable(table);
}

TEST(SavingFileNoise, RandomBytesAlwaysGiveASoundTable)
{
    std::mt19937 random(20240611);
    const std::string valid = EncodeTable(SampleTable());
    for (int round = 0; round < 400; ++round) {
        std::string file;
        const std::size_t size = random() % (2 * kTableSize + 100);
        switch (round % 4) {
        case 0:  // plain noise
            for (std::size_t i = 0; i < size; ++i)
                file += static_cast<char>(random());
            break;
        case 1:  // mostly zeros, with line ends and end-of-file marks
            for (std::size_t i = 0; i < size; ++i) {
                const char pick[] = {'\0', '\0', '\0', '\r', '\n', '\x1a', 'a', '\xff'};
                file += pick[random() % sizeof pick];
            }
            break;
        case 2:  // a valid file with bytes changed
            file = valid;
            for (int i = 0; i < 200; ++i)
                file[random() % file.size()] = static_cast<char>(random());
            break;
        default:  // a valid file cut at random, then noise
            file = valid.substr(0, random() % valid.size());
            for (std::size_t i = 0; i < size % 2000; ++i)
                file += static_cast<char>(random());
            break;
        }
        SCOPED_TRACE("round " + std::to_string(round));
        ProjectTable table;
        LoadReport report;
        DecodeTable(file, table, &report);
        ExpectSoundTable(table);
        ExpectStableRoundTrip(table);
        if (HasFailure())
            break;
    }
}

struct FieldCase {
    const char* label;
    std::string nameField;  // all 260 bytes of the name, no terminator
    std::function<void(const std::string& name)> check;
};

void PrintTo(const FieldCase& c, std::ostream* out)
{
    *out << c.label;
}

class NameWithoutTerminator : public testing::TestWithParam<FieldCase> {};

TEST_P(NameWithoutTerminator, KeepsAtMost259BytesAndNothingSpills)
{
    ASSERT_EQ(GetParam().nameField.size(), kTextFieldSize);
    // No terminators anywhere in the first slot's texts.
    ProjectTable table;
    DecodeTable(ZeroSlotsWith({{GetParam().nameField, std::string(kTextFieldSize, 'P'),
                                std::string(kTextFieldSize, 'U'), 2, 4},
                               {"second", "", "", 1, 1}}),
                table);
    ExpectSoundTable(table);
    const ProjectRecord& first = table.slots[0];
    EXPECT_EQ(first.localPath, std::string(259, 'P'));
    EXPECT_EQ(first.websiteUrl, std::string(259, 'U'));
    EXPECT_EQ(first.priorityIndex, 2);
    EXPECT_EQ(first.frequencyIndex, 4);
    EXPECT_EQ(GetParam().nameField.compare(0, first.name.size(), first.name), 0) << "not a prefix";
    GetParam().check(first.name);
    ASSERT_EQ(table.projectCount, 2) << "the project was lost";
    EXPECT_EQ(table.slots[1].name, "second");
    ExpectStableRoundTrip(table);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, NameWithoutTerminator,
    testing::Values(
        FieldCase{"Ascii", std::string(260, 'N'),
                  [](const std::string& name) { EXPECT_EQ(name, std::string(259, 'N')); }},
        FieldCase{"TwoByteCharacterAcrossTheLimit", std::string(258, 'a') + "\xc3\xa9",
                  [](const std::string& name) { EXPECT_EQ(name, std::string(258, 'a')); }},
        FieldCase{"FourByteCharacterAcrossTheLimit", std::string(257, 'a') + "\xf0\x9f\x98",
                  [](const std::string& name) { EXPECT_EQ(name, std::string(257, 'a')); }},
        FieldCase{"WindowsLatin1Text", std::string(260, '\xe9'),
                  [](const std::string& name) { EXPECT_EQ(name.size(), 259u); }},
        FieldCase{"ContinuationBytesOnly", std::string(260, '\xb0'),
                  // Not UTF-8 at all: cut near the limit, never emptied.
                  [](const std::string& name) { EXPECT_GE(name.size(), 256u); }}),
    [](const testing::TestParamInfo<FieldCase>& info) { return info.param.label; });

struct IndexCase {
    const char* label;
    std::int32_t priority;
    std::int32_t frequency;
    int expectedPriority;
    int expectedFrequency;
};

void PrintTo(const IndexCase& c, std::ostream* out)
{
    *out << c.label;
}

class IndexOutOfRange : public testing::TestWithParam<IndexCase> {};

TEST_P(IndexOutOfRange, BecomesAValidDefaultAndIsNeverUsedAsAnIndex)
{
    const IndexCase& c = GetParam();
    ProjectTable table;
    LoadReport report;
    DecodeTable(ZeroSlotsWith({{"first", "", "", c.priority, c.frequency}, {"second", "", "", 1, 5}}), table, &report);
    ExpectSoundTable(table);
    ASSERT_EQ(table.projectCount, 2);
    EXPECT_EQ(table.slots[0].priorityIndex, c.expectedPriority);
    EXPECT_EQ(table.slots[0].frequencyIndex, c.expectedFrequency);
    const bool repaired = c.priority != c.expectedPriority || c.frequency != c.expectedFrequency;
    EXPECT_EQ(report.slotsRepaired, repaired ? 1 : 0);
    EXPECT_EQ(Describe(table.slots[1]), "second|||1|5");
    ExpectStableRoundTrip(table);

    // The texts for the raw values never read outside their tables.
    EXPECT_EQ(PriorityIndex(PriorityText(c.priority)), c.priority >= 0 && c.priority <= 10 ? c.priority : 6);
    EXPECT_EQ(FrequencyIndex(FrequencyText(c.frequency)), c.frequency >= 0 && c.frequency <= 6 ? c.frequency : 3);
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, IndexOutOfRange,
    testing::Values(IndexCase{"HighestValid", 10, 6, 10, 6}, IndexCase{"LowestValid", 0, 0, 0, 0},
                    IndexCase{"PriorityMinusOne", -1, 2, 6, 2}, IndexCase{"PriorityEleven", 11, 2, 6, 2},
                    IndexCase{"PriorityIntMax", INT32_MAX, 2, 6, 2},
                    IndexCase{"PriorityIntMin", INT32_MIN, 2, 6, 2},
                    IndexCase{"FrequencySeven", 4, 7, 4, 3}, IndexCase{"FrequencyMinusOne", 4, -1, 4, 3},
                    IndexCase{"BothOutOfRange", 1000, 1000, 6, 3},
                    IndexCase{"LineFeedBytes", 0x0A0A0A0A, 0x0D0A0D0A, 6, 3},
                    IndexCase{"EndOfFileMarks", 0x1A, 0x1A1A1A1A, 6, 3}),
    [](const testing::TestParamInfo<IndexCase>& info) { return info.param.label; });

TEST(IndexOutOfRangeInMemory, WritersUseTheDefaults)
{
    TempTree t;
    t.file("site/a.html");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapParameters parameters;
    parameters.websiteUrl = "http://example.org";
    parameters.priorityIndex = INT_MIN;
    parameters.frequencyIndex = 4096;
    std::ostringstream xml, csv;
    ASSERT_EQ(WriteSitemap(xml, SitemapFormat::Xml, scan.tree, parameters), 0);
    ASSERT_EQ(WriteSitemap(csv, SitemapFormat::Csv, scan.tree, parameters), 0);
    EXPECT_NE(xml.str().find("<changefreq>weekly</changefreq>\r\n  <priority>0.6</priority>"), std::string::npos);
    EXPECT_NE(csv.str().find(",weekly,0.6\r\n"), std::string::npos);
}

// ----- saving.dat on disk

TEST(SavingFileOnDiskHostile, HugeSparseFileReadsOnlyItsTable)
{
    TempTree t;
    const std::string path = t.file("saving.dat", EncodeTable(SampleTable()));
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(1) << 30), 0);  // 1 GiB, a hole after the table

    auto bytesRead = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        long long value = 0;
        while (io >> key >> value) {
            if (key == "rchar:")
                return value;
        }
        return -1LL;
    };
    const long long before = bytesRead();
    ProjectTable table;
    LoadReport report;
    std::string error;
    ASSERT_EQ(LoadProjects(table, t.root(), &report, &error), 0) << error;
    const long long after = bytesRead();
    EXPECT_EQ(table.projectCount, kMaxProjects);
    EXPECT_EQ(Describe(table.slots[31]), Describe(SampleTable().slots[31]));
    ASSERT_GE(before, 0) << "no /proc/self/io";
    EXPECT_LT(after - before, 16LL << 20) << "the loader read far past the table";
}

TEST(SavingFileOnDiskHostile, FolderNamedSavingDatIsAnError)
{
    TempTree t;
    t.folder("saving.dat");
    ProjectTable table;
    table.projectCount = 5;
    std::string error;
    EXPECT_EQ(LoadProjects(table, t.root(), nullptr, &error), -1);
    EXPECT_NE(error.find("saving.dat"), std::string::npos) << error;
    EXPECT_EQ(table.projectCount, 0);
    EXPECT_EQ(Describe(table.slots[0]), Describe(FreshRecord()));
}

TEST(SavingFileOnDiskHostile, UnreadableFileIsAnErrorNotAnEmptyTable)
{
    TempTree t;
    ASSERT_EQ(::chmod(t.root().c_str(), 0755), 0);
    const std::string path = t.file("saving.dat", EncodeTable(SampleTable()));
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    const ChildOutcome outcome = RunInChild(
        [&] {
            ProjectTable table;
            std::string error;
            const int result = LoadProjects(table, t.root(), nullptr, &error);
            return std::to_string(result) + "|" + error;
        },
        true);
    if (outcome.exited && outcome.status == kCannotDropPrivileges)
        GTEST_SKIP() << "running as root and cannot become nobody: permission bits would not apply";
    EXPECT_EQ(outcome.output, "-1|" + path + ": " + platform::SystemMessage(EACCES));
}

// ----- Website URLs as a hand-edited or old saving.dat may hold them

struct BaseUrlCase {
    const char* label;
    const char* url;
    bool accepted;
};

void PrintTo(const BaseUrlCase& c, std::ostream* out)
{
    *out << c.label;
}

class HostileBaseUrl : public testing::TestWithParam<BaseUrlCase> {};

// A base that is accepted gives valid URLs; one that would not is refused
// (the window then says "Invalid parameter(s)!").
TEST_P(HostileBaseUrl, IsRefusedOrGivesValidUrls)
{
    std::string base;
    const int result = NormalizeBaseUrl(GetParam().url, base);
    EXPECT_EQ(result == 0, GetParam().accepted) << base;
    if (result == 0) {
        EXPECT_TRUE(IsValidUrlText(base)) << base;
        std::string again;
        EXPECT_EQ(NormalizeBaseUrl(base, again), 0);
        EXPECT_EQ(again, base);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Urls, HostileBaseUrl,
    testing::Values(BaseUrlCase{"PercentInsideIpLiteral", "http://[%:1]/", false},
                    BaseUrlCase{"IncompleteEscapeInHost", "http://ho%st.example/", false},
                    BaseUrlCase{"IncompleteEscapeAtHostEnd", "http://host%4/", false},
                    BaseUrlCase{"IncompleteEscapeInUserInfo", "http://us%zzer@host.example/", false},
                    BaseUrlCase{"BracketInsideHostName", "http://ho]st.example/", false},
                    BaseUrlCase{"BracketInUserInfo", "http://[user]@host.example/", false},
                    BaseUrlCase{"LettersInsideIpLiteral", "http://[fe80::1zz]/", false},
                    BaseUrlCase{"ControlByteInHost", "http://ho\x01st/", false},
                    BaseUrlCase{"SpaceInHost", "http://ho st/", false},
                    BaseUrlCase{"IpLiteralWithPort", "http://[::1]:8080/site", true},
                    BaseUrlCase{"Ipv4InsideIpLiteral", "http://[::ffff:192.0.2.1]/", true},
                    BaseUrlCase{"EscapedUserInfo", "https://user%40home@host.example/", false},
                    BaseUrlCase{"EscapedHost", "https://h%C3%A9.example/", false},
                    BaseUrlCase{"PathWithControlBytesAndSpaces", "https://host.example/a b/\x01\x7f/%zz", true},
                    BaseUrlCase{"PathWithNonAsciiBytes", "https://host.example/caf\xc3\xa9/\xff", true}),
    [](const testing::TestParamInfo<BaseUrlCase>& info) { return info.param.label; });

// ----- CSV

const std::string kRow = "http://a.example/p.html,2006-03-07,weekly,0.6";

struct CsvCase {
    const char* label;
    std::function<std::string()> input;  // made on demand: some are large
    long long rows;
    long long skipped;
    std::function<void(const std::vector<std::string>& locs)> check = nullptr;
};

void PrintTo(const CsvCase& c, std::ostream* out)
{
    *out << c.label;
}

std::string Lines(std::initializer_list<std::string> lines, const char* end = "\r\n")
{
    std::string out;
    for (const std::string& line : lines)
        out += line + end;
    return out;
}

const CsvCase kCsvCases[] = {
    {"EmptyFile", [] { return std::string(); }, 0, 0},
    {"ByteOrderMarkOnly", [] { return std::string("\xEF\xBB\xBF"); }, 0, 0},
    {"ByteOrderMarkBeforeHeadLine",
     [] { return "\xEF\xBB\xBF" + Lines({"loc,lastmod,changefreq,priority", kRow}); }, 1, 0},
    {"HeadLineInCapitals", [] { return Lines({"LOC,LASTMOD,CHANGEFREQ,PRIORITY", kRow}); }, 1, 0},
    {"CarriageReturnOnlyLineEnds", [] { return Lines({"loc,lastmod,changefreq,priority", kRow, kRow}, "\r"); }, 2, 0},
    {"MixedLineEnds", [] { return kRow + "\r\n" + kRow + "\n" + kRow + "\r" + kRow + "\n\r" + kRow; }, 5, 0},
    {"BlankAndSpaceLines", [] { return std::string("\n\n\r\n   \n\t\t\n\v\f\r"); }, 0, 0},
    {"NulBytesInsideAField",
     [] { return std::string("http://a.example/p\0q.html,2006-03-07,weekly,0.6\n", 47); }, 1, 0,
     [](const std::vector<std::string>& locs) { EXPECT_EQ(locs[0], "http://a.example/p%00q.html"); }},
    {"LineOfNulBytes", [] { return std::string(64, '\0') + "\n" + kRow; }, 1, 1},
    // Read whole, then left out: a sitemap URL holds at most 2048 characters.
    {"TenMegabyteRow",
     [] { return "http://a.example/" + std::string(10 << 20, 'a') + ".html,2006-03-07,weekly,0.6\n" + kRow; }, 1, 0,
     [](const std::vector<std::string>& locs) { EXPECT_EQ(locs[0].size(), std::string(kRow).find(',')); }},
    {"TenMegabyteLineWithoutSeparators", [] { return std::string(10 << 20, 'x') + "\n" + kRow; }, 1, 1},
    {"TenMegabyteLineOfSeparators", [] { return std::string(10 << 20, ',') + "\n" + kRow; }, 1, 1},
    {"ThousandsOfFields",
     [] {
         std::string line;
         for (int i = 0; i < 5000; ++i)
             line += "ab,";
         return line + "\n" + kRow;
     },
     1, 1},
    {"UnbalancedQuoteAtTheStart", [] { return "\"" + kRow + "\n" + kRow; }, 1, 1},
    {"UnbalancedQuoteInside", [] { return std::string("http://a.example/p.html,\"2006-03-07,weekly,0.6\n") + kRow; }, 1, 1},
    {"UnbalancedQuoteAtTheEnd", [] { return kRow + "\""; }, 1, 0},
    {"EndOfFileInsideAQuotedField", [] { return kRow + "\n\"http://a.example/p.html,2006"; }, 1, 1},
    {"QuotedFieldsWithSeparatorsAndQuotes",
     [] { return std::string("\"http://a.example/a,b\"\"c.html\",2006-03-07,\"weekly\",0.6\n"); }, 1, 0,
     [](const std::vector<std::string>& locs) { EXPECT_EQ(locs[0], "http://a.example/a,b\"c.html"); }},
    {"InvalidUtf8",
     [] { return std::string("http://a.example/\xff\xfe\xc0\xaf\xed\xa0\x80\x80.html,2006-03-07,weekly,0.6\n"); },
     1, 0},
    {"Utf8CutAtTheEndOfTheLine", [] { return kRow + "\xe2\x82"; }, 1, 0},
    {"NoncharactersFFFEAndFFFF",
     [] { return std::string("http://a.example/\xef\xbf\xbe\xef\xbf\xbf.html,2006-03-07,weekly,0.6\n"); }, 1, 0},
    {"ValidUtf8Kept",
     [] { return std::string("http://a.example/caf\xc3\xa9\xf0\x9f\x98\x80.html,2006-03-07,weekly,0.6\n"); }, 1, 0,
     [](const std::vector<std::string>& locs) { EXPECT_EQ(locs[0], "http://a.example/caf\xc3\xa9\xf0\x9f\x98\x80.html"); }},
    {"ReferencesToCharactersXmlForbids",
     [] {
         return std::string("http://a.example/&#0;&#x1;&#xD800;&#xFFFE;&#xFFFF;&#x110000;&#99999999;&#X41;.html,"
                            "2006-03-07,weekly,0.6\n");
     },
     1, 0,
     [](const std::vector<std::string>& locs) {
         EXPECT_EQ(locs[0], "http://a.example/&#0;&#x1;&#xD800;&#xFFFE;&#xFFFF;&#x110000;&#99999999;&#X41;.html");
     }},
    {"ValidReferencesKept", [] { return std::string("http://a.example/R&amp;D&#38;&#x26;&#x1F600;.html,2006-03-07,weekly,0.6\n"); },
     1, 0,
     [](const std::vector<std::string>& locs) { EXPECT_EQ(locs[0], "http://a.example/R&D&&\xf0\x9f\x98\x80.html"); }},
    {"MarkupInEveryField", [] { return std::string("http://a.example/<url>&,</lastmod>,]]>,<!-- x -->\n"); }, 1, 0,
     [](const std::vector<std::string>& locs) { EXPECT_EQ(locs[0], "http://a.example/<url>&"); }},
    {"ControlBytes", [] { return std::string("http://a.example/\x01\x0b\x0c\x1b\x7f.html,2006-03-07,weekly,0.6\n"); }, 1, 0},
    {"EndOfFileMarkOfOldEditors", [] { return kRow + "\r\n\x1a"; }, 1, 1},
};

class HostileCsv : public testing::TestWithParam<CsvCase> {};

std::string Convert(const std::string& input, ConvertReport& report)
{
    std::istringstream in(input);
    std::ostringstream out;
    EXPECT_EQ(ConvertCsvToXml(in, out, &report), 0);
    return out.str();
}

TEST_P(HostileCsv, ConvertsIntoWellFormedXml)
{
    const CsvCase& c = GetParam();
    ConvertReport report;
    const std::string xml = Convert(c.input(), report);
    XmlChecker checker;
    checker.collect("loc");
    const std::string fault = checker.check(xml);
    EXPECT_EQ(fault, "") << xml.substr(0, 2000);
    EXPECT_EQ(report.rowsWritten, c.rows);
    EXPECT_EQ(report.linesSkipped, c.skipped);
    EXPECT_EQ(xml.rfind(kUrlsetHead, 0), 0u);
    EXPECT_EQ(xml.substr(xml.size() - std::strlen(kUrlsetTail)), kUrlsetTail);
    if (fault.empty()) {
        EXPECT_EQ(checker.collected().size(), static_cast<std::size_t>(c.rows));
        if (c.check && !checker.collected().empty())
            c.check(checker.collected());
    }
    if (c.rows == 0 && c.skipped == 0) {
        EXPECT_EQ(xml, std::string(kUrlsetHead) + kUrlsetTail);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileCsv, testing::ValuesIn(kCsvCases),
                         [](const testing::TestParamInfo<CsvCase>& info) { return info.param.label; });

bool HaveXmllint()
{
    return std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

// An independent parser agrees: every converted file is well-formed.
TEST(HostileCsvXmllint, EveryConvertedFilePassesXmllint)
{
    if (!HaveXmllint())
        GTEST_SKIP() << "xmllint is not installed (Debian package libxml2-utils)";
    TempTree t;
    for (const CsvCase& c : kCsvCases) {
        const std::string csv = t.file(std::string(c.label) + ".csv", c.input());
        std::string xml;
        ASSERT_EQ(XmlPathForCsv(csv, xml), 0);
        ConvertReport report;
        std::string error;
        ASSERT_EQ(ConvertCsvToXml(csv, xml, &report, &error), 0) << c.label << ": " << error;
        const std::string command = "xmllint --noout --nonet --huge '" + xml + "' 2>&1";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe))
                output += buffer;
            EXPECT_EQ(::pclose(pipe), 0) << c.label << ": " << output.substr(0, 1000);
        } else {
            ADD_FAILURE() << "cannot run xmllint";
        }
    }
}

}  // namespace

namespace {

// Names as long as the file system allows: the file written through a
// temporary name beside it must still be possible.
TEST(LongFileNames, ConvertedXmlWith255ByteName)
{
    TempTree t;
    const std::string stem(251, 'c');
    const std::string csv = t.file(stem + ".csv", kRow + "\n");
    std::string xml;
    ASSERT_EQ(XmlPathForCsv(csv, xml), 0);
    std::string error;
    ASSERT_EQ(ConvertCsvToXml(csv, xml, nullptr, &error), 0) << error;
    EXPECT_EQ(XmlFault(t.read(stem + ".xml")), "");
    EXPECT_EQ(Listing(t.root()).size(), 2u) << "a temporary file was left";
}

TEST(LongFileNames, SitemapWrittenUnderA255ByteName)
{
    TempTree t;
    t.file("site/a.html");
    ScanResult scan;
    ASSERT_EQ(WalkAndCount(scan, t.path("site")), 0);
    SitemapParameters parameters;
    parameters.websiteUrl = "https://example.org/";
    const std::string name = std::string(251, 's') + ".txt";
    std::string error;
    for (const SitemapFormat format : {SitemapFormat::Text, SitemapFormat::Csv, SitemapFormat::Xml}) {
        ASSERT_EQ(SaveSitemap(t.path(name), format, scan.tree, parameters, &error), 0) << error;
    }
    EXPECT_EQ(Listing(t.root()).size(), 2u) << "a temporary file was left";
}

}  // namespace

namespace {

// A pipe named like a CSV file is refused at once; opening it would wait
// for a writer that never comes. (A hang ends the child with SIGALRM.)
TEST(CsvThatIsAPipe, IsRefusedWithoutWaiting)
{
    TempTree t;
    const std::string csv = t.path("pipe.csv");
    ASSERT_EQ(::mkfifo(csv.c_str(), 0644), 0);
    const ChildOutcome outcome = RunInChild([&] {
        ::alarm(120);
        std::string error;
        const int result = ConvertCsvToXml(csv, t.path("pipe.xml"), nullptr, &error);
        return std::to_string(result) + "|" + error;
    });
    ASSERT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
    EXPECT_EQ(outcome.output, "-1|" + csv + ": not a regular file");
    EXPECT_FALSE(t.exists("pipe.xml"));
}

}  // namespace
