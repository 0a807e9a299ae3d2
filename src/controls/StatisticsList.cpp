// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "StatisticsList.h"

#include <QEvent>
#include <QSignalBlocker>
#include <QStyle>

namespace larkspur {

namespace {
constexpr int kExtensionRole = Qt::UserRole + 1;
}

StatisticsList::StatisticsList(QListWidget* list) : QObject(list), m_list(list)
{
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
    list->setUniformItemSizes(true);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->viewport()->installEventFilter(this);
    list->setStyleSheet(QStringLiteral("QListView::item { height: %1px; } "
                                       "QListView::indicator { width: 12px; height: 12px; }")
                            .arg(list->fontMetrics().height() + 4));
    connect(list, &QListWidget::itemChanged, this, &StatisticsList::itemChanged);
    layout();
}

void StatisticsList::fill(const std::vector<Line>& lines)
{
    m_filling = true;
    m_list->clear();
    for (const Line& line : lines) {
        auto* item = new QListWidgetItem(line.text);
        if (line.extension.isEmpty()) {
            // Enabled, so that the totals read as plain text in every theme.
            item->setFlags(Qt::ItemIsEnabled);
        } else {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(line.checked ? Qt::Checked : Qt::Unchecked);
            item->setData(kExtensionRole, line.extension);
        }
        m_list->addItem(item);
    }
    m_filling = false;
    layout();
}

void StatisticsList::clear()
{
    m_list->clear();
}

void StatisticsList::itemChanged(QListWidgetItem* item)
{
    const QString extension = item->data(kExtensionRole).toString();
    if (!m_filling && !extension.isEmpty())
        Q_EMIT markChanged(extension, item->checkState() == Qt::Checked);
}

bool StatisticsList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        layout();
    return QObject::eventFilter(watched, event);
}

void StatisticsList::layout()
{
    const QStyle* style = m_list->style();
    // Two and a half columns show at a time; a column widens rather than
    // cut a count short on a large site.
    int textWidth = 0;
    for (int i = 0; i < m_list->count(); ++i)
        textWidth = qMax(textWidth, m_list->fontMetrics().horizontalAdvance(m_list->item(i)->text()));
    const int markWidth = style->pixelMetric(QStyle::PM_IndicatorWidth) +
                          4 * style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
    const int width = qMax(qMax(1, 2 * m_list->viewport()->width() / 5), textWidth + markWidth);
    const int height = qMax(m_list->fontMetrics().height(), style->pixelMetric(QStyle::PM_IndicatorHeight)) + 4;
    if (m_list->gridSize() != QSize(width, height))
        m_list->setGridSize(QSize(width, height));
}

}  // namespace larkspur
