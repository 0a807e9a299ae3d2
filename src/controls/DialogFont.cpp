// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "DialogFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QWidget>

namespace larkspur {

QFont DialogFont()
{
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(7);
    // Font matching never fails, it substitutes; a proportional substitute
    // would break the column look of the dialogs, so only a fixed-pitch
    // match counts.
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(7);
    }
    return font;
}

void ApplyDialogFont(QWidget* window)
{
    window->setFont(DialogFont());
}

}  // namespace larkspur
