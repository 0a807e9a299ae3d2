// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "WalkProgressDialog.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogFont.h"
#include "UiServices.h"

namespace larkspur {

WalkProgressDialog::WalkProgressDialog(const QString& folder, const std::atomic<std::size_t>& found,
                                       QWidget* parent)
    : QDialog(parent), m_found(found)
{
    setObjectName(QStringLiteral("walkProgressDialog"));
    setWindowTitle(QLatin1String(kApplicationTitle));
    ApplyDialogFont(this);

    auto* folderLabel = new QLabel(tr("Walking %1").arg(QDir::toNativeSeparators(folder)), this);
    folderLabel->setObjectName(QStringLiteral("folderLabel"));
    folderLabel->setTextFormat(Qt::PlainText);
    m_countLabel = new QLabel(countText(0), this);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    auto* bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("busyBar"));
    // The total is unknown until the walk ends, so the bar only shows that
    // work goes on.
    bar->setRange(0, 0);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(cancel, &QPushButton::clicked, this, &WalkProgressDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folderLabel);
    layout->addWidget(m_countLabel);
    layout->addWidget(bar);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(&m_timer, &QTimer::timeout, this, &WalkProgressDialog::refresh);
    m_timer.start(100);
    refresh();
}

QString WalkProgressDialog::countText(std::size_t found)
{
    return tr("%1 entries found").arg(static_cast<qulonglong>(found));
}

void WalkProgressDialog::refresh()
{
    m_countLabel->setText(countText(m_found.load(std::memory_order_relaxed)));
}

}  // namespace larkspur
