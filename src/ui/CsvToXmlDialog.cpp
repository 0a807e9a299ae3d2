// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "CsvToXmlDialog.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "DialogFont.h"
#include "FileDropFilter.h"
#include "PathChooser.h"
#include "UiServices.h"
#include "platform/paths.h"
#include "sitemap/csv.h"
#include "sitemap/notes.h"
#include "sitemap/url.h"
#include "ui_CsvToXmlDialog.h"

namespace larkspur {

CsvToXmlDialog::CsvToXmlDialog(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CsvToXmlDialog>())
{
    m_ui->setupUi(this);
    ApplyDialogFont(this);
    new FileDropFilter(this, m_ui->pathEdit);
    m_ui->pathEdit->installEventFilter(this);
    connect(m_ui->browseButton, &QToolButton::clicked, this, [this] {
        // No focus leaves the box for a chosen path, so it is checked here.
        if (ChooseInto(m_ui->pathEdit, ChooserRequest::Kind::File, tr("Csv file path"),
                       tr("CSV files (*.csv);;All files (*)")))
            checkPath();
    });
    connect(m_ui->convertButton, &QPushButton::clicked, this, &CsvToXmlDialog::accept);
    connect(m_ui->pathEdit, &QLineEdit::textChanged, this, &CsvToXmlDialog::pathEdited);
    pathEdited(QString());
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &CsvToXmlDialog::reject);
}

CsvToXmlDialog::~CsvToXmlDialog() = default;

void CsvToXmlDialog::setPath(const QString& path)
{
    m_ui->pathEdit->setText(path);
    checkPath();
}

void CsvToXmlDialog::setProject(std::string folder, std::string url, const SitemapOptions& options)
{
    m_projectFolder = std::move(folder);
    m_projectUrl = std::move(url);
    m_projectOptions = options;
    checkPath();
}

SitemapOptions CsvToXmlDialog::conversionFor(const std::string& csvPath, std::string& folderUrl) const
{
    folderUrl.clear();
    if (FolderUrlInSite(m_projectUrl, m_projectFolder, csvPath, folderUrl) != 0)
        return {};
    return m_projectOptions;
}

void CsvToXmlDialog::accept()
{
    if (!checkPath())
        return;
    const std::string csvPath = m_ui->pathEdit->text().toStdString();
    std::string xmlPath;
    XmlPathForCsv(csvPath, xmlPath);
    // Inside the selected project's folder, the project's options and the
    // address of the CSV's folder (where parts past the limits are written).
    std::string folderUrl;
    const SitemapOptions options = conversionFor(csvPath, folderUrl);
    if (options.gzip)
        xmlPath += ".gz";
    ConvertReport report;
    std::string error;
    if (ConvertCsvToXml(csvPath, xmlPath, &report, &error, {}, folderUrl, options) != 0) {
        ShowMessage(this, tr("Failed to create %1!\n%2").arg(QString::fromStdString(xmlPath),
                                                            QString::fromStdString(error)),
                    QMessageBox::Warning);
        return;
    }
    // A CSV past the sitemap limits becomes an index and its parts; the
    // report names them all, the index first.
    QStringList names;
    for (const std::string& file : report.files)
        names.append(QString::fromStdString(platform::FileName(file)));
    if (names.isEmpty())
        names.append(QString::fromStdString(platform::FileName(xmlPath)));
    m_report = tr("%1 created.").arg(names.join(QStringLiteral(", ")));
    for (const Note& note : ConvertNotes(report))
        m_report += QLatin1Char('\n') + QString::fromStdString(note.text) + QLatin1Char('.');
    m_path = m_ui->pathEdit->text();
    QDialog::accept();
}

void CsvToXmlDialog::pathEdited(const QString& text)
{
    // Checked as typed, so that the button is never a way to a box; the
    // verdict's words wait until the box is left.
    std::string message;
    m_ui->convertButton->setEnabled(!text.isEmpty() && CheckCsvPath(text.toStdString(), message) == 0);
}

bool CsvToXmlDialog::checkPath()
{
    const QString text = m_ui->pathEdit->text();
    // An empty box says nothing new, so the last verdict stays.
    if (text.isEmpty())
        return false;
    const std::string path = text.toStdString();
    std::string message;
    std::string folderUrl;
    const bool usable = CheckCsvPath(path, message, conversionFor(path, folderUrl).gzip) == 0;
    m_ui->messageLabel->setText(QString::fromStdString(message));
    m_ui->convertButton->setEnabled(usable);
    return usable;
}

bool CsvToXmlDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->pathEdit && event->type() == QEvent::FocusOut)
        checkPath();
    return QDialog::eventFilter(watched, event);
}

}  // namespace larkspur
