// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "OptionsSummaryLabel.h"

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
    const QString summary = options ? OptionsDialog::summary(*options) : QString();
    // A theme's link colour can be unreadable on its own window colour, and
    // a label draws a link in the application's, not in its own palette's.
    const QColor link = HyperlinkControl::readableColor(palette(), palette().color(QPalette::Window));
    setText(QStringLiteral("<a href=\"options\" style=\"color:%1\">%2</a>")
                .arg(link.name(), summary.toHtmlEscaped()));
    setVisible(!summary.isEmpty());
}

}  // namespace larkspur
