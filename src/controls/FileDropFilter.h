// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Lets a dialog take a file dropped on it: the first dropped path replaces
// the text of a line edit. Further paths are ignored and nothing is checked
// at the drop; the dialog checks the text as it checks typed text.
#pragma once

#include <QObject>

class QLineEdit;
class QWidget;

namespace larkspur {

class FileDropFilter : public QObject {
public:
    // Watches `dialog` and `edit` (the edit would otherwise take the drop as
    // text and insert a "file://" address).
    FileDropFilter(QWidget* dialog, QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
};

}  // namespace larkspur
