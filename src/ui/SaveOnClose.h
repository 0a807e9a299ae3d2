// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What the main window does before it closes: saves the projects, merged
// with what another program saved meanwhile, and asks when that cannot be
// done as it stands.
#pragma once

#include "project_store.h"

class QLabel;
class QWidget;

namespace larkspur {

// True when the window may close: saved, nothing to save, or the user chose
// to close without saving. False to stay open. The status line says when the
// save waits for another program.
bool SaveBeforeClosing(QWidget* window, ProjectStore& store, QLabel* statusLine);

}  // namespace larkspur
