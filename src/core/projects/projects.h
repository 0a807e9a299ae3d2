// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The table of up to 32 projects and its file, saving.dat.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_lock.h"
#include "options/options.h"
#include "scan/scan.h"

namespace larkspur {

constexpr int kMaxProjects = 32;
constexpr std::size_t kRecordSize = 1348;
constexpr std::size_t kTextFieldSize = 260;  // 259 bytes and a terminating zero
constexpr std::size_t kTableSize = kRecordSize * kMaxProjects;

struct ProjectRecord {
    std::string name;  // empty = unused slot
    std::string localPath;
    std::string websiteUrl;
    std::int32_t priorityIndex = kDefaultPriority;
    std::int32_t frequencyIndex = kDefaultFrequency;
    // The folder texts of the last walk as the file keeps them.
    std::string savedRoot;
    std::string savedBase;
    ScanResult scan;  // run time only

    bool walked() const { return scan.tree.walked; }
};

enum EditedField : unsigned {
    kEditedName = 1,
    kEditedLocalPath = 2,
    kEditedWebsiteUrl = 4,
    kEditedPriority = 8,
    kEditedFrequency = 16,
    kEditedOptions = 32,  // its sitemap options, kept beside the table by name
};

// What a program did to one project of the table it holds, so that saving
// can merge with what another program saved meanwhile: the slot the project
// had in the table as loaded (-1 for one added since) and the EditedField
// bits of what was changed here. Kept beside the table, slot for slot.
struct ProjectChange {
    int loadedSlot = -1;
    unsigned edited = 0;
};
using ProjectChanges = std::array<ProjectChange, kMaxProjects>;

// A slot of a freshly created table: empty texts, "0.6", "weekly".
ProjectRecord FreshRecord();
// A slot cleared to zero bytes, as removal leaves the last one: "0.0", "always".
ProjectRecord ZeroRecord();

struct ProjectTable {
    std::array<ProjectRecord, kMaxProjects> slots;
    int projectCount = 0;  // used slots are 0 .. projectCount - 1
};

void ResetTable(ProjectTable& table);

// Cuts text to at most 259 bytes, never inside a UTF-8 character.
std::string FitField(std::string_view text);

std::string SavingFilePath(const std::string& workingDirectory);

// A folder as a project or the settings keep it: absolute, a relative one
// taken against the current folder now (a later start may be elsewhere), "."
// and ".." taken out by the text alone. An empty text stays empty.
std::string StoredFolder(const std::string& typed);

// The lock file beside saving.dat: "saving.dat.lock".
std::string SavingLockPath(const std::string& workingDirectory);

// How long a program waits for another one to finish with saving.dat.
constexpr std::chrono::milliseconds kLockPatience{30000};

// Held around every read-modify-write of saving.dat, and of any file kept
// beside it, so that two Larkspur programs at once (two command lines, or the
// window and a command line) never lose each other's changes. Only one
// holder at a time.
class ProjectFileLock {
public:
    // Takes the lock of this working directory, waiting up to `patience`
    // while another program holds it; `waiting` is called once when the
    // first try finds it held. 0; -1 with the reason, naming saving.dat when
    // the lock file cannot be made (a folder that is gone or read-only) and
    // the lock file when it is there but cannot be used.
    int lock(const std::string& workingDirectory, std::string& error,
             std::chrono::milliseconds patience = kLockPatience, const std::function<void()>& waiting = {});
    void unlock() { m_lock.unlock(); }
    bool locked() const { return m_lock.locked(); }

private:
    platform::FileLock m_lock;
};

// The file image: 32 records of 1348 bytes, every 0x0A stored as 0x0D 0x0A.
std::string EncodeTable(const ProjectTable& table);

struct LoadReport {
    bool fileFound = false;
    int slotsRead = 0;        // complete slots found in the file
    int slotsRepaired = 0;    // priority or frequency out of range, set to the default
    bool moved = false;       // used slots were not contiguous and were packed
};
// Reads a file image; never fails: what is missing becomes fresh slots.
void DecodeTable(std::string_view image, ProjectTable& table, LoadReport* report = nullptr);

// What a program read from saving.dat, kept to tell at saving time what
// another program changed since.
struct ProjectSnapshot {
    bool found = false;
    std::string file;    // the bytes as read
    ProjectTable table;  // as loaded
};

// Loads saving.dat from the working directory. A missing file gives a fresh
// table and 0; -1 when it exists but cannot be read (the table is then fresh).
// `snapshot` receives the file as read, for MergeWithSavedProjects.
int LoadProjects(ProjectTable& table, const std::string& workingDirectory,
                 LoadReport* report = nullptr, std::string* error = nullptr,
                 ProjectSnapshot* snapshot = nullptr);
// Writes saving.dat through a temporary file. -1 with a message on failure;
// the previous file is then untouched.
int SaveProjects(const ProjectTable& table, const std::string& workingDirectory,
                 std::string* error = nullptr);

struct MergeReport {
    bool merged = false;                // the file had changed since it was loaded
    std::vector<std::string> overruled; // changed both here and elsewhere: this side's change was kept
    std::vector<std::string> notKept;   // added here, but the table is full with the projects added elsewhere
};

// A merge by project name of the table a program holds (`ours`, loaded as
// `loaded`, changed as `changes` say) with the file's present table
// (`theirs`). Projects that only the other program added, removed or changed
// stay as in `theirs`; our additions, removals and edited fields are applied
// on top. Where both
// changed a project, ours wins and the project is named in `report`. The
// result keeps the file's slot rules: removal shifts the later slots down
// and clears slot 31, an addition takes the next unused slot.
void MergeProjects(const ProjectTable& loaded, const ProjectTable& ours, const ProjectChanges& changes,
                   const ProjectTable& theirs, ProjectTable& result, MergeReport& report);

// When saving.dat has changed since `ours` was loaded as `snapshot` (or
// appeared, or gone), `result` receives `ours` merged with the file's present
// table and `report.merged` is set; otherwise `ours` is the table to write
// as it is (a scan is not to be copied). Call it holding the working directory's
// ProjectFileLock, so nothing can change the file between the look and the
// write. -1 with a message when the file cannot be read.
int MergeWithSavedProjects(const ProjectTable& ours, const ProjectChanges& changes,
                           const ProjectSnapshot& snapshot, const std::string& workingDirectory,
                           ProjectTable& result, MergeReport& report, std::string* error = nullptr);

// Puts `name` into slot projectCount as a fresh slot ("0.6", "weekly", even
// where a removal left zeros). The new slot index, or -1 when the table is
// full or the name empty.
int AddProject(ProjectTable& table, std::string_view name);
// Releases the slot's scan, shifts the later slots down and clears slot 31.
int RemoveProject(ProjectTable& table, int slot);
// The used slot with this name, or -1.
int FindProject(const ProjectTable& table, std::string_view name);

}  // namespace larkspur
