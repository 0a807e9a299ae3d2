#include "projects.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform.h"

namespace larkspur {

const char* const kPriorityTexts[kPriorityCount] = {"0.0", "0.1", "0.2", "0.3", "0.4", "0.5",
                                                     "0.6", "0.7", "0.8", "0.9", "1.0"};
const char* const kFrequencyTexts[kFrequencyCount] = {"always",  "hourly", "daily", "weekly",
                                                       "monthly", "yearly", "never"};

namespace {

// Offsets of a record in the file image.
constexpr std::size_t kNameOffset = 0;
constexpr std::size_t kLocalPathOffset = 260;
constexpr std::size_t kWebsiteUrlOffset = 520;
constexpr std::size_t kPriorityOffset = 780;
constexpr std::size_t kFrequencyOffset = 784;
constexpr std::size_t kRunTimeOffset = 788;  // the run-time part starts here
constexpr std::size_t kSavedRootOffset = 824;
constexpr std::size_t kSavedBaseOffset = 1084;

bool IsContinuationByte(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

void PutText(std::string& image, std::size_t offset, std::string_view text)
{
    const std::string fitted = FitField(text);
    std::memcpy(image.data() + offset, fitted.data(), fitted.size());
}

void PutInt32(std::string& image, std::size_t offset, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        image[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

std::string GetText(std::string_view image, std::size_t offset)
{
    const std::string_view field = image.substr(offset, kTextFieldSize);
    const auto end = field.find('\0');
    if (end != std::string_view::npos)
        return std::string(field.substr(0, end));
    return FitField(field);  // no terminator: keep what fits with one
}

std::int32_t GetInt32(std::string_view image, std::size_t offset)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(image[offset + i])) << (8 * i);
    return static_cast<std::int32_t>(bits);
}

}  // namespace

const char* PriorityText(int index)
{
    return index >= 0 && index < kPriorityCount ? kPriorityTexts[index]
                                                : kPriorityTexts[kDefaultPriority];
}

const char* FrequencyText(int index)
{
    return index >= 0 && index < kFrequencyCount ? kFrequencyTexts[index]
                                                 : kFrequencyTexts[kDefaultFrequency];
}

int PriorityIndex(std::string_view text)
{
    for (int i = 0; i < kPriorityCount; ++i) {
        if (text == kPriorityTexts[i])
            return i;
    }
    return -1;
}

int FrequencyIndex(std::string_view text)
{
    for (int i = 0; i < kFrequencyCount; ++i) {
        if (text == kFrequencyTexts[i])
            return i;
    }
    return -1;
}

ProjectRecord FreshRecord()
{
    return ProjectRecord{};
}

ProjectRecord ZeroRecord()
{
    ProjectRecord record;
    record.priorityIndex = 0;
    record.frequencyIndex = 0;
    return record;
}

void ResetTable(ProjectTable& table)
{
    for (ProjectRecord& slot : table.slots)
        slot = FreshRecord();
    table.projectCount = 0;
}

std::string FitField(std::string_view text)
{
    constexpr std::size_t limit = kTextFieldSize - 1;
    if (text.size() <= limit)
        return std::string(text);
    std::size_t cut = limit;
    // Step back to the first byte of the character that the limit splits. A
    // UTF-8 character has at most three continuation bytes; text that is not
    // UTF-8 (a run of such bytes) is cut at most three bytes early, never
    // emptied.
    while (cut > limit - 3 && IsContinuationByte(static_cast<unsigned char>(text[cut])))
        --cut;
    return std::string(text.substr(0, cut));
}

std::string SavingFilePath(const std::string& workingDirectory)
{
    return platform::JoinPath(workingDirectory, "saving.dat");
}

std::string SavingLockPath(const std::string& workingDirectory)
{
    return SavingFilePath(workingDirectory) + ".lock";
}

std::string EncodeTable(const ProjectTable& table)
{
    std::string image(kTableSize, '\0');
    for (int i = 0; i < kMaxProjects; ++i) {
        const ProjectRecord& record = table.slots[i];
        const std::size_t at = static_cast<std::size_t>(i) * kRecordSize;
        PutText(image, at + kNameOffset, record.name);
        PutText(image, at + kLocalPathOffset, record.localPath);
        PutText(image, at + kWebsiteUrlOffset, record.websiteUrl);
        PutInt32(image, at + kPriorityOffset, record.priorityIndex);
        PutInt32(image, at + kFrequencyOffset, record.frequencyIndex);
        PutText(image, at + kSavedRootOffset, record.walked() ? record.scan.tree.root : record.savedRoot);
        PutText(image, at + kSavedBaseOffset, record.walked() ? record.scan.tree.base : record.savedBase);
    }
    // The file has always been written in text mode: LF is stored as CR LF.
    std::string file;
    file.reserve(image.size() + 64);
    for (const char c : image) {
        if (c == '\n')
            file += '\r';
        file += c;
    }
    return file;
}

void DecodeTable(std::string_view file, ProjectTable& table, LoadReport* report)
{
    LoadReport local;
    LoadReport& r = report ? *report : local;
    r.slotsRead = 0;
    r.slotsRepaired = 0;
    r.moved = false;

    std::string image;
    image.reserve(std::min(file.size(), kTableSize));
    for (std::size_t i = 0; i < file.size() && image.size() < kTableSize; ++i) {
        if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n')
            continue;
        image += file[i];
    }

    ResetTable(table);
    std::vector<ProjectRecord> used;
    std::vector<ProjectRecord> unused;
    for (int i = 0; i < kMaxProjects; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * kRecordSize;
        ProjectRecord record;
        // A slot counts when its stored fields are all there; the run-time
        // tail carries nothing that could be lost.
        if (at + kRunTimeOffset <= image.size()) {
            ++r.slotsRead;
            record.name = GetText(image, at + kNameOffset);
            record.localPath = GetText(image, at + kLocalPathOffset);
            record.websiteUrl = GetText(image, at + kWebsiteUrlOffset);
            record.priorityIndex = GetInt32(image, at + kPriorityOffset);
            record.frequencyIndex = GetInt32(image, at + kFrequencyOffset);
            if (at + kSavedRootOffset + kTextFieldSize <= image.size())
                record.savedRoot = GetText(image, at + kSavedRootOffset);
            if (at + kSavedBaseOffset + kTextFieldSize <= image.size())
                record.savedBase = GetText(image, at + kSavedBaseOffset);
            bool repaired = false;
            if (record.priorityIndex < 0 || record.priorityIndex >= kPriorityCount) {
                record.priorityIndex = kDefaultPriority;
                repaired = true;
            }
            if (record.frequencyIndex < 0 || record.frequencyIndex >= kFrequencyCount) {
                record.frequencyIndex = kDefaultFrequency;
                repaired = true;
            }
            if (repaired)
                ++r.slotsRepaired;
        }
        if (record.name.empty()) {
            unused.push_back(std::move(record));
        } else {
            if (!unused.empty())
                r.moved = true;
            used.push_back(std::move(record));
        }
    }
    // Row i of the project list is slot i: used slots go to the front.
    int slot = 0;
    for (ProjectRecord& record : used)
        table.slots[slot++] = std::move(record);
    for (ProjectRecord& record : unused)
        table.slots[slot++] = std::move(record);
    table.projectCount = static_cast<int>(used.size());
}

int LoadProjects(ProjectTable& table, const std::string& workingDirectory, LoadReport* report,
                 std::string* error)
{
    if (report)
        *report = {};
    const std::string path = SavingFilePath(workingDirectory);
    if (!platform::Exists(path)) {
        ResetTable(table);
        return 0;
    }
    std::string contents;
    std::string message;
    // Nothing past the table's image is read: at most every byte of it
    // stored as CR LF. A huge or endless file costs no more than that.
    if (platform::ReadFile(path, contents, message, 2 * kTableSize) != 0) {
        ResetTable(table);
        if (error)
            *error = message;
        return -1;
    }
    if (report)
        report->fileFound = true;
    DecodeTable(contents, table, report);
    return 0;
}

int SaveProjects(const ProjectTable& table, const std::string& workingDirectory, std::string* error)
{
    platform::AtomicFile file;
    std::string message;
    if (file.open(SavingFilePath(workingDirectory), message) != 0) {
        if (error)
            *error = message;
        return -1;
    }
    const std::string image = EncodeTable(table);
    file.stream().write(image.data(), static_cast<std::streamsize>(image.size()));
    if (file.commit(message) != 0) {
        if (error)
            *error = message;
        return -1;
    }
    return 0;
}

int AddProject(ProjectTable& table, std::string_view name)
{
    if (table.projectCount >= kMaxProjects || name.empty())
        return -1;
    const int slot = table.projectCount;
    table.slots[slot].name = FitField(name);
    ++table.projectCount;
    return slot;
}

int RemoveProject(ProjectTable& table, int slot)
{
    if (slot < 0 || slot >= table.projectCount)
        return -1;
    ReleaseScan(table.slots[slot].scan);
    std::move(table.slots.begin() + slot + 1, table.slots.end(), table.slots.begin() + slot);
    table.slots[kMaxProjects - 1] = ZeroRecord();
    --table.projectCount;
    return 0;
}

int FindProject(const ProjectTable& table, std::string_view name)
{
    for (int i = 0; i < table.projectCount; ++i) {
        if (table.slots[i].name == name)
            return i;
    }
    return -1;
}

}  // namespace larkspur
