// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Asks for the name of a new project.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class AddProjectDialog;
}

class QLineEdit;

namespace larkspur {

// A project name holds at most 259 bytes (UTF-8): a longer `text` in `box`
// is cut there, never inside a character, and a box says so. True when it
// was cut.
bool FitProjectName(QLineEdit* box, QString& text);

class AddProjectDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddProjectDialog(QWidget* parent = nullptr);
    ~AddProjectDialog() override;

    // The name as it stood when OK was pressed; empty before.
    const QString& name() const { return m_name; }

    void accept() override;

private:
    std::unique_ptr<Ui::AddProjectDialog> m_ui;
    QString m_name;
};

}  // namespace larkspur
