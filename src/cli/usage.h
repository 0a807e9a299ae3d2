// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The options larkspur-cli knows and the text of --help.
#pragma once

#include <string>
#include <vector>

#include "arguments.h"

namespace larkspur::cli {

// The general options and one per sitemap option, with its --no- form.
const std::vector<OptionInfo>& AllOptions();
// The text of --help, the sitemap options listed from their table.
std::string Usage();

}  // namespace larkspur::cli
