// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The Larkspur icon, from the resources built into the program.
#pragma once

#include <QIcon>

namespace larkspur {

QIcon ApplicationIcon();

}  // namespace larkspur
