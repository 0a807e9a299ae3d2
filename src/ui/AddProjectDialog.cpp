// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "AddProjectDialog.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "DialogFont.h"
#include "UiServices.h"
#include "projects/projects.h"
#include "ui_AddProjectDialog.h"

namespace larkspur {

bool FitProjectName(QLineEdit* box, QString& text)
{
    const std::string name = text.toStdString();
    if (name.size() < kTextFieldSize)
        return false;
    text = QString::fromStdString(FitField(name));
    {
        QSignalBlocker blocker(box);
        box->setText(text);
    }
    ShowMessage(box->window(), QCoreApplication::translate("AddProjectDialog",
                                                           "A project name holds at most 259 bytes; the rest was cut."));
    return true;
}

AddProjectDialog::AddProjectDialog(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AddProjectDialog>())
{
    m_ui->setupUi(this);
    ApplyDialogFont(this);
    connect(m_ui->okButton, &QPushButton::clicked, this, &AddProjectDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &AddProjectDialog::reject);
    connect(m_ui->nameEdit, &QLineEdit::textChanged, this, [this](QString text) { FitProjectName(m_ui->nameEdit, text); });
}

AddProjectDialog::~AddProjectDialog() = default;

void AddProjectDialog::accept()
{
    m_name = m_ui->nameEdit->text();
    QDialog::accept();
}

}  // namespace larkspur
