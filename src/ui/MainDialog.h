// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The main window: the project list and fields, the walk, the three save
// commands, CSV to XML, and the About box. It owns the project table for the
// whole run; the table is loaded from saving.dat when the window opens and
// written back when it closes.
#pragma once

#include <QDialog>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "HyperlinkControl.h"
#include "WalkRunner.h"
#include "project_store.h"

class QAction;
class QLabel;
class QPushButton;

namespace Ui {
class MainDialog;
}

namespace larkspur {

class OptionsSummaryLabel;
class ProjectFields;
class StatisticsList;

class MainDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the working directory from the settings and loads its saving.dat.
    explicit MainDialog(QWidget* parent = nullptr);
    ~MainDialog() override;

    const ProjectStore& store() const { return m_store; }
    const ProjectTable& table() const { return m_store.table(); }
    const std::string& workingDirectory() const { return m_store.folder(); }
    // The selected row of the project list, -1 when none is.
    int selectedRow() const;

    // How long a walk may run before its progress dialog shows.
    void setProgressDelay(int milliseconds) { m_walker->setProgressDelay(milliseconds); }
    // Called on the walking thread each time the walk reports progress.
    void setWalkObserver(WalkRunner::Observer observer) { m_walker->setObserver(std::move(observer)); }

    // Every way of closing ends here: what changed is saved first; when that
    // fails the user chooses between trying again, closing without saving
    // and staying.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void loadProjects();
    void addProject();
    void removeProject();
    void showProject(int row);
    void enableProjectControls(bool enable);
    void showLoadFailure();
    void projectSelectionChanged();

    void browseLocalPath();
    void walkPath();
    void fillStatistics(const ProjectRecord& record, const SitemapOptions& options);
    void extensionMarked(const QString& extension, bool checked);
    void showOptionsSummary();

    const ProjectRecord* readyRecord();
    void saveSitemap(SitemapFormat format);
    void editOptions();
    // The selected project's sitemap against its folder, in a dialog.
    void checkSitemap();
    void convertCsvToXml();
    void showAbout();

    const ProjectRecord* selectedRecord() const;

    std::unique_ptr<Ui::MainDialog> m_ui;
    ProjectStore m_store;
    ProjectFields* m_fields = nullptr;
    HyperlinkControl m_link;
    QAction* m_aboutAction = nullptr;
    QPushButton* m_optionsButton = nullptr;
    QPushButton* m_checkButton = nullptr;
    OptionsSummaryLabel* m_optionsSummary = nullptr;

    StatisticsList* m_statistics = nullptr;
    WalkRunner* m_walker = nullptr;
    bool m_closeAfterWalk = false;
    QString m_loadFailure;  // why saving.dat could not be read, until the window shows to centre it on
};

}  // namespace larkspur
