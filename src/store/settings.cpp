// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "settings.h"

#include <cstdlib>

#include <QSettings>
#include <QString>

namespace larkspur {
namespace {

constexpr const char* kKey = "working directory";
constexpr const char* kGeometryKey = "window geometry";

}  // namespace

int ReadWorkingDirectory(std::string& path)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                       QStringLiteral("Larkspur"));
    const QVariant value = settings.value(QLatin1String(kKey));
    if (!value.isValid())
        return -1;
    const QString text = value.toString();
    if (text.isEmpty())
        return -1;
    path = text.toStdString();
    return 0;
}

int WriteWorkingDirectory(const std::string& path)
{
    if (path.empty())
        return -1;
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                       QStringLiteral("Larkspur"));
    settings.setValue(QLatin1String(kKey), QString::fromStdString(path));
    settings.sync();
    return settings.status() == QSettings::NoError ? 0 : -1;
}

std::string SettingsFileName()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                             QStringLiteral("Larkspur"));
    return settings.fileName().toStdString();
}

WorkingDirectoryOrigin FindWorkingDirectory(const std::string* given, std::string& path)
{
    if (given) {
        path = *given;
        return WorkingDirectoryOrigin::Given;
    }
    if (const char* variable = std::getenv(kWorkingDirectoryVariable); variable && *variable) {
        path = variable;
        return WorkingDirectoryOrigin::Environment;
    }
    return ReadWorkingDirectory(path) == 0 ? WorkingDirectoryOrigin::Stored : WorkingDirectoryOrigin::None;
}

QByteArray ReadWindowGeometry()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                       QStringLiteral("Larkspur"));
    return settings.value(QLatin1String(kGeometryKey)).toByteArray();
}

void WriteWindowGeometry(const QByteArray& geometry)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                       QStringLiteral("Larkspur"));
    settings.setValue(QLatin1String(kGeometryKey), geometry);
}

}  // namespace larkspur
