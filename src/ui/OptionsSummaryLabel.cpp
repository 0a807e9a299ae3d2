// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "OptionsSummaryLabel.h"

#include <QEvent>

#include "HyperlinkControl.h"
#include "OptionsDialog.h"

namespace larkspur {

OptionsSummaryLabel::OptionsSummaryLabel(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("optionsSummary"));
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
}

void OptionsSummaryLabel::showOptions(const SitemapOptions* options)
{
    m_summary = options ? OptionsDialog::summary(*options) : QString();
    render();
    setVisible(!m_summary.isEmpty());
}

void OptionsSummaryLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    // The link's colour is written into the text: a theme switched while
    // running needs it worked out again.
    if (event->type() == QEvent::PaletteChange)
        render();
}

void OptionsSummaryLabel::render()
{
    // A theme's link colour can be unreadable on its own window colour, and
    // a label draws a link in the application's, not in its own palette's.
    const QColor link = HyperlinkControl::readableColor(palette(), palette().color(QPalette::Window));
    setText(QStringLiteral("<a href=\"options\" style=\"color:%1\">%2</a>")
                .arg(link.name(), m_summary.toHtmlEscaped()));
}

}  // namespace larkspur
