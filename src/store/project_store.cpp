// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "project_store.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "settings.h"

namespace larkspur {

namespace {

bool HasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool Fits(std::string_view text)
{
    return text.size() < kTextFieldSize;
}

// The rules every stored folder and URL follows: it outlives this run.
int CheckField(std::string_view text, std::string& error)
{
    if (!Fits(text)) {
        error = "the folder and the URL of a project hold at most 259 bytes each";
        return -1;
    }
    if (HasControlCharacter(text)) {
        error = "a project's folder and URL may not hold tabs, line breaks or other control characters";
        return -1;
    }
    return 0;
}

}  // namespace

int ProjectStore::openStored(std::string& error)
{
    std::string folder;
    if (ReadWorkingDirectory(folder) != 0) {
        error = "no working directory is set: start larkspur once, or pass --working-dir";
        return -1;
    }
    return open(folder, error);
}

int ProjectStore::open(const std::string& folder, std::string& error)
{
    m_folder = folder;
    if (const int reason = platform::FolderError(m_folder); reason != 0) {
        error = "working directory " + m_folder + ": " + platform::SystemMessage(reason);
        return -1;
    }
    return 0;
}

int ProjectStore::lock(std::string& error)
{
    if (m_lock.locked())
        return 0;
    const std::string path = SavingFilePath(m_folder);
    return m_lock.lock(m_folder, error, m_patience, [this, &path] {
        if (m_notice)
            m_notice("waiting for another Larkspur program to finish with " + path);
    });
}

int ProjectStore::load(std::string& error)
{
    m_extra = {};
    m_notes.clear();
    m_loadFailed = LoadProjects(m_table, m_folder, nullptr, &error, &m_loaded) != 0;
    for (int row = 0; row < m_table.projectCount; ++row)
        m_extra[Slot(row)].change.loadedSlot = row;
    OptionsFile file;
    std::string message;
    if (file.read(m_folder, message) != 0) {
        // Each project then has the defaults, and only options edited here
        // are written, over a file that can be read by then. Until then no
        // project's options are known: a problem of every project, so that
        // no sitemap lists what its exclusions leave out.
        m_notes.push_back(message);
        for (int row = 0; row < m_table.projectCount; ++row)
            m_extra[Slot(row)].problems.push_back({"", message});
    } else {
        m_notes = file.notes();
        for (int row = 0; row < m_table.projectCount; ++row) {
            Extra& extra = m_extra[Slot(row)];
            extra.options = file.options(m_table.slots[Slot(row)].name, extra.problems);
            extra.loadedOptions = extra.options;
        }
    }
    return m_loadFailed ? -1 : 0;
}

std::string ProjectStore::fieldProblem(std::string_view text)
{
    std::string error;
    CheckField(text, error);
    return error;
}

SitemapParameters ProjectStore::parameters(int row) const
{
    const ProjectRecord& record = project(row);
    return {record.websiteUrl, record.priorityIndex, record.frequencyIndex, options(row)};
}

int ProjectStore::checkName(std::string_view name, int row, std::string& error) const
{
    if (name.empty()) {
        error = "a project needs a name";
        return -1;
    }
    if (!Fits(name)) {
        error = "a project name holds at most 259 bytes";
        return -1;
    }
    if (HasControlCharacter(name)) {
        error = "a project name may not hold tabs, line breaks or other control characters";
        return -1;
    }
    // The options are kept by name: two projects of one name would share them.
    const int other = find(name);
    if (other >= 0 && other != row) {
        error = "a project named '" + std::string(name) + "' exists already";
        return -1;
    }
    return 0;
}

int ProjectStore::add(std::string_view name, std::string& error)
{
    if (checkName(name, -1, error) != 0)
        return -1;
    const int row = AddProject(m_table, name);
    if (row < 0) {
        error = "32 projects in Maximum";
        return -1;
    }
    // Options are stored even when all are defaults: a group an older
    // program left under this name must not pass to the new project.
    m_extra[Slot(row)] = Extra{};
    m_extra[Slot(row)].optionsEdited = true;
    return row;
}

int ProjectStore::rename(int row, std::string_view name, std::string& error)
{
    ProjectRecord& record = m_table.slots[Slot(row)];
    if (record.name == name)
        return 0;
    if (checkName(name, row, error) != 0)
        return -1;
    record.name = name;
    m_extra[Slot(row)].change.edited |= kEditedName;
    return 0;
}

int ProjectStore::setFolder(int row, const std::string& typed, std::string& error)
{
    const std::string folder = StoredFolder(typed);
    if (CheckField(folder, error) != 0)
        return -1;
    ProjectRecord& record = m_table.slots[Slot(row)];
    if (folder == record.localPath)
        return 0;
    // A scan belongs to the folder it was made of; keeping it under another
    // folder's name would write one site's sitemap into another.
    ReleaseScan(record.scan);
    record.localPath = folder;
    m_extra[Slot(row)].change.edited |= kEditedLocalPath;
    return 0;
}

int ProjectStore::setUrl(int row, std::string_view url, std::string& error)
{
    if (CheckField(url, error) != 0)
        return -1;
    ProjectRecord& record = m_table.slots[Slot(row)];
    if (record.websiteUrl != url) {
        record.websiteUrl = url;
        m_extra[Slot(row)].change.edited |= kEditedWebsiteUrl;
    }
    return 0;
}

void ProjectStore::setPriority(int row, int index)
{
    ProjectRecord& record = m_table.slots[Slot(row)];
    if (index >= 0 && index < kPriorityCount && record.priorityIndex != index) {
        record.priorityIndex = index;
        m_extra[Slot(row)].change.edited |= kEditedPriority;
    }
}

void ProjectStore::setFrequency(int row, int index)
{
    ProjectRecord& record = m_table.slots[Slot(row)];
    if (index >= 0 && index < kFrequencyCount && record.frequencyIndex != index) {
        record.frequencyIndex = index;
        m_extra[Slot(row)].change.edited |= kEditedFrequency;
    }
}

void ProjectStore::setOptions(int row, const SitemapOptions& options)
{
    Extra& extra = m_extra[Slot(row)];
    // Values that could not be read are replaced whenever the options are
    // set: that is how they are repaired.
    if (options == extra.options && extra.problems.empty())
        return;
    extra.options = options;
    extra.optionsEdited = true;
    extra.problems.clear();
}

void ProjectStore::setScan(int row, ScanResult& scan)
{
    ProjectRecord& record = m_table.slots[Slot(row)];
    ReleaseScan(record.scan);
    std::swap(record.scan, scan);
}

void ProjectStore::releaseScan(int row)
{
    ReleaseScan(m_table.slots[Slot(row)].scan);
}

void ProjectStore::remove(int row)
{
    if (RemoveProject(m_table, row) != 0)
        return;
    std::move(m_extra.begin() + row + 1, m_extra.end(), m_extra.begin() + row);
    m_extra.back() = Extra{};
}

bool ProjectStore::changed() const
{
    for (int row = 0; row < count(); ++row) {
        if (m_extra[Slot(row)].optionsEdited)
            return true;
    }
    // The file image tells additions, removals, edits and new walks alike;
    // a value typed and typed back is no change.
    if (!m_loaded.found)
        return m_table.projectCount > 0;
    return EncodeTable(m_table) != EncodeTable(m_loaded.table);
}

// A table that could not be read is never overwritten: it may be all the
// user has, and only the file system kept it from us this time.
std::string ProjectStore::keptAs() const
{
    const std::string path = SavingFilePath(m_folder) + ".bak";
    std::string kept = path;
    for (int n = 1;; ++n) {
        const QFileInfo there(QString::fromStdString(kept));
        if (!there.exists() && !there.isSymLink())
            return kept;
        kept = path + std::to_string(n);
    }
}

int ProjectStore::setAsideUnreadable(std::string& error)
{
    if (!m_loadFailed)
        return 0;
    const QString path = QString::fromStdString(SavingFilePath(m_folder));
    const QString kept = QString::fromStdString(keptAs());
    QFile file(path);
    if (!file.rename(kept) && QFile::exists(path)) {
        error = (path + QLatin1String(": ") + file.errorString()).toStdString();
        return -1;
    }
    m_loadFailed = false;
    return 0;
}

int ProjectStore::save(std::string& error, MergeReport& report, bool dropExtra)
{
    report = {};
    if (lock(error) != 0)
        return -1;
    struct Unlock {
        ProjectFileLock& lock;
        ~Unlock() { lock.unlock(); }
    } unlockAtEnd{m_lock};

    if (setAsideUnreadable(error) != 0)
        return -1;
    ProjectChanges changes;
    for (int row = 0; row < kMaxProjects; ++row) {
        changes[Slot(row)] = m_extra[Slot(row)].change;
        if (m_extra[Slot(row)].optionsEdited)
            changes[Slot(row)].edited |= kEditedOptions;
    }
    ProjectTable merged;
    if (MergeWithSavedProjects(m_table, changes, m_loaded, m_folder, merged, report, &error) != 0)
        return -1;
    if (!report.notKept.empty() && !dropExtra)
        return 1;
    const ProjectTable& result = report.merged ? merged : m_table;

    // The options follow their projects by name: read under the lock, so
    // that what another program stored meanwhile stays.
    OptionsFile options;
    if (options.read(m_folder, error) != 0)
        return -1;
    std::array<bool, kMaxProjects> kept{};
    std::vector<std::pair<std::string, std::string>> moves;
    for (int row = 0; row < count(); ++row) {
        const int loaded = m_extra[Slot(row)].change.loadedSlot;
        if (loaded < 0 || loaded >= m_loaded.table.projectCount)
            continue;
        kept[Slot(loaded)] = true;
        const std::string& before = m_loaded.table.slots[Slot(loaded)].name;
        if (before != project(row).name)
            moves.emplace_back(before, project(row).name);
    }
    // The options of a name the table still holds stay: another project of
    // that name, here or added elsewhere.
    for (int slot = 0; slot < m_loaded.table.projectCount; ++slot) {
        const std::string& name = m_loaded.table.slots[Slot(slot)].name;
        if (!kept[Slot(slot)] && FindProject(result, name) < 0)
            options.remove(name);
    }
    options.rename(moves);
    for (int row = 0; row < count(); ++row) {
        const std::string& name = project(row).name;
        const bool dropped = std::find(report.notKept.begin(), report.notKept.end(), name) != report.notKept.end();
        const Extra& extra = m_extra[Slot(row)];
        if (!extra.optionsEdited || dropped)
            continue;
        if (extra.change.loadedSlot < 0) {
            options.store(name, extra.options);  // a new project has only the options given here
            continue;
        }
        // Only the options changed here are written: another program's
        // changes to the others since the load stay.
        std::vector<OptionProblem> unread;
        SitemapOptions merged = options.options(name, unread);
        for (const OptionField& field : SitemapOptionFields()) {
            const std::vector<std::string> mine = field.get(extra.options);
            const std::vector<std::string> before = field.get(extra.loadedOptions);
            if (mine == before)
                continue;
            const std::vector<std::string> theirs = field.get(merged);
            if (theirs != before && theirs != mine
                && std::find(report.overruled.begin(), report.overruled.end(), name) == report.overruled.end())
                report.overruled.push_back(name);
            std::string unused;
            field.set(merged, mine, unused);
        }
        options.store(name, merged);
    }

    // Both files are complete beside their places before either is put
    // there, so that a full disk or a folder turned read-only changes
    // neither.
    std::string text;
    if (options.changed() && options.text(text, error) != 0)
        return -1;
    platform::AtomicFile table;
    platform::AtomicFile optionsFile;
    if (table.open(SavingFilePath(m_folder), error) != 0)
        return -1;
    const std::string image = EncodeTable(result);
    table.stream().write(image.data(), static_cast<std::streamsize>(image.size()));
    if (options.changed()) {
        if (optionsFile.open(ProjectOptionsPath(m_folder), error) != 0)
            return -1;
        optionsFile.stream() << text;
    }
    if (table.prepare(error) != 0 || (options.changed() && optionsFile.prepare(error) != 0)
        || table.commit(error) != 0 || (options.changed() && optionsFile.commit(error) != 0))
        return -1;

    // What is on disk now is the new starting point.
    if (report.merged) {
        for (ProjectRecord& record : m_table.slots)
            ReleaseScan(record.scan);
        m_table = std::move(merged);
    }
    m_extra = {};
    for (int row = 0; row < count(); ++row) {
        Extra& extra = m_extra[Slot(row)];
        extra.change.loadedSlot = row;
        extra.options = options.options(project(row).name, extra.problems);
        extra.loadedOptions = extra.options;
    }
    m_loaded.found = true;
    m_loaded.file = image;
    DecodeTable(image, m_loaded.table);
    return 0;
}

int ProjectStore::saveSitemap(int row, SitemapFormat format, std::string* error, SaveReport* report) const
{
    const ProjectRecord& record = project(row);
    return SaveSitemap(platform::JoinPath(record.localPath, SitemapFileName(format)), format, record.scan.tree,
                       parameters(row), error, report);
}

}  // namespace larkspur
