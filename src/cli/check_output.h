// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The report of `larkspur-cli check`, for people or for scripts.
#pragma once

#include <ostream>

#include "check/check.h"

namespace larkspur::cli {

// For people: the files read and the counts, then one section per kind
// found, its count and its first ten findings, then the total.
void PrintCheckReport(std::ostream& out, const CheckReport& report);
// For scripts: one finding a line, kind, URL and detail separated by tabs.
void PrintCheckFindings(std::ostream& out, const CheckReport& report);

}  // namespace larkspur::cli
