// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Shown while a long walk runs: the number of entries found so far, and a
// Cancel button.
#pragma once

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <cstddef>

class QLabel;
class QPushButton;

namespace larkspur {

class WalkProgressDialog : public QDialog {
    Q_OBJECT
public:
    // `found` is written by the walking thread and read here.
    WalkProgressDialog(const QString& folder, const std::atomic<std::size_t>& found,
                       QWidget* parent = nullptr);

    static QString countText(std::size_t found);

private:
    void refresh();

    const std::atomic<std::size_t>& m_found;
    QLabel* m_countLabel;
    QTimer m_timer;
};

}  // namespace larkspur
