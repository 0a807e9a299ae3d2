// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "CheckReportDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace larkspur {

namespace {

constexpr long long kExamples = 10;

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

CheckReportDialog::CheckReportDialog(const QString& project, const CheckReport& report, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CheckReportDialog"));
    setWindowTitle(tr("Check of %1").arg(project));
    auto* layout = new QVBoxLayout(this);

    long long problems = 0, hints = 0;
    for (const CheckFinding& finding : report.findings)
        (KindInfo(finding.kind).hint ? hints : problems) += 1;
    QString summary = problems == 0 ? tr("No problems found") : tr("%1 problem(s) found").arg(problems);
    if (hints > 0)
        summary += tr(", %1 hint(s)").arg(hints);
    summary += QLatin1Char('.');
    if (!report.files.empty()) {
        const QString read = report.files.size() > 1
                                 ? tr("%1 and %2 part(s)").arg(FromStd(report.files.front())).arg(report.files.size() - 1)
                                 : FromStd(report.files.front());
        summary += QLatin1Char('\n') + tr("%1: %2 URL(s); %3 page(s) in the folder.")
                                            .arg(read)
                                            .arg(report.urls)
                                            .arg(report.pages);
    }
    for (const std::string& note : report.notes)
        summary += QLatin1Char('\n') + FromStd(note) + QLatin1Char('.');
    auto* label = new QLabel(summary, this);
    label->setObjectName(QStringLiteral("summary"));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    layout->addWidget(label);

    if (!report.findings.empty()) {
        auto* tree = new QTreeWidget(this);
        tree->setObjectName(QStringLiteral("findings"));
        tree->setColumnCount(2);
        tree->setHeaderLabels({tr("Finding"), tr("Count")});
        tree->header()->setStretchLastSection(false);
        tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        tree->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
        for (const CheckKindInfo& info : CheckKinds()) {
            const long long count = report.count(info.kind);
            if (count == 0)
                continue;
            auto* section = new QTreeWidgetItem(tree, {tr(info.title), QString::number(count)});
            long long shown = 0;
            for (const CheckFinding& finding : report.findings) {
                if (finding.kind != info.kind)
                    continue;
                if (shown++ == kExamples)
                    break;
                QString text = FromStd(finding.url);
                if (!finding.detail.empty())
                    text += QStringLiteral(" (%1)").arg(FromStd(finding.detail));
                auto* example = new QTreeWidgetItem(section, {text});
                example->setToolTip(0, text);
            }
            if (count > kExamples)
                new QTreeWidgetItem(section, {tr("... and %1 more").arg(count - kExamples)});
        }
        tree->expandAll();
        layout->addWidget(tree);
        resize(720, 480);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CheckReportDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace larkspur
