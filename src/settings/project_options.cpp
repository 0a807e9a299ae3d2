#include "project_options.h"

#include <QByteArray>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include "platform.h"

namespace larkspur {

namespace {

constexpr const char* kFileName = "sitemap-options.ini";

// "/" would nest groups and "\" is a separator on some systems: the name is
// stored percent-encoded, so that any project name keeps a group of its own.
QString GroupOf(const std::string& project)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(project)));
}

QVariant ValueOf(const OptionField& field, const SitemapOptions& options)
{
    const std::vector<std::string> values = field.get(options);
    if (field.kind != OptionKind::List)
        return QString::fromStdString(values.empty() ? std::string() : values.front());
    QStringList list;
    for (const std::string& value : values)
        list << QString::fromStdString(value);
    return list;
}

void Fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
}

// Reads the file into `settings` (an INI file in a private temporary folder),
// lets `change` edit it, and writes the result over the file. QSettings only
// turns groups into text here: the file itself is written the way every
// Larkspur file is, through a temporary file renamed over it.
template <typename Change>
int Rewrite(const std::string& workingDirectory, Change change, std::string* error)
{
    const std::string path = ProjectOptionsPath(workingDirectory);
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        Fail(error, "cannot create a temporary folder: " + scratch.errorString().toStdString());
        return -1;
    }
    const QString work = scratch.filePath(QStringLiteral("options.ini"));
    std::string text;
    std::string message;
    if (platform::Exists(path) && platform::ReadFile(path, text, message) != 0) {
        Fail(error, message);
        return -1;
    }
    {
        platform::AtomicFile copy;
        if (copy.open(work.toStdString(), message) != 0) {
            Fail(error, message);
            return -1;
        }
        copy.stream() << text;
        if (copy.commit(message) != 0) {
            Fail(error, message);
            return -1;
        }
    }
    {
        QSettings settings(work, QSettings::IniFormat);
        if (settings.status() != QSettings::NoError) {
            Fail(error, path + ": not an INI file Larkspur can read");
            return -1;
        }
        change(settings);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            Fail(error, "cannot write the project options");
            return -1;
        }
    }
    if (platform::ReadFile(work.toStdString(), text, message) != 0) {
        Fail(error, message);
        return -1;
    }
    platform::AtomicFile file;
    if (file.open(path, message) != 0) {
        Fail(error, message);
        return -1;
    }
    file.stream() << text;
    if (file.commit(message) != 0) {
        Fail(error, message);
        return -1;
    }
    return 0;
}

void WriteGroup(QSettings& settings, const QString& group, const SitemapOptions& options)
{
    settings.beginGroup(group);
    for (const OptionField& field : SitemapOptionFields())
        settings.setValue(QString::fromLatin1(field.key), ValueOf(field, options));
    settings.endGroup();
}

}  // namespace

std::string ProjectOptionsPath(const std::string& workingDirectory)
{
    return platform::JoinPath(workingDirectory, kFileName);
}

int LoadProjectOptions(const std::string& workingDirectory, const std::string& project,
                       SitemapOptions& options, std::string* error)
{
    options = {};
    const std::string path = ProjectOptionsPath(workingDirectory);
    if (!platform::Exists(path))
        return 0;
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        Fail(error, path + ": cannot be read");
        return -1;
    }
    settings.beginGroup(GroupOf(project));
    for (const OptionField& field : SitemapOptionFields()) {
        const QVariant stored = settings.value(QString::fromLatin1(field.key));
        if (!stored.isValid())
            continue;
        std::vector<std::string> values;
        if (field.kind == OptionKind::List) {
            for (const QString& value : stored.toStringList())
                values.push_back(value.toStdString());
        } else {
            values.push_back(stored.toString().toStdString());
        }
        std::string message;
        if (field.set(options, values, message) != 0) {
            Fail(error, path + ": project '" + project + "': " + message);
            return -1;
        }
    }
    return 0;
}

int StoreProjectOptions(const std::string& workingDirectory, const std::string& project,
                        const SitemapOptions& options, std::string* error)
{
    return Rewrite(workingDirectory,
                   [&](QSettings& settings) { WriteGroup(settings, GroupOf(project), options); }, error);
}

int RenameProjectOptions(const std::string& workingDirectory, const std::string& from,
                         const std::string& to, std::string* error)
{
    if (from == to || !platform::Exists(ProjectOptionsPath(workingDirectory)))
        return 0;
    return Rewrite(workingDirectory, [&](QSettings& settings) {
        const QString source = GroupOf(from);
        const QString target = GroupOf(to);
        settings.remove(target);
        settings.beginGroup(source);
        const QStringList keys = settings.allKeys();
        QList<QVariant> values;
        for (const QString& key : keys)
            values << settings.value(key);
        settings.endGroup();
        settings.remove(source);
        settings.beginGroup(target);
        for (qsizetype i = 0; i < keys.size(); ++i)
            settings.setValue(keys[i], values[i]);
        settings.endGroup();
    }, error);
}

int RemoveProjectOptions(const std::string& workingDirectory, const std::string& project,
                         std::string* error)
{
    if (!platform::Exists(ProjectOptionsPath(workingDirectory)))
        return 0;
    return Rewrite(workingDirectory, [&](QSettings& settings) { settings.remove(GroupOf(project)); }, error);
}

}  // namespace larkspur
