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
    // A theme's link colour can be unreadable on its own window colour.
    QPalette colors = palette();
    colors.setColor(QPalette::Link, HyperlinkControl::readableColor(colors, colors.color(QPalette::Window)));
    setPalette(colors);
}

void OptionsSummaryLabel::showOptions(const SitemapOptions* options)
{
    const QString summary = options ? OptionsDialog::summary(*options) : QString();
    setText(QStringLiteral("<a href=\"options\">%1</a>").arg(summary.toHtmlEscaped()));
    setVisible(!summary.isEmpty());
}

}  // namespace larkspur
