// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "ProjectFields.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>

#include "AddProjectDialog.h"
#include "SaveOutcome.h"
#include "StatusLabel.h"
#include "UiServices.h"
#include "sitemap/url.h"
#include "ui_MainDialog.h"

namespace larkspur {

bool Unchanged(const QString& text, const std::string& stored)
{
    return text == QString::fromStdString(stored);
}

ProjectFields::ProjectFields(Ui::MainDialog& ui, ProjectStore& store, QObject* parent)
    : QObject(parent), m_ui(ui), m_store(store)
{
    m_ui.nameEdit->installEventFilter(this);
    connect(m_ui.nameEdit, &QLineEdit::textChanged, this, &ProjectFields::nameChanged);
    connect(m_ui.frequencyCombo, &QComboBox::currentIndexChanged, this, &ProjectFields::frequencyChanged);
    connect(m_ui.priorityCombo, &QComboBox::currentIndexChanged, this, &ProjectFields::priorityChanged);
    connect(m_ui.localPathEdit, &QLineEdit::textChanged, this, &ProjectFields::localPathChanged);
    connect(m_ui.websiteUrlEdit, &QLineEdit::textChanged, this, &ProjectFields::websiteUrlChanged);
}

int ProjectFields::selectedRow() const
{
    const QModelIndexList rows = m_ui.projectList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

const ProjectRecord* ProjectFields::selectedRecord() const
{
    const int row = selectedRow();
    return row >= 0 && row < m_store.count() ? &m_store.project(row) : nullptr;
}

void ProjectFields::nameChanged(const QString& text)
{
    const int row = selectedRow();
    const ProjectRecord* record = selectedRecord();
    if (!record)
        return;
    // An emptied box is a name being retyped, not a removal: the project
    // keeps its last name until a new one is typed.
    if (Unchanged(text, record->name)) {
        m_nameProblem.clear();
    } else if (!text.isEmpty()) {
        QString name = text;
        FitProjectName(m_ui.nameEdit, name);
        std::string error;
        m_nameProblem =
            m_store.rename(row, name.toStdString(), error) == 0 ? QString() : QString::fromStdString(error);
    }
    if (QListWidgetItem* item = m_ui.projectList->item(row))
        item->setText(text.isEmpty() ? QString() : QString::fromStdString(record->name));
}

void ProjectFields::nameFocusLost()
{
    if (m_ui.projectList->count() == 0)
        return;
    // A name another project has (or one with a tab) is not taken: the
    // options are kept by name, and the list by line.
    const QString problem = m_ui.nameEdit->text().isEmpty() ? tr("Project name can't be NULL!") : m_nameProblem;
    if (problem.isEmpty())
        return;
    ShowMessage(m_ui.nameEdit->window(), problem);
    m_ui.nameEdit->setFocus();
}

void ProjectFields::localPathChanged(const QString& text)
{
    const ProjectRecord* record = selectedRecord();
    if (!record || Unchanged(text, record->localPath))
        return;
    m_ui.statusLabel->clearSaved();
    // A folder that breaks a rule is not taken; walking says why.
    std::string error;
    if (m_store.setFolder(selectedRow(), text.toStdString(), error) == 0 && !record->walked())
        m_ui.statisticsList->clear();
    updateStatusFolder();
}

void ProjectFields::websiteUrlChanged(const QString& text)
{
    const ProjectRecord* record = selectedRecord();
    std::string error;
    if (record && !Unchanged(text, record->websiteUrl))
        m_store.setUrl(selectedRow(), text.toStdString(), error);
}

void ProjectFields::priorityChanged(int index)
{
    if (selectedRecord())
        m_store.setPriority(selectedRow(), index);
}

void ProjectFields::frequencyChanged(int index)
{
    if (selectedRecord())
        m_store.setFrequency(selectedRow(), index);
}

QString ProjectFields::parameterProblem() const
{
    const QString url = m_ui.websiteUrlEdit->text();
    if (url.isEmpty())
        return tr("The website URL is empty.");
    if (m_ui.frequencyCombo->currentIndex() < 0 || m_ui.priorityCombo->currentIndex() < 0)
        return tr("Choose an initial priority and frequency.");
    // A URL the store did not take: the sitemap would have the one it holds.
    if (const ProjectRecord* record = selectedRecord(); record && !Unchanged(url, record->websiteUrl)) {
        if (const std::string refused = ProjectStore::fieldProblem(url.toStdString()); !refused.empty())
            return Sentence(refused);
    }
    std::string base, problem;
    if (NormalizeBaseUrl(url.toStdString(), base, &problem) == 0)
        return {};
    if (!url.trimmed().startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !url.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return tr("The website URL must start with http:// or https://");
    return problem.empty() ? tr("The website URL is not a usable address.") : Sentence(problem);
}

void ProjectFields::updateStatusFolder()
{
    // The status line is a way into the site folder only while there is a
    // project whose folder it would open.
    const ProjectRecord* record = selectedRecord();
    m_ui.statusLabel->setFolder(record ? QString::fromStdString(record->localPath) : QString());
}

bool ProjectFields::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui.nameEdit && event->type() == QEvent::FocusOut) {
        // Focus that leaves with the whole window (another application, a
        // box of our own) is not the user leaving the box.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            nameFocusLost();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace larkspur
