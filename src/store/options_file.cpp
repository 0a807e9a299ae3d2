// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "options_file.h"

#include <QByteArray>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/read_file.h"

namespace larkspur {

namespace {

constexpr const char* kFileName = "sitemap-options.ini";
// Far more than 32 projects' options; a larger file is not one of ours.
constexpr std::size_t kMaxFileSize = 1 << 24;

// "/" would nest groups and "\" is a separator on some systems: the name is
// stored percent-encoded, byte for byte, so that any project name keeps a
// group of its own, UTF-8 or not.
QString GroupOf(const std::string& project)
{
    return QString::fromLatin1(QByteArray(project.data(), static_cast<qsizetype>(project.size())).toPercentEncoding());
}

// Text as QSettings keeps it; bytes that are not UTF-8 as bytes, which it
// writes escaped, so that they come back as they were.
QVariant Encoded(const std::string& value)
{
    const QString text = QString::fromStdString(value);
    if (text.toStdString() == value)
        return text;
    return QByteArray(value.data(), static_cast<qsizetype>(value.size()));
}

std::string Decoded(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    return value.toString().toStdString();
}

QVariant ValueOf(const OptionField& field, const SitemapOptions& options)
{
    const std::vector<std::string> values = field.get(options);
    if (field.kind != OptionKind::List || values.size() == 1)
        return Encoded(values.empty() ? std::string() : values.front());
    QVariantList list;
    bool text = true;
    for (const std::string& value : values) {
        list << Encoded(value);
        text = text && list.back().typeId() == QMetaType::QString;
    }
    // A list of plain texts is written as it always was.
    return text ? QVariant(QVariant(list).toStringList()) : QVariant(list);
}

std::vector<std::string> ValuesOf(const QVariant& stored)
{
    std::vector<std::string> values;
    if (stored.typeId() == QMetaType::QVariantList || stored.typeId() == QMetaType::QStringList) {
        for (const QVariant& value : stored.toList())
            values.push_back(Decoded(value));
    } else {
        values.push_back(Decoded(stored));
    }
    return values;
}

std::string Trimmed(const std::string& line)
{
    const auto first = line.find_first_not_of(" \t\r");
    return first == std::string::npos ? std::string() : line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

// The file as QSettings reads and writes it, in a private temporary folder:
// QSettings only turns groups into text here, the file itself is written the
// way every Larkspur file is.
struct OptionsFile::Ini {
    QTemporaryDir scratch;
    std::unique_ptr<QSettings> settings;
};

OptionsFile::OptionsFile() = default;
OptionsFile::~OptionsFile() = default;

std::string ProjectOptionsPath(const std::string& workingDirectory)
{
    return platform::JoinPath(workingDirectory, kFileName);
}

int OptionsFile::read(const std::string& workingDirectory, std::string& error)
{
    m_path = ProjectOptionsPath(workingDirectory);
    m_kept.clear();
    m_notes.clear();
    m_changed = false;
    std::string text;
    if (platform::Exists(m_path) && platform::ReadFile(m_path, text, error, kMaxFileSize + 1) != 0)
        return -1;
    if (text.size() > kMaxFileSize) {
        error = m_path + ": larger than 16 MiB, not an options file";
        return -1;
    }
    // A line QSettings cannot read (no "=") would stop it writing at all, and
    // it drops comments: both are set aside here and put back on writing.
    std::string readable;
    std::string group;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::string trimmed = Trimmed(line);
        if (trimmed.empty() || trimmed.front() == '[' || (trimmed.front() != ';' && trimmed.find('=') != std::string::npos)) {
            if (!trimmed.empty() && trimmed.front() == '[')
                group = trimmed;
            readable += line + '\n';
            continue;
        }
        if (trimmed.front() != ';')
            m_notes.push_back(m_path + " line " + std::to_string(number) + ": '" + trimmed
                              + "' cannot be read (no '='); it is kept as it is");
        m_kept.emplace_back(group, line);
    }

    m_ini = std::make_unique<Ini>();
    if (!m_ini->scratch.isValid()) {
        error = "cannot create a temporary folder: " + m_ini->scratch.errorString().toStdString();
        return -1;
    }
    const std::string work = m_ini->scratch.filePath(QStringLiteral("options.ini")).toStdString();
    platform::AtomicFile copy;
    if (copy.open(work, error) != 0)
        return -1;
    copy.stream() << readable;
    if (copy.commit(error) != 0)
        return -1;
    m_ini->settings = std::make_unique<QSettings>(QString::fromStdString(work), QSettings::IniFormat);
    m_ini->settings->allKeys();  // the file is read on first use
    if (m_ini->settings->status() != QSettings::NoError) {
        error = m_path + ": not an INI file Larkspur can read";
        return -1;
    }
    return 0;
}

SitemapOptions OptionsFile::options(const std::string& project, std::vector<OptionProblem>& problems) const
{
    SitemapOptions options;
    problems.clear();
    if (!m_ini)
        return options;
    QSettings& settings = *m_ini->settings;
    settings.beginGroup(GroupOf(project));
    for (const OptionField& field : SitemapOptionFields()) {
        const QVariant stored = settings.value(QString::fromLatin1(field.key));
        std::string message;
        if (stored.isValid() && field.set(options, ValuesOf(stored), message) != 0)
            problems.push_back({field.key, m_path + ": project '" + project + "': " + message});
    }
    settings.endGroup();
    return options;
}

void OptionsFile::store(const std::string& project, const SitemapOptions& options)
{
    QSettings& settings = *m_ini->settings;
    settings.beginGroup(GroupOf(project));
    for (const OptionField& field : SitemapOptionFields())
        settings.setValue(QString::fromLatin1(field.key), ValueOf(field, options));
    settings.endGroup();
    m_changed = true;
}

void OptionsFile::remove(const std::string& project)
{
    if (!m_ini->settings->childGroups().contains(GroupOf(project)))
        return;
    m_ini->settings->remove(GroupOf(project));
    m_changed = true;
}

void OptionsFile::rename(const std::vector<std::pair<std::string, std::string>>& moves)
{
    QSettings& settings = *m_ini->settings;
    struct Group {
        QStringList keys;
        QVariantList values;
    };
    std::vector<Group> groups;
    const QStringList present = settings.childGroups();
    for (const auto& [from, to] : moves) {
        // A project without options anywhere leaves the file alone.
        m_changed = m_changed || present.contains(GroupOf(from)) || present.contains(GroupOf(to));
        Group& group = groups.emplace_back();
        settings.beginGroup(GroupOf(from));
        group.keys = settings.allKeys();
        for (const QString& key : group.keys)
            group.values << settings.value(key);
        settings.endGroup();
    }
    for (const auto& [from, to] : moves) {
        settings.remove(GroupOf(from));
        settings.remove(GroupOf(to));
    }
    for (std::size_t i = 0; i < moves.size(); ++i) {
        settings.beginGroup(GroupOf(moves[i].second));
        for (qsizetype k = 0; k < groups[i].keys.size(); ++k)
            settings.setValue(groups[i].keys[k], groups[i].values[k]);
        settings.endGroup();
    }
}

int OptionsFile::text(std::string& out, std::string& error) const
{
    QSettings& settings = *m_ini->settings;
    settings.sync();
    std::string written;
    if (settings.status() != QSettings::NoError
        || platform::ReadFile(settings.fileName().toStdString(), written, error) != 0) {
        error = m_path + ": cannot be written: " + error;
        return -1;
    }
    // The lines set aside go back under their group's header, or with it at
    // the end when the group is gone.
    out.clear();
    for (const auto& [group, line] : m_kept) {
        if (group.empty())
            out += line + '\n';
    }
    std::vector<std::string> headers;
    for (std::size_t start = 0; start < written.size();) {
        const std::size_t end = std::min(written.find('\n', start), written.size());
        const std::string line = written.substr(start, end - start);
        start = end + 1;
        out += line + '\n';
        if (line.empty() || line.front() != '[')
            continue;
        headers.push_back(line);
        for (const auto& [group, kept] : m_kept) {
            if (group == line)
                out += kept + '\n';
        }
    }
    for (std::size_t i = 0; i < m_kept.size(); ++i) {
        const std::string& group = m_kept[i].first;
        if (group.empty() || std::find(headers.begin(), headers.end(), group) != headers.end())
            continue;
        if (i == 0 || m_kept[i - 1].first != group)
            out += '\n' + group + '\n';
        out += m_kept[i].second + '\n';
    }
    return 0;
}

}  // namespace larkspur
