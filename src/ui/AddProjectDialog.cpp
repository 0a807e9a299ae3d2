#include "AddProjectDialog.h"

#include <QPushButton>

#include "DialogFont.h"
#include "ui_AddProjectDialog.h"

namespace larkspur {

AddProjectDialog::AddProjectDialog(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AddProjectDialog>())
{
    m_ui->setupUi(this);
    ApplyDialogFont(this);
    connect(m_ui->okButton, &QPushButton::clicked, this, &AddProjectDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &AddProjectDialog::reject);
}

AddProjectDialog::~AddProjectDialog() = default;

void AddProjectDialog::accept()
{
    m_name = m_ui->nameEdit->text();
    QDialog::accept();
}

}  // namespace larkspur
