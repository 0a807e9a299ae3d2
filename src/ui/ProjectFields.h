// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The main window's project boxes: each edit goes into the selected record
// as it is typed, and what they hold is checked before a save.
#pragma once

#include <QObject>
#include <QString>

#include <string>

#include "project_store.h"

namespace Ui {
class MainDialog;
}

namespace larkspur {

// True when the box shows `stored` as it was put there. Stored texts need not
// be UTF-8 (files of older versions hold other code pages), and the box can
// only show such bytes replaced: a text the user did not change is never
// written back, so the bytes survive a session that merely showed them.
bool Unchanged(const QString& text, const std::string& stored);

class ProjectFields : public QObject {
    Q_OBJECT
public:
    ProjectFields(Ui::MainDialog& ui, ProjectStore& store, QObject* parent);

    // The selected row of the project list, -1 when none is.
    int selectedRow() const;
    const ProjectRecord* selectedRecord() const;
    // Why the boxes do not make a sitemap; empty when they do.
    QString parameterProblem() const;
    // Points the status line at the selected project's folder.
    void updateStatusFolder();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void nameChanged(const QString& text);
    void nameFocusLost();
    void localPathChanged(const QString& text);
    void websiteUrlChanged(const QString& text);
    void priorityChanged(int index);
    void frequencyChanged(int index);

    Ui::MainDialog& m_ui;
    ProjectStore& m_store;
    QString m_nameProblem;  // why the name typed last was not taken
};

}  // namespace larkspur
