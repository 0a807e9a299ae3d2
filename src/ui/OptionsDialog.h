// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The sitemap options of one project: a control per option of the options
// table, so that an option added there shows here without more code.
#pragma once

#include <QDialog>

#include <vector>

class QLabel;

#include "options/options.h"

namespace larkspur {

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(const QString& project, const SitemapOptions& options, QWidget* parent = nullptr);

    // What the controls hold; valid after the dialog was accepted.
    const SitemapOptions& options() const { return m_options; }

    // The options other than the defaults in one short line ("0.9 · clean
    // URLs · dates from git"); empty for the defaults.
    static QString summary(const SitemapOptions& options);

    void accept() override;

private:
    // Every control is named after its option's key.
    std::vector<QWidget*> m_controls;
    SitemapOptions m_options;
    QLabel* m_patternProblem = nullptr;  // why an exclude pattern cannot be right
};

}  // namespace larkspur
