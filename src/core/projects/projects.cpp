// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "projects.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/read_file.h"
#include "platform/system.h"

namespace larkspur {

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

std::string StoredFolder(const std::string& typed)
{
    if (typed.empty())
        return typed;
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(typed, failed);
    return failed || absolute.empty() ? typed : absolute.lexically_normal().string();
}

std::string SavingLockPath(const std::string& workingDirectory)
{
    return SavingFilePath(workingDirectory) + ".lock";
}

int ProjectFileLock::lock(const std::string& workingDirectory, std::string& error,
                          std::chrono::milliseconds patience, const std::function<void()>& waiting)
{
    const std::string path = SavingLockPath(workingDirectory);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (bool first = true;; first = false) {
        int reason = 0;
        const int result = m_lock.lock(path, error, false, &reason);
        if (result == 0)
            return 0;
        if (result < 0) {
            // A lock file that could not be made tells of the folder, where
            // saving.dat cannot be written either: that is the file to name.
            if (reason != 0 && !platform::Exists(path))
                error = SavingFilePath(workingDirectory) + ": " + platform::SystemMessage(reason);
            return -1;
        }
        if (first && waiting)
            waiting();
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "another Larkspur program is still busy with " + SavingFilePath(workingDirectory) + " after "
                  + std::to_string(patience.count() / 1000) + " seconds; nothing was changed, try again later";
            return -1;
        }
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(
            std::chrono::milliseconds(100),
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())));
    }
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

namespace {

// 1 when saving.dat is there and read, 0 when there is none, -1 on failure.
int ReadSavingFile(const std::string& workingDirectory, std::string& contents, std::string& error)
{
    contents.clear();
    const std::string path = SavingFilePath(workingDirectory);
    if (!platform::Exists(path))
        return 0;
    // Nothing past the table's image is read: at most every byte of it
    // stored as CR LF. A huge or endless file costs no more than that.
    return platform::ReadFile(path, contents, error, 2 * kTableSize) == 0 ? 1 : -1;
}

}  // namespace

int LoadProjects(ProjectTable& table, const std::string& workingDirectory, LoadReport* report,
                 std::string* error, ProjectSnapshot* snapshot)
{
    if (report)
        *report = {};
    std::string contents;
    std::string message;
    const int found = ReadSavingFile(workingDirectory, contents, message);
    if (found <= 0)
        ResetTable(table);
    else
        DecodeTable(contents, table, report);
    if (found < 0 && error)
        *error = message;
    if (found > 0 && report)
        report->fileFound = true;
    if (snapshot) {
        // An unreadable file counts as none: the window sets it aside
        // before saving.
        snapshot->found = found > 0;
        snapshot->file = found > 0 ? contents : std::string();
        snapshot->table = table;
    }
    return found < 0 ? -1 : 0;
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

int MergeWithSavedProjects(const ProjectTable& ours, const ProjectChanges& changes,
                           const ProjectSnapshot& snapshot, const std::string& workingDirectory,
                           ProjectTable& result, MergeReport& report, std::string* error)
{
    report = {};
    std::string contents;
    std::string message;
    const int found = ReadSavingFile(workingDirectory, contents, message);
    if (found < 0) {
        if (error)
            *error = message;
        return -1;
    }
    if ((found > 0) == snapshot.found && contents == snapshot.file)
        return 0;
    ProjectTable theirs;
    if (found > 0)
        DecodeTable(contents, theirs);
    else
        ResetTable(theirs);
    MergeProjects(snapshot.table, ours, changes, theirs, result, report);
    return 0;
}

int AddProject(ProjectTable& table, std::string_view name)
{
    if (table.projectCount >= kMaxProjects || name.empty())
        return -1;
    const int slot = table.projectCount;
    table.slots[slot] = FreshRecord();
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
