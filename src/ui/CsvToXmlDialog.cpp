#include "CsvToXmlDialog.h"

#include <QEvent>
#include <QPushButton>
#include <QToolButton>

#include "DialogFont.h"
#include "FileDropFilter.h"
#include "PathChooser.h"
#include "sitemap/sitemap.h"
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
    m_path = m_ui->pathEdit->text();
    QDialog::accept();
}

void CsvToXmlDialog::checkPath()
{
    const QString text = m_ui->pathEdit->text();
    // An empty box says nothing new, so the last verdict stays.
    if (text.isEmpty())
        return;
    const std::string path = text.toStdString();
    std::string message;
    std::string folderUrl;
    CheckCsvPath(path, message, conversionFor(path, folderUrl).gzip);
    m_ui->messageLabel->setText(QString::fromStdString(message));
}

bool CsvToXmlDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->pathEdit && event->type() == QEvent::FocusOut)
        checkPath();
    return QDialog::eventFilter(watched, event);
}

}  // namespace larkspur
