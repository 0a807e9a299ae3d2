// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The report of a project's sitemap check: the count of each kind of finding
// first, its first examples under it.
#pragma once

#include <QDialog>

#include "check/check.h"

namespace larkspur {

class CheckReportDialog : public QDialog {
    Q_OBJECT
public:
    CheckReportDialog(const QString& project, const CheckReport& report, QWidget* parent = nullptr);
};

}  // namespace larkspur
