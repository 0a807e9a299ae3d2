// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What the "..." button beside a path box does: opens the platform's folder
// or file chooser and puts the choice into the box.
#pragma once

#include <QString>

#include "UiServices.h"

class QLineEdit;

namespace larkspur {

// Starts at the box's path when that exists. The choice replaces the text as
// typing would (the box's change signals fire), so the checks that follow a
// typed path still apply. False when the chooser was cancelled.
bool ChooseInto(QLineEdit* edit, ChooserRequest::Kind kind, const QString& caption,
                const QString& filter = {});

}  // namespace larkspur
