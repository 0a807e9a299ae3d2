// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What the main window says after a save: what was asked for goes in the
// status line and its tooltip, a box comes only for what was not.
#pragma once

#include <QString>

#include <string>

#include "project_store.h"

class QWidget;

namespace larkspur {

class StatusLabel;

// A note as the window shows it: a sentence that starts in capitals and
// ends with a stop.
QString Sentence(const std::string& note);

// `saved` and `error` as ProjectStore::saveSitemap returned them.
void ShowSaveOutcome(QWidget* window, StatusLabel* status, const ProjectRecord& record, SitemapFormat format,
                     bool gzip, int saved, const std::string& error, const SaveReport& report);

}  // namespace larkspur
