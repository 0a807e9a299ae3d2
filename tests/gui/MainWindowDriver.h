// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Drives a main window the way a person does: through its buttons, boxes
// and lists, with boxes and dialogs answered by the FakeUi in force.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <memory>

#include "AddProjectDialog.h"
#include "GuiTestSupport.h"
#include "MainDialog.h"
#include "StatusLabel.h"

namespace larkspur::test {

class MainWindowDriver {
public:
    // Opens a main window on `workingDirectory`, as start-up does.
    MainWindowDriver(FakeUi& ui, const QString& workingDirectory) : m_ui(ui)
    {
        StoreWorkingDirectory(workingDirectory);
        window = std::make_unique<MainDialog>();
    }

    std::unique_ptr<MainDialog> window;

    QListWidget* projects() const { return child<QListWidget>("projectList"); }
    QListWidget* statistics() const { return child<QListWidget>("statisticsList"); }
    QLineEdit* name() const { return child<QLineEdit>("nameEdit"); }
    QLineEdit* localPath() const { return child<QLineEdit>("localPathEdit"); }
    QLineEdit* websiteUrl() const { return child<QLineEdit>("websiteUrlEdit"); }
    QComboBox* priority() const { return child<QComboBox>("priorityCombo"); }
    QComboBox* frequency() const { return child<QComboBox>("frequencyCombo"); }
    StatusLabel* status() const { return child<StatusLabel>("statusLabel"); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }

    const ProjectTable& table() const { return window->table(); }
    const ProjectRecord& slot(int index) const
    {
        return window->table().slots[static_cast<std::size_t>(index)];
    }

    // Adds a project through the Add dialog.
    void add(const QString& projectName)
    {
        m_ui.handlers.append([projectName](QDialog& dialog) {
            Child<QLineEdit>(dialog, "nameEdit")->setText(projectName);
            Child<QPushButton>(dialog, "okButton")->click();
        });
        button("addButton")->click();
    }

    // Adds a project and fills its boxes.
    void addSite(const QString& projectName, const QString& folder,
                 const QString& url = QStringLiteral("https://example.com/"))
    {
        add(projectName);
        localPath()->setText(folder);
        websiteUrl()->setText(url);
    }

    void select(int row) { projects()->setCurrentRow(row); }
    void walk() { button("walkButton")->click(); }

    QStringList statisticsTexts() const
    {
        QStringList texts;
        for (int i = 0; i < statistics()->count(); ++i)
            texts.append(statistics()->item(i)->text());
        return texts;
    }

private:
    template <typename T>
    T* child(const char* name) const
    {
        return Child<T>(*window, name);
    }

    FakeUi& m_ui;
};

// A file of a test tree: its name, its content and, when given, its time.
struct TestFile {
    QString name;
    QByteArray content = "x";
    QDateTime modified = {};
};

// A main window, with a FakeUi of its own, on a fresh working directory (the
// tree's root) that holds the given files when the window opens.
class FreshWindow : public TempTree, public UiScope, public MainWindowDriver {
public:
    explicit FreshWindow(std::initializer_list<TestFile> files = {}) : MainWindowDriver(UiScope::ui, write(files)) {}

private:
    QString write(std::initializer_list<TestFile> files)
    {
        for (const TestFile& f : files)
            file(f.name, f.content, f.modified);
        return path();
    }
};

// What most window tests start from: a FreshWindow whose "site" folder holds
// the given files, with one project of that name pointing at it.
class SiteWindow : public FreshWindow {
public:
    explicit SiteWindow(std::initializer_list<TestFile> files = {},
                        const QString& url = QStringLiteral("https://example.com/"))
    {
        folder(QStringLiteral("site"));
        for (const TestFile& f : files)
            file(QStringLiteral("site/") + f.name, f.content, f.modified);
        addSite(QStringLiteral("site"), site(), url);
    }

    QString site(const QString& relative = {}) const
    {
        return path(relative.isEmpty() ? QStringLiteral("site") : QStringLiteral("site/") + relative);
    }
};

}  // namespace larkspur::test
