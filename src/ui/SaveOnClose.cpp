// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "SaveOnClose.h"

#include <QLabel>
#include <QObject>
#include <QStringList>

#include "UiServices.h"

namespace larkspur {

namespace {

// 0 when saved (or nothing changed); 1 when the user chose to stay; -1
// with `failure` naming the file and the reason.
int SaveProjects(QWidget* window, ProjectStore& store, QLabel* statusLine, QString& failure)
{
    if (store.folder().empty()) {
        failure = QObject::tr("No saving directory is set.");
        return -1;
    }
    // A working directory that cannot be written need not be, after a
    // session that changed nothing.
    if (!store.changed())
        return 0;
    auto names = [](const std::vector<std::string>& list) {
        QStringList out;
        for (const std::string& name : list)
            out.append(QString::fromStdString(name));
        return out.join(QStringLiteral(", "));
    };
    std::string error;
    MergeReport report;
    // The status line says when closing waits for another program; it
    // shows what it showed before once the wait is over.
    const QString status = statusLine->text();
    int saved = store.save(error, report, false);
    statusLine->setText(status);
    if (saved > 0) {
        // Another program filled the table meanwhile: dropping a project is
        // the user's choice, and removing another first is one.
        const auto answer = ShowMessage(
            window, QObject::tr("32 projects in Maximum: another program added projects meanwhile, and these cannot be "
                     "saved: %1\nCancel to stay and remove a project first.").arg(names(report.notKept)),
            QMessageBox::Warning, QLatin1String(kApplicationTitle), QMessageBox::Discard | QMessageBox::Cancel,
            {{QMessageBox::Discard, QObject::tr("Close without them")}});
        if (answer != QMessageBox::Discard)
            return 1;
        saved = store.save(error, report);
        statusLine->setText(status);
    }
    if (saved != 0) {
        failure = QString::fromStdString(error);
        return -1;
    }
    if (!report.overruled.empty())
        ShowMessage(window, QObject::tr("Changed here and by another program meanwhile; the changes made here were kept: %1")
                              .arg(names(report.overruled)),
                    QMessageBox::Information);
    return 0;
}

}  // namespace

bool SaveBeforeClosing(QWidget* window, ProjectStore& store, QLabel* statusLine)
{
    for (;;) {
        QString failure;
        const int saved = SaveProjects(window, store, statusLine, failure);
        if (saved > 0)
            return false;  // stay open, the table as it is
        if (saved == 0)
            break;
        const auto answer = ShowMessage(
            window, QObject::tr("Failed to save application data!\n%1").arg(failure), QMessageBox::Warning,
            QLatin1String(kApplicationTitle),
            QMessageBox::Retry | QMessageBox::Discard | QMessageBox::Cancel,
            {{QMessageBox::Discard, QObject::tr("Close without saving")}});
        if (answer == QMessageBox::Discard)
            break;
        if (answer != QMessageBox::Retry)
            return false;
    }
    return true;
}

}  // namespace larkspur
