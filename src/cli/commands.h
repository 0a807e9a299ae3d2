// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The commands of larkspur-cli, one file each: 0 on success, -1 with the
// failure to report.
#pragma once

#include "arguments.h"
#include "common.h"
#include "sitemap/writers.h"

namespace larkspur::cli {

int RunStats(const Arguments& args, Failure& failure);
// xml, txt and csv.
int RunWrite(const Arguments& args, SitemapFormat format, Failure& failure);
// 0 when the check finds nothing but hints, 1 when it finds something, -1
// with the failure.
int RunCheck(const Arguments& args, Failure& failure);
int RunCsvToXml(const Arguments& args, Failure& failure);
// projects, and its words add, set, show and remove.
int RunProjects(const Arguments& args, Failure& failure);
// Prints the working directory in force, or stores a new one where both
// programs read it: a server has no window to choose it in.
int RunWorkingDir(const Arguments& args, Failure& failure);

}  // namespace larkspur::cli
