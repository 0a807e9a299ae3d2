// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "AboutBox.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "ApplicationIcon.h"
#include "DialogFont.h"
#include "MakerAddress.h"
#include "UiServices.h"
#include "ui_AboutBox.h"

namespace larkspur {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::AboutBox>())
{
    m_ui->setupUi(this);
    m_ui->versionLabel->setText(m_ui->versionLabel->text().arg(QLatin1String(LARKSPUR_VERSION)));
    ApplyDialogFont(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    m_ui->iconLabel->setPixmap(ApplicationIcon().pixmap(32, 32));
    m_ui->iconLabel->setCursor(Qt::PointingHandCursor);
    m_ui->iconLabel->installEventFilter(this);
    m_ui->linkLabel->setText(QLatin1String(kMakerWebAddress));
    m_link.attach(m_ui->linkLabel, QLatin1String(kMakerWebAddress));
    connect(m_ui->okButton, &QPushButton::clicked, this, &AboutBox::accept);
    // Enter is OK, whatever has the focus; the link is one Tab away.
    m_ui->okButton->setDefault(true);
    m_ui->okButton->setFocus();
    setTabOrder(m_ui->okButton, m_ui->linkLabel);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

AboutBox::~AboutBox() = default;

bool AboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->iconLabel && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            m_ui->iconLabel->rect().contains(mouse->position().toPoint())) {
            OpenUrl(QUrl(QLatin1String(kMakerWebAddress)));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace larkspur
