// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "MainDialog.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QTimer>

#include <utility>

#include "AboutBox.h"
#include "AddProjectDialog.h"
#include "CsvToXmlDialog.h"
#include "ApplicationIcon.h"
#include "DialogFont.h"
#include "MakerAddress.h"
#include "PathChooser.h"
#include "CheckReportDialog.h"
#include "OptionsDialog.h"
#include "OptionsSummaryLabel.h"
#include "ProjectFields.h"
#include "SaveOutcome.h"
#include "StatusLabel.h"
#include "UiServices.h"
#include "StatisticsList.h"
#include "SaveOnClose.h"
#include "WalkRunner.h"
#include "platform/paths.h"
#include "settings.h"
#include "text/text.h"
#include "ui_MainDialog.h"

namespace larkspur {

namespace {

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

MainDialog::MainDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::MainDialog>())
{
    m_ui->setupUi(this);
    ApplyDialogFont(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ApplicationIcon());

    for (const char* text : kPriorityTexts)
        m_ui->priorityCombo->addItem(QString::fromLatin1(text));
    for (const char* text : kFrequencyTexts)
        m_ui->frequencyCombo->addItem(QString::fromLatin1(text));

    // Without a window menu on every desktop, the About item lives in the
    // window's context menu and on F1.
    m_aboutAction = new QAction(tr("&About Larkspur..."), this);
    m_aboutAction->setObjectName(QStringLiteral("aboutAction"));
    m_aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_aboutAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_aboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_aboutAction, &QAction::triggered, this, &MainDialog::showAbout);

    m_ui->linkLabel->setText(QLatin1String(kMakerWebAddress));
    m_link.attach(m_ui->linkLabel, QLatin1String(kMakerWebAddress));

    m_statistics = new StatisticsList(m_ui->statisticsList);
    connect(m_statistics, &StatisticsList::markChanged, this, &MainDialog::extensionMarked);
    m_walker = new WalkRunner(this);

    m_ui->projectList->setSelectionMode(QAbstractItemView::SingleSelection);
    // A click below the last project keeps the selection, as a list box
    // does: a project is always shown while there is one.
    m_ui->projectList->viewport()->installEventFilter(this);
    m_ui->websiteUrlEdit->setPlaceholderText(QStringLiteral("https://www.example.com/"));
    // Under the URL: the project's options other than the defaults, a way
    // into the Options dialog.
    m_optionsSummary = new OptionsSummaryLabel(this);
    connect(m_optionsSummary, &QLabel::linkActivated, this, &MainDialog::editOptions);
    m_ui->outputLayout->removeWidget(m_ui->websiteUrlEdit);
    auto* urlBox = new QVBoxLayout;
    urlBox->addWidget(m_ui->websiteUrlEdit);
    urlBox->addWidget(m_optionsSummary);
    m_ui->outputLayout->addLayout(urlBox, 0, 1, 1, 5);
    setTabOrder(m_ui->websiteUrlEdit, m_optionsSummary);  // where it is read, not last
    for (QComboBox* combo : {m_ui->priorityCombo, m_ui->frequencyCombo})
        combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    restoreGeometry(ReadWindowGeometry());

    connect(m_ui->addButton, &QPushButton::clicked, this, &MainDialog::addProject);
    connect(m_ui->csvToXmlButton, &QPushButton::clicked, this, &MainDialog::convertCsvToXml);
    connect(m_ui->removeButton, &QPushButton::clicked, this, &MainDialog::removeProject);
    connect(m_ui->saveCsvButton, &QPushButton::clicked, this,
            [this] { saveSitemap(SitemapFormat::Csv); });
    connect(m_ui->saveUrlButton, &QPushButton::clicked, this,
            [this] { saveSitemap(SitemapFormat::Text); });
    connect(m_ui->saveXmlButton, &QPushButton::clicked, this,
            [this] { saveSitemap(SitemapFormat::Xml); });
    connect(m_ui->browseButton, &QToolButton::clicked, this, &MainDialog::browseLocalPath);
    connect(m_ui->walkButton, &QPushButton::clicked, this, &MainDialog::walkPath);
    // Beside the Save buttons whose output it shapes.
    m_optionsButton = new QPushButton(tr("&Options..."), this);
    m_optionsButton->setObjectName(QStringLiteral("optionsButton"));
    m_ui->saveButtonsLayout->insertWidget(m_ui->saveButtonsLayout->indexOf(m_ui->saveCsvButton) + 1,
                                          m_optionsButton);
    setTabOrder(m_ui->saveCsvButton, m_optionsButton);
    connect(m_optionsButton, &QPushButton::clicked, this, &MainDialog::editOptions);
    m_checkButton = new QPushButton(tr("C&heck"), this);
    m_checkButton->setObjectName(QStringLiteral("checkButton"));
    m_ui->saveButtonsLayout->insertWidget(m_ui->saveButtonsLayout->indexOf(m_optionsButton) + 1, m_checkButton);
    setTabOrder(m_optionsButton, m_checkButton);
    connect(m_checkButton, &QPushButton::clicked, this, &MainDialog::checkSitemap);
    connect(m_ui->projectList, &QListWidget::itemSelectionChanged, this,
            &MainDialog::projectSelectionChanged);
    m_fields = new ProjectFields(*m_ui, m_store, this);

    // Closing waits for another program that holds saving.dat; the status
    // line says so meanwhile.
    m_store.setWaitingNotice([this](const std::string& text) {
        m_ui->statusLabel->setText(FromStd(text) + QStringLiteral("..."));
        m_ui->statusLabel->repaint();
    });
    std::string error;
    if (m_store.openStored(error) == 0)
        loadProjects();
    else
        showProject(-1);
}

MainDialog::~MainDialog() = default;

// ----- the project table

int MainDialog::selectedRow() const
{
    return m_fields->selectedRow();
}

const ProjectRecord* MainDialog::selectedRecord() const
{
    return m_fields->selectedRecord();
}

void MainDialog::loadProjects()
{
    std::string error;
    QStringList problems;
    if (m_store.load(error) != 0)
        problems.append(tr("Failed to load application data!\n%1\nThe file will be kept as %2.")
                            .arg(FromStd(error), FromStd(platform::FileName(m_store.keptAs()))));
    // Options that cannot be read stay at their defaults here and are not
    // written back unless they are edited.
    for (const std::string& note : m_store.notes())
        problems.append(FromStd(note));
    m_loadFailure = problems.join(QLatin1Char('\n'));

    QSignalBlocker blocker(m_ui->projectList);
    m_ui->projectList->clear();
    for (int row = 0; row < m_store.count(); ++row)
        m_ui->projectList->addItem(FromStd(m_store.project(row).name));

    if (m_store.count() > 0) {
        m_ui->projectList->setCurrentRow(0);
        showProject(0);
    } else if (!m_store.fileFound()) {
        showProject(-1);
    } else {
        // A file without a single named project leaves the boxes as they
        // are: empty, and neither combo showing a choice.
        m_ui->priorityCombo->setCurrentIndex(-1);
        m_ui->frequencyCombo->setCurrentIndex(-1);
        enableProjectControls(false);
        m_fields->updateStatusFolder();
    }
}

void MainDialog::addProject()
{
    if (m_store.count() >= kMaxProjects) {
        ShowMessage(this, tr("32 projects in Maximum"), QMessageBox::NoIcon, tr("Add projects"));
        return;
    }
    AddProjectDialog dialog(this);
    if (ExecDialog(dialog) != QDialog::Accepted || dialog.name().isEmpty())
        return;
    std::string error;
    const int row = m_store.add(dialog.name().toStdString(), error);
    if (row < 0) {
        ShowMessage(this, FromStd(error), QMessageBox::NoIcon, tr("Add projects"));
        return;
    }
    {
        QSignalBlocker blocker(m_ui->projectList);
        m_ui->projectList->addItem(dialog.name());
        m_ui->projectList->setCurrentRow(row);
    }
    showProject(row);
}

void MainDialog::removeProject()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_store.count())
        return;
    const QString name = FromStd(m_store.project(row).name);
    if (ShowMessage(this, tr("Remove project %1? Its sitemap files stay on disk.").arg(name),
                    QMessageBox::Question, tr("Remove project"),
                    QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;

    m_store.remove(row);
    {
        QSignalBlocker blocker(m_ui->projectList);
        delete m_ui->projectList->takeItem(row);
        if (m_ui->projectList->count() > 0)
            m_ui->projectList->setCurrentRow(0);
    }
    showProject(m_ui->projectList->count() > 0 ? 0 : -1);
}

void MainDialog::projectSelectionChanged()
{
    // A row left with its name box emptied shows the name it kept again.
    for (int row = 0; row < m_store.count() && row < m_ui->projectList->count(); ++row) {
        const QString name = FromStd(m_store.project(row).name);
        if (m_ui->projectList->item(row)->text() != name)
            m_ui->projectList->item(row)->setText(name);
    }
    showProject(selectedRow());
}

void MainDialog::showProject(int row)
{
    // What the line says of the last save belongs to the project shown then.
    m_ui->statusLabel->clearSaved();
    showOptionsSummary();
    enableProjectControls(row >= 0 && row < m_store.count());
    m_fields->updateStatusFolder();
    if (row >= m_store.count())
        return;
    if (row < 0) {
        m_ui->nameEdit->clear();
        m_ui->localPathEdit->clear();
        m_ui->websiteUrlEdit->clear();
        m_ui->statisticsList->clear();
        m_ui->priorityCombo->setCurrentIndex(kDefaultPriority);
        m_ui->frequencyCombo->setCurrentIndex(kDefaultFrequency);
        return;
    }
    // Filling the boxes raises their change handlers, which copy the same
    // values back; so the record is read field by field, never cached.
    const ProjectRecord& record = m_store.project(row);
    m_ui->nameEdit->setText(FromStd(record.name));
    m_ui->localPathEdit->setText(FromStd(record.localPath));
    if (record.walked())
        fillStatistics(record, m_store.options(row));
    else
        m_ui->statisticsList->clear();
    m_ui->websiteUrlEdit->setText(FromStd(record.websiteUrl));
    m_ui->priorityCombo->setCurrentIndex(record.priorityIndex);
    m_ui->frequencyCombo->setCurrentIndex(record.frequencyIndex);
}

void MainDialog::enableProjectControls(bool enable)
{
    // Without a project, typing would go nowhere and be wiped by the next
    // Add, and the commands would do nothing without a word.
    const std::initializer_list<QWidget*> controls{
        m_ui->nameEdit,       m_ui->localPathEdit,  m_ui->browseButton,   m_ui->walkButton,
        m_ui->statisticsList, m_ui->websiteUrlEdit, m_ui->priorityCombo,  m_ui->frequencyCombo,
        m_ui->saveXmlButton,  m_ui->saveUrlButton,  m_ui->saveCsvButton,  m_optionsButton,
        m_checkButton,        m_ui->removeButton};
    for (QWidget* control : controls)
        control->setEnabled(enable);
}

void MainDialog::showLoadFailure()
{
    // Only a window on the screen gives the box a place to centre on.
    if (m_loadFailure.isEmpty() || !isVisible())
        return;
    const QString text = std::exchange(m_loadFailure, QString());
    ShowMessage(this, text, QMessageBox::Warning);
}

// ----- walking

void MainDialog::browseLocalPath()
{
    ChooseInto(m_ui->localPathEdit, ChooserRequest::Kind::Folder, tr("Local filepath"));
}

void MainDialog::walkPath()
{
    if (m_walker->running())
        return;
    const int row = selectedRow();
    const ProjectRecord* record = selectedRecord();
    if (!record)
        return;
    const QString text = m_ui->localPathEdit->text();
    std::string error;
    if (!Unchanged(text, record->localPath) && m_store.setFolder(row, text.toStdString(), error) != 0) {
        ShowMessage(this, FromStd(error));
        m_ui->localPathEdit->setFocus();
        return;
    }
    const std::string path = record->localPath;
    if (!platform::IsDirectory(path)) {
        ShowMessage(this, tr("Local filepath is invalid!"));
        m_ui->localPathEdit->setFocus();
        return;
    }

    WalkJob job;
    job.root = path;
    const bool finished = m_walker->run(job);

    if (finished) {
        // The table cannot change during the walk (input goes nowhere else),
        // but the selection is read again rather than trusted.
        const ProjectRecord& target = m_store.project(row);
        if (job.result == 0) {
            m_store.setScan(row, job.scan);
        } else {
            m_store.releaseScan(row);
            ShowMessage(this,
                        QStringLiteral("%1\n\n%2").arg(FromStd(job.error.path),
                                                       FromStd(job.error.message)),
                        QMessageBox::Information, tr("Error"));
        }
        if (selectedRow() == row)
            fillStatistics(target, m_store.options(row));
        if (job.result == 0 && target.scan.tree.skippedLinks > 0)
            ShowMessage(this, tr("%1 link(s) not followed: they belong to another user.")
                                  .arg(target.scan.tree.skippedLinks));
    }

    if (m_closeAfterWalk) {
        m_closeAfterWalk = false;
        reject();
    }
}

void MainDialog::fillStatistics(const ProjectRecord& record, const SitemapOptions& options)
{
    std::vector<StatisticsList::Line> lines;
    for (const StatLine& line : StatisticsLines(record.scan, options.extensions))
        lines.push_back({FromStd(line.text), line.checked, FromStd(line.extension)});
    m_statistics->fill(lines);
}

void MainDialog::extensionMarked(const QString& extension, bool checked)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    // As the Options dialog would set it: the extensions that become entries.
    SitemapOptions options = m_store.options(row);
    const std::string wanted = extension.toStdString();
    std::erase_if(options.extensions, [&](const std::string& e) { return EqualsIgnoringCase(e, wanted); });
    if (checked)
        options.extensions.push_back(wanted);
    m_store.setOptions(row, options);
    showOptionsSummary();
}

void MainDialog::showOptionsSummary()
{
    const int row = selectedRow();
    m_optionsSummary->showOptions(row >= 0 ? &m_store.options(row) : nullptr);
}

// ----- output

void MainDialog::editOptions()
{
    const ProjectRecord* record = selectedRecord();
    if (!record)
        return;
    const int row = selectedRow();
    OptionsDialog dialog(FromStd(record->name), m_store.options(row), this);
    // OK replaces stored values that could not be read, even unchanged.
    if (ExecDialog(dialog) != QDialog::Accepted
        || (dialog.options() == m_store.options(row) && m_store.optionProblems(row).empty()))
        return;
    m_store.setOptions(row, dialog.options());
    showOptionsSummary();
    if (record->walked())
        fillStatistics(*record, m_store.options(row));  // the marks follow the extensions
}

// The selected project when its sitemap can be written or checked; null,
// having said why, when it cannot.
const ProjectRecord* MainDialog::readyRecord()
{
    const ProjectRecord* record = selectedRecord();
    if (!record)
        return nullptr;
    if (!record->walked()) {
        ShowMessage(this, tr("Walk the path first!"));
        return nullptr;
    }
    if (const QString problem = m_fields->parameterProblem(); !problem.isEmpty()) {
        ShowMessage(this, tr("Invalid parameter(s)!") + QLatin1Char('\n') + problem);
        return nullptr;
    }
    // Written with the defaults instead, a sitemap could list what the
    // project's stored options leave out.
    if (const auto& problems = m_store.optionProblems(selectedRow()); !problems.empty()) {
        ShowMessage(this, FromStd(problems.front().message) + QLatin1Char('\n')
                              + tr("Press OK in Options... to store the values it shows instead."),
                    QMessageBox::Warning);
        return nullptr;
    }
    return record;
}

void MainDialog::checkSitemap()
{
    const ProjectRecord* record = readyRecord();
    if (!record)
        return;
    CheckReport report;
    std::string error;
    if (CheckSitemap(record->scan.tree, m_store.parameters(selectedRow()), {}, report, error) != 0) {
        ShowMessage(this, FromStd(error), QMessageBox::Warning);
        return;
    }
    CheckReportDialog dialog(FromStd(record->name), report, this);
    ExecDialog(dialog);
}

void MainDialog::saveSitemap(SitemapFormat format)
{
    const ProjectRecord* record = readyRecord();
    if (!record)
        return;
    std::string error;
    SaveReport report;
    const int saved = m_store.saveSitemap(selectedRow(), format, &error, &report);
    const bool gzip = m_store.options(selectedRow()).gzip && format != SitemapFormat::Csv;
    ShowSaveOutcome(this, m_ui->statusLabel, *record, format, gzip, saved, error, report);
}

void MainDialog::convertCsvToXml()
{
    CsvToXmlDialog dialog(this);
    // The usual input is the CSV just saved for the selected project.
    if (const ProjectRecord* record = selectedRecord(); record && !record->localPath.empty()) {
        dialog.setProject(record->localPath, record->websiteUrl, m_store.options(selectedRow()));
        const QString csv = FromStd(platform::JoinPath(
            record->localPath, SitemapFileName(SitemapFormat::Csv)));
        if (QFileInfo(csv).isFile())
            dialog.setPath(csv);
    }
    if (ExecDialog(dialog) == QDialog::Accepted)
        ShowMessage(this, dialog.report());
}

void MainDialog::showAbout()
{
    AboutBox about(this);
    ExecDialog(about);
}

// ----- events

bool MainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->projectList->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (!m_ui->projectList->indexAt(at).isValid())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_loadFailure.isEmpty())
        QTimer::singleShot(0, this, &MainDialog::showLoadFailure);
}

void MainDialog::reject()
{
    if (m_walker->running()) {
        // Close once the walk has stopped; the table is not to be saved
        // while a thread may still be filling a scan.
        m_closeAfterWalk = true;
        m_walker->cancel();
        return;
    }
    if (!SaveBeforeClosing(this, m_store, m_ui->statusLabel))
        return;
    WriteWindowGeometry(saveGeometry());
    QDialog::reject();
}

}  // namespace larkspur
