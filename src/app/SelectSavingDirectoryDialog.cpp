// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "SelectSavingDirectoryDialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "DialogFont.h"
#include "FileDropFilter.h"
#include "PathChooser.h"
#include "UiServices.h"
#include "platform/paths.h"
#include "projects/projects.h"
#include "ui_SelectSavingDirectoryDialog.h"

namespace larkspur {

SelectSavingDirectoryDialog::SelectSavingDirectoryDialog(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SelectSavingDirectoryDialog>())
{
    m_ui->setupUi(this);
    ApplyDialogFont(this);
    m_edit = m_ui->pathEdit;
    new FileDropFilter(this, m_edit);
    connect(m_ui->browseButton, &QToolButton::clicked, this, [this] {
        ChooseInto(m_edit, ChooserRequest::Kind::Folder, tr("Saving directory"));
    });
    connect(m_ui->okButton, &QPushButton::clicked, this, &SelectSavingDirectoryDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this,
            &SelectSavingDirectoryDialog::reject);
}

SelectSavingDirectoryDialog::~SelectSavingDirectoryDialog() = default;

void SelectSavingDirectoryDialog::setPath(const QString& path)
{
    m_edit->setText(path);
}

void SelectSavingDirectoryDialog::setMissing(const QString& path)
{
    auto* label = new QLabel(tr("The saving directory %1 is missing (on a drive that is not plugged in?). "
                                "Plug it in and press OK, or choose another.")
                                 .arg(path),
                             this);
    label->setObjectName(QStringLiteral("missingLabel"));
    label->setWordWrap(true);
    static_cast<QBoxLayout*>(layout())->insertWidget(0, label);
    setPath(path);
}

void SelectSavingDirectoryDialog::accept()
{
    const std::string path = FitField(StoredFolder(m_edit->text().toStdString()));
    m_path = QString::fromStdString(path);
    if (m_path.isEmpty()) {
        ShowMessage(this, tr("Saving directory required"));
        m_edit->setFocus();
        return;
    }
    if (!platform::IsDirectory(path)) {
        ShowMessage(this, tr("An existing directory required"));
        return;
    }
    QDialog::accept();
}

}  // namespace larkspur
