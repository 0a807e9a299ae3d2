// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "PathEdit.h"

#include <QFontMetrics>
#include <QList>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace larkspur {

namespace {
// QLineEdit keeps this much room between its contents rectangle and the text.
constexpr int kHorizontalMargin = 2;
constexpr int kVerticalMargin = 1;
}  // namespace

PathEdit::PathEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &QWidget::setToolTip);
}

QSize PathEdit::minimumSizeHint() const
{
    QSize size = QLineEdit::minimumSizeHint();
    size.setWidth(qMax(size.width(), fontMetrics().averageCharWidth() * 40));
    return size;
}

QString PathEdit::elide(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    // A separator at the very end belongs to the last folder.
    QList<int> cuts;
    for (int i = 0; i + 1 < path.size(); ++i)
        if (path[i] == QLatin1Char('/') || path[i] == QLatin1Char('\\'))
            cuts.append(i);
    const QString ellipsis(QChar(0x2026));
    const auto join = [&](int head, int tail) { return path.left(cuts[head] + 1) + ellipsis + path.mid(cuts[tail]); };
    const auto fits = [&](int head, int tail) { return metrics.horizontalAdvance(join(head, tail)) <= width; };
    int head = 0;
    int tail = int(cuts.size()) - 1;
    if (tail <= head || !fits(head, tail))
        return metrics.elidedText(path, Qt::ElideMiddle, width);
    // Folders are added from the front and the back in turn, as long as
    // they fit, so both the root and the site's own folders stay in view.
    bool growHead = true;
    bool growTail = true;
    while ((growHead || growTail) && tail - head > 1) {
        growHead = growHead && fits(head + 1, tail);
        if (growHead)
            ++head;
        growTail = growTail && tail - head > 1 && fits(head, tail - 1);
        if (growTail)
            --tail;
    }
    return join(head, tail);
}

QRect PathEdit::textRect() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_LineEditContents, &option, this)
        .marginsRemoved(textMargins())
        .adjusted(kHorizontalMargin, kVerticalMargin, -kHorizontalMargin, -kVerticalMargin);
}

QString PathEdit::shownText() const
{
    // Editing shows the path as it is, so the cursor moves through real text.
    if (hasFocus() || echoMode() != QLineEdit::Normal)
        return text();
    return elide(text(), fontMetrics(), textRect().width());
}

void PathEdit::paintEvent(QPaintEvent* event)
{
    const QString shown = shownText();
    if (shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    const QPalette::ColorGroup group =
        !isEnabled() ? QPalette::Disabled : isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    painter.setPen(palette().color(group, QPalette::Text));
    painter.drawText(textRect(), int(QStyle::visualAlignment(layoutDirection(), alignment())), shown);
}

}  // namespace larkspur
