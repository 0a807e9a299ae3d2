// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The line under the website URL: the project's options other than the
// defaults, as a link into the Options dialog. Hidden while all are default.
#pragma once

#include <QLabel>

#include "project_store.h"

namespace larkspur {

class OptionsSummaryLabel : public QLabel {
public:
    explicit OptionsSummaryLabel(QWidget* parent);

    // Null: no project is shown.
    void showOptions(const SitemapOptions* options);

protected:
    void changeEvent(QEvent* event) override;

private:
    void render();

    QString m_summary;
};

}  // namespace larkspur
