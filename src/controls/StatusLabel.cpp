// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "StatusLabel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "HyperlinkControl.h"
#include "UiServices.h"

namespace larkspur {

StatusLabel::StatusLabel(QWidget* parent)
    : QLabel(parent), m_backColor(palette().color(QPalette::Button)),
      m_textColor(palette().color(QPalette::ButtonText))
{
    // The button face's own text colour: black would vanish on a dark one.
    setTextInteractionFlags(Qt::NoTextInteraction);
    setAutoFillBackground(true);
    applyColors();
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &StatusLabel::showMenu);
}

void StatusLabel::setFolder(const QString& folder)
{
    m_folder = folder;
    if (folder.isEmpty())
        unsetCursor();
    else
        setCursor(Qt::PointingHandCursor);
}

void StatusLabel::showSaved(const QString& text, const QString& toolTip, const QString& file, const QString& url)
{
    m_file = file;
    m_url = url;
    setText(text);
    setToolTip(toolTip);
    setTextColor(HyperlinkControl::readableColor(palette(), m_backColor));
    setUnderline(true);
}

void StatusLabel::clearSaved()
{
    m_file.clear();
    m_url.clear();
    clear();
    setToolTip(QString());
    setUnderline(false);
}

void StatusLabel::showMenu(const QPoint& at)
{
    if (m_folder.isEmpty())
        return;
    if (!m_menu) {
        // A menu that pops up without a loop of its own, so nothing waits on it.
        m_menu = new QMenu(this);
        m_menu->addAction(tr("Open the folder"), this, [this] { OpenUrl(QUrl::fromLocalFile(m_folder)); });
        m_menu->addAction(tr("Open the sitemap"), this, [this] { OpenUrl(QUrl::fromLocalFile(m_file)); });
        m_menu->addAction(tr("Copy the sitemap's URL"), this,
                          [this] { QGuiApplication::clipboard()->setText(m_url); });
    }
    m_menu->setFont(font());
    const QList<QAction*> actions = m_menu->actions();
    actions[1]->setEnabled(!m_file.isEmpty());
    actions[2]->setEnabled(!m_url.isEmpty());
    m_menu->popup(mapToGlobal(at));
}

void StatusLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_folder.isEmpty() && rect().contains(event->position().toPoint()))
        OpenUrl(QUrl::fromLocalFile(m_folder));
    QLabel::mouseReleaseEvent(event);
}

void StatusLabel::applyColors()
{
    QPalette colors = palette();
    colors.setColor(QPalette::Window, m_backColor);
    colors.setColor(QPalette::WindowText, m_textColor);
    setPalette(colors);
}

void StatusLabel::setTextColor(const QColor& color)
{
    m_textColor = color;
    applyColors();
    repaint();
}

void StatusLabel::setUnderline(bool underline)
{
    QFont underlined = font();
    underlined.setUnderline(underline);
    setFont(underlined);
}

}  // namespace larkspur
