// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The one font all Larkspur dialogs use.
#pragma once

#include <QFont>

class QWidget;

namespace larkspur {

// Courier at 7 points; where no fixed-pitch Courier is installed, the
// system's fixed-pitch font at the same size.
QFont DialogFont();
// Sets the dialog font on a window; its children inherit it.
void ApplyDialogFont(QWidget* window);

}  // namespace larkspur
