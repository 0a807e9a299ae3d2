// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "MainDialog.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QTimer>
#include <QUrl>

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
#include "StatusLabel.h"
#include "UiServices.h"
#include "StatisticsList.h"
#include "SaveOnClose.h"
#include "WalkRunner.h"
#include "platform.h"
#include "settings.h"
#include "sitemap/notes.h"
#include "sitemap/url.h"
#include "ui_MainDialog.h"

namespace larkspur {

namespace {

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// True when the box shows `stored` as it was put there. Stored texts need not
// be UTF-8 (files of older versions hold other code pages), and the box can
// only show such bytes replaced: a text the user did not change is never
// written back, so the bytes survive a session that merely showed them.
bool Unchanged(const QString& text, const std::string& stored)
{
    return text == FromStd(stored);
}

// A note as the window shows it: a sentence that starts in capitals and
// ends with a stop.
QString Sentence(const std::string& note)
{
    QString text = FromStd(note);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text + QLatin1Char('.');
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
    m_optionsSummary = new QLabel(this);
    m_optionsSummary->setObjectName(QStringLiteral("optionsSummary"));
    m_optionsSummary->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(m_optionsSummary, &QLabel::linkActivated, this, &MainDialog::editOptions);
    QPalette summaryColors = m_optionsSummary->palette();
    summaryColors.setColor(QPalette::Link, HyperlinkControl::readableColor(summaryColors, summaryColors.color(QPalette::Window)));
    m_optionsSummary->setPalette(summaryColors);
    m_ui->outputLayout->removeWidget(m_ui->websiteUrlEdit);
    auto* urlBox = new QVBoxLayout;
    urlBox->addWidget(m_ui->websiteUrlEdit);
    urlBox->addWidget(m_optionsSummary);
    m_ui->outputLayout->addLayout(urlBox, 0, 1, 1, 5);
    // A usual path shows whole; the tooltip holds one of any length.
    m_ui->localPathEdit->setMinimumWidth(m_ui->localPathEdit->fontMetrics().averageCharWidth() * 40);
    for (QComboBox* combo : {m_ui->priorityCombo, m_ui->frequencyCombo})
        combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    restoreGeometry(ReadWindowGeometry());
    m_ui->nameEdit->installEventFilter(this);

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
    connect(m_ui->nameEdit, &QLineEdit::textChanged, this, &MainDialog::nameChanged);
    connect(m_ui->frequencyCombo, &QComboBox::currentIndexChanged, this,
            &MainDialog::frequencyChanged);
    connect(m_ui->priorityCombo, &QComboBox::currentIndexChanged, this,
            &MainDialog::priorityChanged);
    connect(m_ui->localPathEdit, &QLineEdit::textChanged, this, &MainDialog::localPathChanged);
    connect(m_ui->websiteUrlEdit, &QLineEdit::textChanged, this, &MainDialog::websiteUrlChanged);

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
    const QModelIndexList rows = m_ui->projectList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

const ProjectRecord* MainDialog::selectedRecord() const
{
    const int row = selectedRow();
    return row >= 0 && row < m_store.count() ? &m_store.project(row) : nullptr;
}

void MainDialog::loadProjects()
{
    std::string error;
    QStringList problems;
    if (m_store.load(error) != 0)
        problems.append(tr("Failed to load application data!\n%1\nThe file will be kept as %2.")
                            .arg(FromStd(error), QLatin1String("saving.dat.bak")));
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
        updateStatusCursor();
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
    updateStatusCursor();
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
    m_ui->localPathEdit->setToolTip(m_ui->localPathEdit->text());
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

// ----- write-back of the boxes into the selected record

void MainDialog::nameChanged(const QString& text)
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
        FitProjectName(m_ui->nameEdit, name);
        std::string error;
        m_nameProblem = m_store.rename(row, name.toStdString(), error) == 0 ? QString() : FromStd(error);
    }
    if (QListWidgetItem* item = m_ui->projectList->item(row))
        item->setText(text.isEmpty() ? QString() : FromStd(record->name));
}

void MainDialog::nameFocusLost()
{
    if (m_ui->projectList->count() == 0)
        return;
    // A name another project has (or one with a tab) is not taken: the
    // options are kept by name, and the list by line.
    const QString problem = m_ui->nameEdit->text().isEmpty() ? tr("Project name can't be NULL!") : m_nameProblem;
    if (problem.isEmpty())
        return;
    ShowMessage(this, problem);
    m_ui->nameEdit->setFocus();
}

void MainDialog::localPathChanged(const QString& text)
{
    const ProjectRecord* record = selectedRecord();
    if (!record || Unchanged(text, record->localPath))
        return;
    m_ui->localPathEdit->setToolTip(text);
    m_ui->statusLabel->clearSaved();
    // A folder that breaks a rule is not taken; walking says why.
    std::string error;
    if (m_store.setFolder(selectedRow(), text.toStdString(), error) == 0 && !record->walked())
        m_ui->statisticsList->clear();
    updateStatusCursor();
}

void MainDialog::websiteUrlChanged(const QString& text)
{
    const ProjectRecord* record = selectedRecord();
    std::string error;
    if (record && !Unchanged(text, record->websiteUrl))
        m_store.setUrl(selectedRow(), text.toStdString(), error);
}

void MainDialog::priorityChanged(int index)
{
    if (selectedRecord())
        m_store.setPriority(selectedRow(), index);
}

void MainDialog::frequencyChanged(int index)
{
    if (selectedRecord())
        m_store.setFrequency(selectedRow(), index);
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
    const QString summary = row >= 0 ? OptionsDialog::summary(m_store.options(row)) : QString();
    m_optionsSummary->setText(QStringLiteral("<a href=\"options\">%1</a>").arg(summary.toHtmlEscaped()));
    m_optionsSummary->setVisible(!summary.isEmpty());
}

// ----- output

QString MainDialog::parameterProblem() const
{
    const QString url = m_ui->websiteUrlEdit->text();
    if (url.isEmpty())
        return tr("The website URL is empty.");
    if (m_ui->frequencyCombo->currentIndex() < 0 || m_ui->priorityCombo->currentIndex() < 0)
        return tr("Choose an initial priority and frequency.");
    std::string base, problem;
    if (NormalizeBaseUrl(url.toStdString(), base, &problem) == 0)
        return {};
    if (!url.trimmed().startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !url.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return tr("The website URL must start with http:// or https://");
    return problem.empty() ? tr("The website URL is not a usable address.") : Sentence(problem);
}

void MainDialog::editOptions()
{
    const ProjectRecord* record = selectedRecord();
    if (!record)
        return;
    const int row = selectedRow();
    OptionsDialog dialog(FromStd(record->name), m_store.options(row), this);
    if (ExecDialog(dialog) != QDialog::Accepted || dialog.options() == m_store.options(row))
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
    if (const QString problem = parameterProblem(); !problem.isEmpty()) {
        ShowMessage(this, tr("Invalid parameter(s)!") + QLatin1Char('\n') + problem);
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
    if (saved != 0 && saved != kRobotsTxtNotUpdated) {
        const QString file =
            FromStd(platform::JoinPath(record->localPath, SitemapFileName(format)));
        ShowMessage(this, tr("Failed to save %1!\n%2").arg(file, FromStd(error)),
                    QMessageBox::Warning);
        return;
    }
    const bool gzip = m_store.options(selectedRow()).gzip && format != SitemapFormat::Csv;
    const std::string savedFile = platform::JoinPath(record->localPath, SitemapFileName(format)) + (gzip ? ".gz" : "");
    // What was asked for goes in the line and its tooltip; a box only for
    // what was not.
    QStringList tip, warnings;
    for (const std::string& file : report.files)
        tip.append(FromStd(file));
    long long leftOut = report.noindex + report.canonicalElsewhere + report.robotsDisallowed + report.tooLong;
    for (const Note& note : SaveNotes(report)) {
        tip.append(Sentence(note.text));
        if (note.warning)
            warnings.append(Sentence(note.text));
    }
    if (!report.robotsTxt.empty())
        tip.append(tr("robots.txt now lists the sitemap."));
    if (saved == kRobotsTxtNotUpdated)
        warnings.append(FromStd(error));
    const QString file = QString::fromStdString(platform::FileName(savedFile));
    QStringList escaped;
    for (const QString& line : tip)
        escaped.append(line.toHtmlEscaped());
    std::string base;
    NormalizeBaseUrl(record->websiteUrl, base);
    m_ui->statusLabel->showSaved(
        leftOut > 0 ? tr("%1 saved, %2 page(s) left out, click to open.").arg(file).arg(leftOut)
                    : tr("%1 saved, click to open.").arg(file),
        QStringLiteral("<p style='white-space:pre'>%1</p>").arg(escaped.join(QStringLiteral("<br>"))),
        FromStd(savedFile), FromStd(base + platform::FileName(savedFile)));
    if (!warnings.isEmpty())
        ShowMessage(this, warnings.join(QLatin1Char('\n')), QMessageBox::Warning);
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

void MainDialog::updateStatusCursor()
{
    // The status line is a way into the site folder only while there is a
    // project whose folder it would open.
    const ProjectRecord* record = selectedRecord();
    m_ui->statusLabel->setFolder(record ? FromStd(record->localPath) : QString());
}

// ----- events

bool MainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->projectList->viewport() &&
               (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (!m_ui->projectList->indexAt(at).isValid())
            return true;
    } else if (watched == m_ui->nameEdit && event->type() == QEvent::FocusOut) {
        // Focus that leaves with the whole window (another application, a
        // box of our own) is not the user leaving the box.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            nameFocusLost();
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
