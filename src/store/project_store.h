// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The projects of a working directory, as both programs see them: saving.dat
// and the options beside it (sitemap-options.ini), loaded together, edited
// by one set of rules and saved together under the working directory's lock,
// merged with what another Larkspur program saved meanwhile.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "options_file.h"
#include "projects/projects.h"
#include "sitemap/writers.h"

namespace larkspur {

class ProjectStore {
public:
    // How long to wait for another program holding the lock; what to tell
    // the user once the wait begins.
    void setLockPatience(std::chrono::milliseconds patience) { m_patience = patience; }
    void setWaitingNotice(std::function<void(const std::string&)> notice) { m_notice = std::move(notice); }

    // The working directory: `folder`, or the one the settings hold. 0; -1
    // with why.
    int open(const std::string& folder, std::string& error);
    int openStored(std::string& error);
    const std::string& folder() const { return m_folder; }

    // For a command that reads, changes and saves: the lock is held from
    // here to the end of save() (or unlock()), so that two such commands
    // queue. The window only locks to save.
    int lock(std::string& error);
    void unlock() { m_lock.unlock(); }

    // Reads saving.dat and every project's options. -1 with a message when
    // saving.dat exists but cannot be read: the table is then empty, and
    // saving sets the file aside under keptAs() instead of overwriting it.
    int load(std::string& error);
    // saving.dat.bak, or saving.dat.bak1, ... where an earlier session set
    // a file aside already: that one may hold the only good list.
    std::string keptAs() const;
    bool fileFound() const { return m_loaded.found; }
    // Lines of the options file that cannot be read; they are kept.
    const std::vector<std::string>& notes() const { return m_notes; }

    const ProjectTable& table() const { return m_table; }
    int count() const { return m_table.projectCount; }
    const ProjectRecord& project(int row) const { return m_table.slots[Slot(row)]; }
    int find(std::string_view name) const { return FindProject(m_table, name); }
    const SitemapOptions& options(int row) const { return m_extra[Slot(row)].options; }
    // The project's stored option values that no option understands; their
    // defaults stand in until the options are set.
    const std::vector<OptionProblem>& optionProblems(int row) const { return m_extra[Slot(row)].problems; }
    SitemapParameters parameters(int row) const;
    // Why a folder or URL would not be stored (setFolder, setUrl); empty
    // when it would.
    static std::string fieldProblem(std::string_view text);

    // Edits by the rules of both programs: a name is not empty, unique, at
    // most 259 bytes and free of control characters (the list shows one
    // project per line, its fields split by tabs); a folder and a URL are at
    // most 259 bytes and free of control characters too, and a folder is
    // kept as StoredFolder gives it. -1 with why; nothing is changed then.
    int add(std::string_view name, std::string& error);  // the new row
    int rename(int row, std::string_view name, std::string& error);
    int setFolder(int row, const std::string& typed, std::string& error);
    int setUrl(int row, std::string_view url, std::string& error);
    void setPriority(int row, int index);
    void setFrequency(int row, int index);
    void setOptions(int row, const SitemapOptions& options);
    // The walk of the project's folder; its folder texts are saved with it.
    void setScan(int row, ScanResult& scan);
    void releaseScan(int row);
    void remove(int row);

    // Anything to save: a project or its options changed since loading.
    bool changed() const;

    // Writes saving.dat and the options file, taking the lock unless it is
    // held: under it, what another program saved since loading is merged in
    // first (`report` names projects both changed). 0; 1 without writing
    // when the merged table has no room for some of this side's additions
    // (named in report.notKept) and `dropExtra` is false; -1 with why, and
    // then neither file has changed.
    int save(std::string& error, MergeReport& report, bool dropExtra = true);

    // The selected project's sitemap, into its folder under the format's
    // file name.
    int saveSitemap(int row, SitemapFormat format, std::string* error = nullptr, SaveReport* report = nullptr) const;

private:
    // What the store keeps of a project besides the record.
    struct Extra {
        ProjectChange change;
        SitemapOptions options;
        SitemapOptions loadedOptions;  // as read: what this side changed is told from it
        bool optionsEdited = false;
        std::vector<OptionProblem> problems;
    };

    static std::size_t Slot(int row) { return static_cast<std::size_t>(row); }
    int checkName(std::string_view name, int row, std::string& error) const;
    int setAsideUnreadable(std::string& error);

    std::string m_folder;
    std::chrono::milliseconds m_patience = kLockPatience;
    std::function<void(const std::string&)> m_notice;
    ProjectFileLock m_lock;
    ProjectTable m_table;
    std::array<Extra, kMaxProjects> m_extra;
    ProjectSnapshot m_loaded;
    bool m_loadFailed = false;
    std::vector<std::string> m_notes;
};

}  // namespace larkspur
