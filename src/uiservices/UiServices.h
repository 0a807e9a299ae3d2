// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Everything the windows do that needs a person or the desktop goes through
// here: message boxes, modal dialog runs, the folder and file choosers, and
// "open" of files, folders and web addresses. The desktop implementation does the real thing; tests put their
// own in place to answer boxes and dialogs and to record what was opened.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>

class QDialog;
class QWidget;

namespace larkspur {

// The caption of every box that names no caption of its own.
inline constexpr const char* kApplicationTitle = "Larkspur";

struct MessageRequest {
    QWidget* parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    // Buttons whose standard caption would not say what they do here.
    QList<QPair<QMessageBox::StandardButton, QString>> buttonTexts;
};

struct ChooserRequest {
    enum class Kind { Folder, File };
    QWidget* parent = nullptr;
    Kind kind = Kind::Folder;
    QString caption;
    QString start;   // folder or file the chooser opens at; empty: its own choice
    QString filter;  // file choosers only, in QFileDialog's form
};

class UiServices {
public:
    virtual ~UiServices();

    // The button that ended the box.
    virtual QMessageBox::StandardButton showMessage(const MessageRequest& request) = 0;
    // Runs the dialog modally; its result code.
    virtual int execDialog(QDialog& dialog) = 0;
    // Hands a file, folder or web address to the desktop.
    virtual bool openUrl(const QUrl& url) = 0;
    // The path chosen in the platform's chooser; empty when cancelled. The
    // default cancels, so stand-ins that never browse need not care.
    virtual QString choosePath(const ChooserRequest& request);

    // The services in force; the desktop ones unless a test installed others.
    static UiServices& current();
    // Installs `services` (null: the desktop ones again); returns the previous.
    static UiServices* install(UiServices* services);
};

class DesktopUiServices : public UiServices {
public:
    QMessageBox::StandardButton showMessage(const MessageRequest& request) override;
    int execDialog(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override;
    QString choosePath(const ChooserRequest& request) override;
};

// Installs services for the lifetime of the object.
class ScopedUiServices {
public:
    explicit ScopedUiServices(UiServices& services) : m_previous(UiServices::install(&services)) {}
    ~ScopedUiServices() { UiServices::install(m_previous); }
    ScopedUiServices(const ScopedUiServices&) = delete;
    ScopedUiServices& operator=(const ScopedUiServices&) = delete;

private:
    UiServices* m_previous;
};

// Shorthands for the boxes the windows show.
QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text,
                                        QMessageBox::Icon icon = QMessageBox::NoIcon,
                                        const QString& caption = QLatin1String(kApplicationTitle),
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts = {});
int ExecDialog(QDialog& dialog);
bool OpenUrl(const QUrl& url);
QString ChoosePath(const ChooserRequest& request);

}  // namespace larkspur
