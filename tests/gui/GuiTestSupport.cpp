// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "GuiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QWidget>

#include <cstdlib>

namespace larkspur::test {

QMessageBox::StandardButton FakeUi::showMessage(const MessageRequest& request)
{
    messages.append({request.caption, request.text, request.icon, request.buttons,
                     request.buttonTexts, request.parent && request.parent->isVisible()});
    return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
}

int FakeUi::execDialog(QDialog& dialog)
{
    dialogsRun.append(QString::fromLatin1(dialog.metaObject()->className()));
    if (handlers.isEmpty()) {
        dialog.reject();
        return dialog.result();
    }
    DialogHandler handler = handlers.takeFirst();
    // A modal run shows the dialog first; some of what dialogs do on close
    // depends on it.
    dialog.show();
    handler(dialog);
    if (dialog.isVisible())
        dialog.hide();
    return dialog.result();
}

bool FakeUi::openUrl(const QUrl& url)
{
    opened.append(url);
    return true;
}

QString FakeUi::choosePath(const ChooserRequest& request)
{
    choosers.append(request);
    return chosen.isEmpty() ? QString() : chosen.takeFirst();
}

QStringList FakeUi::texts() const
{
    QStringList list;
    for (const Message& message : messages)
        list.append(message.text);
    return list;
}

void FakeUi::clear()
{
    messages.clear();
    answers.clear();
    handlers.clear();
    dialogsRun.clear();
    opened.clear();
    choosers.clear();
    chosen.clear();
}

bool ShowActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

void ClearSettings()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                       QStringLiteral("Larkspur"));
    settings.clear();
    settings.sync();
}

void StoreWorkingDirectory(const QString& path)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                       QStringLiteral("Larkspur"));
    settings.setValue(QStringLiteral("working directory"), path);
    settings.sync();
}

QString StoredWorkingDirectory()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brindle"),
                       QStringLiteral("Larkspur"));
    return settings.value(QStringLiteral("working directory")).toString();
}

TempTree::TempTree() = default;

QString TempTree::file(const QString& relative, const QByteArray& content,
                       const QDateTime& modified)
{
    const QString full = m_dir.filePath(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qWarning("cannot write %s", qPrintable(full));
    file.write(content);
    // Written data still in the buffer would stamp the file again on close.
    file.flush();
    if (modified.isValid())
        file.setFileTime(modified, QFileDevice::FileModificationTime);
    file.close();
    return full;
}

QString TempTree::folder(const QString& relative)
{
    const QString full = m_dir.filePath(relative);
    QDir().mkpath(full);
    return full;
}

QByteArray TempTree::read(const QString& relative) const
{
    QFile file(m_dir.filePath(relative));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void IsolateEnvironment()
{
    // ctest sets these as well; a test started by hand gets the same
    // protection. The folder lives as long as the process.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/larkspur-gui-test-XXXXXX"));
    const QByteArray root = home.path().toLocal8Bit();
    const QByteArray config = root + "/config";
    QDir().mkpath(QString::fromLocal8Bit(config));
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", config);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
}

}  // namespace larkspur::test
