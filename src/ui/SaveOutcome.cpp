// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "SaveOutcome.h"

#include <algorithm>

#include <QCoreApplication>
#include <QStringList>

#include "StatusLabel.h"
#include "UiServices.h"
#include "platform/paths.h"
#include "sitemap/notes.h"
#include "sitemap/url.h"

namespace larkspur {

namespace {

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QString Tr(const char* text)
{
    return QCoreApplication::translate("larkspur::MainDialog", text);
}

}  // namespace

QString Sentence(const std::string& note)
{
    QString text = FromStd(note);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text + QLatin1Char('.');
}

void ShowSaveOutcome(QWidget* window, StatusLabel* status, const ProjectRecord& record, SitemapFormat format,
                     bool gzip, int saved, const std::string& error, const SaveReport& report)
{
    if (saved != 0 && saved != kRobotsTxtNotUpdated) {
        const QString file = FromStd(platform::JoinPath(record.localPath, SitemapFileName(format)));
        ShowMessage(window, Tr("Failed to save %1!\n%2").arg(file, FromStd(error)), QMessageBox::Warning);
        return;
    }
    // A text sitemap past the limits has parts and no file of its own name:
    // the first part is the one to open.
    std::string savedFile = platform::JoinPath(record.localPath, SitemapFileName(format)) + (gzip ? ".gz" : "");
    if (!report.files.empty() && std::find(report.files.begin(), report.files.end(), savedFile) == report.files.end())
        savedFile = report.files.front();
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
        tip.append(Tr("robots.txt now lists the sitemap."));
    if (saved == kRobotsTxtNotUpdated)
        warnings.append(FromStd(error));
    const QString file = QString::fromStdString(platform::FileName(savedFile));
    QStringList escaped;
    for (const QString& line : tip)
        escaped.append(line.toHtmlEscaped());
    std::string base;
    NormalizeBaseUrl(record.websiteUrl, base);
    status->showSaved(
        leftOut > 0 ? Tr("%1 saved, %2 page(s) left out, click to open.").arg(file).arg(leftOut)
                    : Tr("%1 saved, click to open.").arg(file),
        QStringLiteral("<p style='white-space:pre'>%1</p>").arg(escaped.join(QStringLiteral("<br>"))),
        FromStd(savedFile), FromStd(base + platform::FileName(savedFile)));
    if (!warnings.isEmpty())
        ShowMessage(window, warnings.join(QLatin1Char('\n')), QMessageBox::Warning);
}

}  // namespace larkspur
