// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What the window tests share: a stand-in for the person and the desktop,
// an isolated settings store, and temporary site folders.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

#include "ReadableLook.h"
#include "UiServices.h"

namespace larkspur::test {

// Answers boxes and runs dialogs as a test tells it, and records both.
class FakeUi : public UiServices {
public:
    struct Message {
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QList<QPair<QMessageBox::StandardButton, QString>> buttonTexts;
        bool parentShown = false;  // a box centres on its parent only then
    };
    // Gets the dialog shown, as a modal run would; whatever it leaves as the
    // dialog's result is what the run returns. A dialog without a handler is
    // cancelled.
    using DialogHandler = std::function<void(QDialog&)>;

    QList<Message> messages;
    QList<QMessageBox::StandardButton> answers;  // used in order; OK when none is left
    QList<DialogHandler> handlers;               // used in order
    QStringList dialogsRun;                      // class names, in order
    QList<QUrl> opened;
    QList<ChooserRequest> choosers;
    QStringList chosen;  // used in order; a cancelled chooser when none is left

    QMessageBox::StandardButton showMessage(const MessageRequest& request) override;
    int execDialog(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override;
    QString choosePath(const ChooserRequest& request) override;

    QStringList texts() const;
    void clear();
};

// Installs a FakeUi for the lifetime of the object.
class UiScope {
public:
    UiScope() : m_scope(ui) {}
    FakeUi ui;

private:
    ScopedUiServices m_scope;
};

// Shows the dialog and waits until it is the active window, so focus moves
// as it does for a person.
bool ShowActive(QWidget& window);

// Helpers for the settings store the program reads.
void ClearSettings();
void StoreWorkingDirectory(const QString& path);
QString StoredWorkingDirectory();

// A temporary folder to build sites and working directories in.
class TempTree {
public:
    TempTree();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    // Makes the file and its folders; a null time leaves the time of writing.
    QString file(const QString& relative, const QByteArray& content = "x",
                 const QDateTime& modified = {});
    QString folder(const QString& relative);
    QByteArray read(const QString& relative) const;

private:
    QTemporaryDir m_dir;
};

template <typename T>
T* Child(QObject& parent, const char* name)
{
    T* child = parent.findChild<T*>(QLatin1String(name));
    if (!child)
        qWarning("no child named %s", name);
    return child;
}

// Runs before QApplication: settings and standard paths go into a folder of
// their own, so no test ever reads or writes the real ones.
void IsolateEnvironment();

}  // namespace larkspur::test

#define LARKSPUR_GUI_TEST_MAIN(TestClass)                  \
    int main(int argc, char* argv[])                       \
    {                                                      \
        larkspur::test::IsolateEnvironment();              \
        QApplication app(argc, argv);                      \
        app.setAttribute(Qt::AA_Use96Dpi, true);           \
        larkspur::ApplyReadableLook(app);                  \
        TestClass test;                                    \
        QTEST_SET_MAIN_SOURCE_PATH                         \
        return QTest::qExec(&test, argc, argv);            \
    }
