// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "UiServices.h"

#include <QDesktopServices>
#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>

namespace larkspur {
namespace {

UiServices* g_installed = nullptr;

DesktopUiServices& Desktop()
{
    static DesktopUiServices services;
    return services;
}

}  // namespace

UiServices::~UiServices() = default;

QString UiServices::choosePath(const ChooserRequest&)
{
    return {};
}

UiServices& UiServices::current()
{
    return g_installed ? *g_installed : Desktop();
}

UiServices* UiServices::install(UiServices* services)
{
    UiServices* previous = g_installed;
    g_installed = services;
    return previous;
}

QMessageBox::StandardButton DesktopUiServices::showMessage(const MessageRequest& request)
{
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, request.parent);
    // Messages carry project names, paths and text from files: a "<b>" in
    // one is shown as it is written, not taken for markup.
    box.setTextFormat(Qt::PlainText);
    // Plain boxes answer Enter with their first button, as the user expects
    // of an OK box; for OK/Cancel that is OK.
    if (request.buttons.testFlag(QMessageBox::Ok))
        box.setDefaultButton(QMessageBox::Ok);
    for (const auto& [which, text] : request.buttonTexts) {
        if (QAbstractButton* button = box.button(which))
            button->setText(text);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

int DesktopUiServices::execDialog(QDialog& dialog)
{
    return dialog.exec();
}

bool DesktopUiServices::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

QString DesktopUiServices::choosePath(const ChooserRequest& request)
{
    if (request.kind == ChooserRequest::Kind::Folder)
        return QFileDialog::getExistingDirectory(request.parent, request.caption, request.start);
    return QFileDialog::getOpenFileName(request.parent, request.caption, request.start,
                                        request.filter);
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon,
                                        const QString& caption,
                                        QMessageBox::StandardButtons buttons,
                                        const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts)
{
    MessageRequest request;
    request.parent = parent;
    request.icon = icon;
    request.caption = caption;
    request.text = text;
    request.buttons = buttons;
    request.buttonTexts = buttonTexts;
    return UiServices::current().showMessage(request);
}

int ExecDialog(QDialog& dialog)
{
    return UiServices::current().execDialog(dialog);
}

bool OpenUrl(const QUrl& url)
{
    return UiServices::current().openUrl(url);
}

QString ChoosePath(const ChooserRequest& request)
{
    return UiServices::current().choosePath(request);
}

}  // namespace larkspur
