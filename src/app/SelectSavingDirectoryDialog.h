// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Asks once, at the first start, for the folder that keeps saving.dat.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QLineEdit;

namespace Ui {
class SelectSavingDirectoryDialog;
}

namespace larkspur {

class SelectSavingDirectoryDialog : public QDialog {
    Q_OBJECT
public:
    explicit SelectSavingDirectoryDialog(QWidget* parent = nullptr);
    ~SelectSavingDirectoryDialog() override;

    // The folder as accepted; empty before.
    const QString& path() const { return m_path; }
    // Puts a proposal into the box.
    void setPath(const QString& path);
    // The stored folder is gone: says so above the box, which offers it.
    void setMissing(const QString& path);

    // Stays open, with a message, until the box names an existing folder.
    void accept() override;

private:
    std::unique_ptr<Ui::SelectSavingDirectoryDialog> m_ui;
    QLineEdit* m_edit;
    QString m_path;
};

}  // namespace larkspur
