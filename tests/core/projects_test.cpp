// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <cstring>

#include "projects/projects.h"
#include "saving_image.h"
#include "temp_tree.h"

using namespace larkspur;
using larkspur::test::TempTree;

namespace {

using namespace larkspur::test;

// An image with the given names in the given slots, every slot with indexes
// p and f.
std::string ImageWithNames(std::initializer_list<std::pair<int, const char*>> names, int p = 6, int f = 3)
{
    std::vector<StoredProject> slots(kMaxProjects, {"", "", "", p, f});
    for (const auto& [slot, name] : names)
        slots[slot].name = name;
    return SavingFileImage(slots, false);
}

ProjectTable TableWith(std::initializer_list<const char*> names)
{
    ProjectTable table;
    for (const char* name : names)
        AddProject(table, name);
    return table;
}

}  // namespace

TEST(SavingFile, RecordFieldsSitAtTheirOffsets)
{
    ProjectTable table;
    AddProject(table, "first");
    AddProject(table, "second");
    ProjectRecord& r = table.slots[1];
    r.localPath = "/srv/site";
    r.websiteUrl = "https://example.com/";
    r.priorityIndex = 8;
    r.frequencyIndex = 5;
    r.savedRoot = "/srv/site";

    const std::string image = RecordImage(EncodeTable(table));
    ASSERT_EQ(image.size(), kTableSize);
    const std::size_t at = kRecordSize;
    EXPECT_EQ(TextAt(image, at + 0), "second");
    EXPECT_EQ(TextAt(image, at + 260), "/srv/site");
    EXPECT_EQ(TextAt(image, at + 520), "https://example.com/");
    EXPECT_EQ(IntAt(image, at + 780), 8);
    EXPECT_EQ(IntAt(image, at + 784), 5);
    EXPECT_EQ(TextAt(image, at + 824), "/srv/site");
    // The run-time bytes carry nothing but the two folder texts.
    for (std::size_t i = 788; i < 824; ++i)
        EXPECT_EQ(image[at + i], '\0') << "byte " << i;
    EXPECT_EQ(image[at + 1344], '\0');
    EXPECT_EQ(TextAt(image, 2 * kRecordSize), "");
}

TEST(SavingFile, LineFeedIsStoredAsCarriageReturnLineFeed)
{
    ProjectTable table = TableWith({"a"});
    table.slots[0].priorityIndex = 10;  // the byte 0x0A
    const std::string file = EncodeTable(table);
    // One 0x0A in the image: slot 0's priority. Unused slots hold 6 and 3.
    EXPECT_EQ(file.size(), kTableSize + 1);
    EXPECT_EQ(file.substr(780, 3), std::string("\r\n\0", 3));

    ProjectTable loaded;
    DecodeTable(file, loaded);
    EXPECT_EQ(loaded.slots[0].priorityIndex, 10);
    EXPECT_EQ(loaded.projectCount, 1);
}

TEST(SavingFile, CarriageReturnWithoutLineFeedIsKept)
{
    ProjectTable table = TableWith({"a\rb", "c\r\nd"});
    ProjectTable loaded;
    DecodeTable(EncodeTable(table), loaded);
    EXPECT_EQ(loaded.slots[0].name, "a\rb");
    EXPECT_EQ(loaded.slots[1].name, "c\r\nd");
}

TEST(SavingFile, ByteEofDoesNotEndTheRead)
{
    ProjectTable table = TableWith({"one", "two\x1A", "three"});
    ProjectTable loaded;
    DecodeTable(EncodeTable(table), loaded);
    ASSERT_EQ(loaded.projectCount, 3);
    EXPECT_EQ(loaded.slots[1].name, "two\x1A");
    EXPECT_EQ(loaded.slots[2].name, "three");
}

TEST(SavingFile, RoundTripKeepsEveryField)
{
    ProjectTable table = TableWith({"site", "blog"});
    table.slots[0].localPath = "/home/me/site";
    table.slots[0].websiteUrl = "https://me.example.org/";
    table.slots[0].priorityIndex = 0;
    table.slots[0].frequencyIndex = 6;
    table.slots[1].savedBase = "/base";

    ProjectTable loaded;
    DecodeTable(EncodeTable(table), loaded);
    EXPECT_EQ(loaded.projectCount, 2);
    for (int i = 0; i < kMaxProjects; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(loaded.slots[i].name, table.slots[i].name);
        EXPECT_EQ(loaded.slots[i].localPath, table.slots[i].localPath);
        EXPECT_EQ(loaded.slots[i].websiteUrl, table.slots[i].websiteUrl);
        EXPECT_EQ(loaded.slots[i].priorityIndex, table.slots[i].priorityIndex);
        EXPECT_EQ(loaded.slots[i].frequencyIndex, table.slots[i].frequencyIndex);
        EXPECT_EQ(loaded.slots[i].savedBase, table.slots[i].savedBase);
        EXPECT_FALSE(loaded.slots[i].walked());
    }
}

TEST(SavingFile, ShortFileLeavesUnreadSlotsFresh)
{
    const std::string image = ImageWithNames({{0, "a"}, {1, "b"}, {2, "c"}}, 2, 1);
    ProjectTable loaded;
    LoadReport report;
    // Slot 1 complete up to its run-time part, slot 2 cut inside its name.
    DecodeTable(image.substr(0, kRecordSize + 788 + 10), loaded, &report);
    EXPECT_EQ(report.slotsRead, 2);
    EXPECT_EQ(loaded.projectCount, 2);
    EXPECT_EQ(loaded.slots[1].name, "b");
    EXPECT_EQ(loaded.slots[1].priorityIndex, 2);
    EXPECT_EQ(loaded.slots[2].name, "");
    EXPECT_EQ(loaded.slots[2].priorityIndex, kDefaultPriority);
    EXPECT_EQ(loaded.slots[2].frequencyIndex, kDefaultFrequency);
}

TEST(SavingFile, GapsBetweenUsedSlotsArePacked)
{
    const std::string image = ImageWithNames({{0, "a"}, {3, "b"}, {31, "c"}});
    ProjectTable loaded;
    LoadReport report;
    DecodeTable(image, loaded, &report);
    EXPECT_TRUE(report.moved);
    ASSERT_EQ(loaded.projectCount, 3);
    EXPECT_EQ(loaded.slots[0].name, "a");
    EXPECT_EQ(loaded.slots[1].name, "b");
    EXPECT_EQ(loaded.slots[2].name, "c");
    EXPECT_EQ(loaded.slots[3].name, "");
}

TEST(SavingFile, IndexesOutOfRangeBecomeDefaults)
{
    std::string image = ImageWithNames({{0, "a"}, {1, "b"}});
    image[780] = 11;                  // priority past "1.0"
    image[kRecordSize + 784] = '\xFF';  // frequency -1 (0xFFFFFFFF)
    image[kRecordSize + 785] = '\xFF';
    image[kRecordSize + 786] = '\xFF';
    image[kRecordSize + 787] = '\xFF';
    ProjectTable loaded;
    LoadReport report;
    DecodeTable(image, loaded, &report);
    EXPECT_EQ(report.slotsRepaired, 2);
    EXPECT_EQ(loaded.slots[0].priorityIndex, kDefaultPriority);
    EXPECT_EQ(loaded.slots[0].frequencyIndex, 3);
    EXPECT_EQ(loaded.slots[1].priorityIndex, 6);
    EXPECT_EQ(loaded.slots[1].frequencyIndex, kDefaultFrequency);
}

TEST(SavingFile, NameWithoutTerminatorKeeps259Bytes)
{
    std::string image = ImageWithNames({});
    std::memset(image.data(), 'n', 260);
    ProjectTable loaded;
    DecodeTable(image, loaded);
    EXPECT_EQ(loaded.slots[0].name, std::string(259, 'n'));
}

TEST(ProjectFields, LongNameIsCutOnACharacterBoundary)
{
    // 129 two-byte characters: 258 bytes, then one more would split at 259.
    std::string name;
    for (int i = 0; i < 130; ++i)
        name += "\xC3\xA9";  // é
    EXPECT_EQ(FitField(name).size(), 258u);
    EXPECT_EQ(FitField(std::string(300, 'a')).size(), 259u);
    EXPECT_EQ(FitField("short"), "short");

    ProjectTable table;
    AddProject(table, std::string(600, 'x'));
    table.slots[0].localPath = "/p";
    const std::string image = RecordImage(EncodeTable(table));
    EXPECT_EQ(TextAt(image, 0).size(), 259u);
    EXPECT_EQ(TextAt(image, 260), "/p");  // nothing spilled into the next field
}

TEST(ProjectTableOps, AddUsesTheNextSlot)
{
    ProjectTable table;
    EXPECT_EQ(AddProject(table, "a"), 0);
    EXPECT_EQ(table.slots[0].priorityIndex, 6);
    EXPECT_EQ(table.slots[0].frequencyIndex, 3);
    EXPECT_EQ(AddProject(table, ""), -1);
    EXPECT_EQ(table.projectCount, 1);
}

TEST(ProjectTableOps, SlotClearedByRemovalIsZeroUntilANewProjectTakesIt)
{
    ProjectTable table;
    for (int i = 0; i < kMaxProjects; ++i)
        ASSERT_EQ(AddProject(table, "p" + std::to_string(i)), i);
    EXPECT_EQ(AddProject(table, "one too many"), -1);

    ASSERT_EQ(RemoveProject(table, 5), 0);
    EXPECT_EQ(table.projectCount, 31);
    EXPECT_EQ(table.slots[5].name, "p6");
    EXPECT_EQ(table.slots[30].name, "p31");
    EXPECT_EQ(table.slots[31].name, "");

    // Slot 31 is all zero bytes on disk.
    const std::string image = RecordImage(EncodeTable(table));
    EXPECT_EQ(image.substr(31 * kRecordSize), std::string(kRecordSize, '\0'));

    // A new project there starts fresh all the same.
    EXPECT_EQ(AddProject(table, "new"), 31);
    EXPECT_EQ(table.slots[31].priorityIndex, 6);   // "0.6"
    EXPECT_EQ(table.slots[31].frequencyIndex, 3);  // "weekly"
}

TEST(ProjectTableOps, RemoveLastAndOutOfRange)
{
    ProjectTable table = TableWith({"a", "b"});
    EXPECT_EQ(RemoveProject(table, 2), -1);
    EXPECT_EQ(RemoveProject(table, -1), -1);
    EXPECT_EQ(RemoveProject(table, 1), 0);
    EXPECT_EQ(table.projectCount, 1);
    EXPECT_EQ(table.slots[0].name, "a");
    EXPECT_EQ(FindProject(table, "a"), 0);
    EXPECT_EQ(FindProject(table, "b"), -1);
}

TEST(SavingFileOnDisk, MissingFileGivesFreshTable)
{
    TempTree dir;
    ProjectTable table = TableWith({"left over"});
    LoadReport report;
    EXPECT_EQ(LoadProjects(table, dir.root(), &report), 0);
    EXPECT_FALSE(report.fileFound);
    EXPECT_EQ(table.projectCount, 0);
    EXPECT_EQ(table.slots[0].name, "");
    EXPECT_EQ(table.slots[0].priorityIndex, kDefaultPriority);
}

TEST(SavingFileOnDisk, SaveThenLoad)
{
    TempTree dir;
    ProjectTable table = TableWith({"a", "b"});
    table.slots[1].priorityIndex = 10;
    ASSERT_EQ(SaveProjects(table, dir.root()), 0);
    EXPECT_EQ(dir.read("saving.dat").size(), kTableSize + 1);

    ProjectTable loaded;
    ASSERT_EQ(LoadProjects(loaded, dir.root()), 0);
    EXPECT_EQ(loaded.projectCount, 2);
    EXPECT_EQ(loaded.slots[1].priorityIndex, 10);
}

TEST(SavingFileOnDisk, FailedSaveReportsAndKeepsTheOldFile)
{
    TempTree dir;
    ASSERT_EQ(SaveProjects(TableWith({"old"}), dir.root()), 0);
    std::string error;
    EXPECT_EQ(SaveProjects(TableWith({"new"}), dir.path("no/such/folder"), &error), -1);
    EXPECT_FALSE(error.empty());

    ProjectTable loaded;
    LoadProjects(loaded, dir.root());
    EXPECT_EQ(loaded.slots[0].name, "old");
}

TEST(SavingFileOnDisk, WalkedProjectKeepsItsRootText)
{
    TempTree dir;
    dir.file("site/index.html");
    ProjectTable table = TableWith({"a"});
    ASSERT_EQ(WalkAndCount(table.slots[0].scan, dir.path("site")), 0);
    ASSERT_EQ(SaveProjects(table, dir.root()), 0);
    ProjectTable loaded;
    LoadProjects(loaded, dir.root());
    EXPECT_EQ(loaded.slots[0].savedRoot, table.slots[0].scan.tree.root);
    EXPECT_FALSE(loaded.slots[0].walked());
}

TEST(Scales, TextsAndIndexes)
{
    EXPECT_STREQ(PriorityText(0), "0.0");
    EXPECT_STREQ(PriorityText(10), "1.0");
    EXPECT_STREQ(PriorityText(11), "0.6");
    EXPECT_STREQ(FrequencyText(-1), "weekly");
    EXPECT_STREQ(FrequencyText(6), "never");
    EXPECT_EQ(PriorityIndex("0.3"), 3);
    EXPECT_EQ(PriorityIndex("0.35"), -1);
    EXPECT_EQ(FrequencyIndex("monthly"), 4);
    EXPECT_EQ(FrequencyIndex("Monthly"), -1);
}
