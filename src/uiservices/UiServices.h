// Everything the windows do that needs a person or the desktop goes through
// here: message boxes, modal dialog runs and "open" of files, folders and web
// addresses. The desktop implementation does the real thing; tests put their
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

class UiServices {
public:
    virtual ~UiServices();

    // The button that ended the box.
    virtual QMessageBox::StandardButton showMessage(const MessageRequest& request) = 0;
    // Runs the dialog modally; its result code.
    virtual int execDialog(QDialog& dialog) = 0;
    // Hands a file, folder or web address to the desktop.
    virtual bool openUrl(const QUrl& url) = 0;

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

}  // namespace larkspur
