// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The main window and saving.dat shared with other programs: what another
// Larkspur saved while the window was open survives its closing, a project
// the window merely showed is written back byte for byte, and a failed save
// says why and lets the user choose.
#include <QDir>
#include <QFile>

#include <functional>

#include "GuiTestSupport.h"
#include "MainWindowDriver.h"
#include "projects/projects.h"
#include "saving_image.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

// Another program changing the table meanwhile, the way larkspur-cli does.
void Elsewhere(const QString& work, const std::function<void(ProjectTable&)>& change)
{
    if (!change)
        return;
    const std::string dir = work.toStdString();
    ProjectFileLock lock;
    std::string error;
    QVERIFY(lock.lock(dir, error) == 0);
    ProjectTable table;
    QVERIFY(LoadProjects(table, dir) == 0);
    change(table);
    QVERIFY(SaveProjects(table, dir) == 0);
}

QStringList NamesOnDisk(const QString& work)
{
    ProjectTable table;
    LoadProjects(table, work.toStdString());
    QStringList names;
    for (int i = 0; i < table.projectCount; ++i)
        names.append(QString::fromStdString(table.slots[i].name) + QLatin1Char('=') +
                     QString::fromStdString(table.slots[i].websiteUrl));
    return names;
}

QByteArray Image(const std::vector<StoredProject>& projects)
{
    const std::string image = SavingFileImage(projects);
    return QByteArray(image.data(), qsizetype(image.size()));
}

// What the window does, and what another program does meanwhile.
using Here = std::function<void(FreshWindow&)>;
using There = std::function<void(ProjectTable&)>;
struct SharedCase {
    const char* what;
    Here here;
    There there;
    QStringList expected;  // name=url on disk after closing
    QString overruled;     // named by the one box closing shows
};

void RemoveFirst(FreshWindow& main)
{
    main.select(0);
    main.button("removeButton")->click();
}

const SharedCase kSharedCases[] = {
    {"added elsewhere", {}, [](ProjectTable& t) { AddProject(t, "c"); }, {"a=u", "b=u", "c="}, {}},
    {"removed elsewhere", {}, [](ProjectTable& t) { RemoveProject(t, 1); }, {"a=u"}, {}},
    {"added on both sides", [](FreshWindow& main) { main.add(QStringLiteral("w")); },
     [](ProjectTable& t) { AddProject(t, "c"); }, {"a=u", "b=u", "c=", "w="}, {}},
    {"removed here, added there", RemoveFirst, [](ProjectTable& t) { AddProject(t, "c"); }, {"b=u", "c="}, {}},
    {"edited on both sides",
     [](FreshWindow& main) {
         main.select(0);
         main.websiteUrl()->setText(QStringLiteral("here"));
     },
     // The command line edits by removing and adding again.
     [](ProjectTable& t) {
         RemoveProject(t, 0);
         t.slots[AddProject(t, "a")].websiteUrl = "there";
     },
     {"b=u", "a=here"}, QStringLiteral("a")},
    // A working directory that cannot be written (its lock cannot be
    // taken) need not be, when nothing changed: closing asks nothing.
    {"nothing changed", [](FreshWindow& main) { QDir(main.path()).mkdir(QStringLiteral("saving.dat.lock")); }, {},
     {"a=u", "b=u"}, {}},
};

}  // namespace

class SharedProjectsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void changesElsewhereSurviveClosing_data();
    void changesElsewhereSurviveClosing();
    void fullTableElsewhereLetsTheUserStay();
    void shownProjectIsWrittenBackUnchanged();
    void relativeFolderIsStoredAbsolute();
    void emptiedNameKeepsTheProject();
    void failedSaveSaysWhyAndLetsChoose();
};

void SharedProjectsTest::changesElsewhereSurviveClosing_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < int(std::size(kSharedCases)); ++row)
        QTest::newRow(kSharedCases[row].what) << row;
}

void SharedProjectsTest::changesElsewhereSurviveClosing()
{
    QFETCH(int, row);
    const SharedCase& test = kSharedCases[row];
    FreshWindow main({{"saving.dat", Image({{"a", "/a", "u"}, {"b", "/b", "u"}})}});
    QVERIFY(ShowActive(*main.window));
    if (test.here)
        test.here(main);
    Elsewhere(main.path(), test.there);
    main.ui.clear();
    main.window->close();
    QVERIFY(!main.window->isVisible());
    QCOMPARE(NamesOnDisk(main.path()), test.expected);
    QCOMPARE(main.ui.messages.size(), test.overruled.isEmpty() ? 0 : 1);
    if (!test.overruled.isEmpty())
        QVERIFY2(main.ui.messages[0].text.endsWith(QLatin1String(": ") + test.overruled), qPrintable(main.ui.texts().join('|')));
}

// Another program filled the table meanwhile: the project added here fits
// no more, and closing lets the user stay and make room.
void SharedProjectsTest::fullTableElsewhereLetsTheUserStay()
{
    FreshWindow main({{"saving.dat", Image({{"a", "/a", "u"}})}});
    main.add(QStringLiteral("w"));
    QVERIFY(ShowActive(*main.window));
    Elsewhere(main.path(), [](ProjectTable& t) {
        while (AddProject(t, "p" + std::to_string(t.projectCount)) >= 0) {
        }
    });
    main.ui.answers = {QMessageBox::Cancel};
    main.window->close();
    QVERIFY(main.window->isVisible());
    QCOMPARE(main.ui.messages.size(), 1);
    QVERIFY2(main.ui.messages[0].text.contains(QLatin1String("cannot be saved: w\n")), qPrintable(main.ui.messages[0].text));
    QCOMPARE(main.ui.messages[0].buttons, QMessageBox::Discard | QMessageBox::Cancel);
    QCOMPARE(NamesOnDisk(main.path()).size(), kMaxProjects);
    QVERIFY(!NamesOnDisk(main.path()).contains(QStringLiteral("w=")));

    main.ui.answers = {QMessageBox::Ok};
    RemoveFirst(main);
    main.window->close();
    QVERIFY(!main.window->isVisible());
    const QStringList names = NamesOnDisk(main.path());
    QCOMPARE(names.size(), kMaxProjects);
    QVERIFY(names.contains(QStringLiteral("w=")) && !names.contains(QStringLiteral("a=u")));
}

// Texts of an older file in another code page: shown replaced, kept as bytes
// when the file is written for a change elsewhere.
void SharedProjectsTest::shownProjectIsWrittenBackUnchanged()
{
    FreshWindow main({{"saving.dat", Image({{"caf\xe9", "/srv/caf\xe9", "https://caf\xe9.example/"}, {"b", "/b", "u"}})}});
    QVERIFY(ShowActive(*main.window));
    main.select(1);
    main.websiteUrl()->setText(QStringLiteral("v"));
    main.select(0);
    main.window->close();
    QVERIFY(!main.window->isVisible());
    QCOMPARE(main.read(QStringLiteral("saving.dat")),
             Image({{"caf\xe9", "/srv/caf\xe9", "https://caf\xe9.example/"}, {"b", "/b", "v"}}));
}

void SharedProjectsTest::relativeFolderIsStoredAbsolute()
{
    FreshWindow main;
    main.folder(QStringLiteral("site"));
    main.folder(QStringLiteral("elsewhere"));
    const QString started = QDir::currentPath();
    QVERIFY(QDir::setCurrent(main.path(QStringLiteral("elsewhere"))));
    main.addSite(QStringLiteral("p"), QStringLiteral("../site/"));
    QDir::setCurrent(started);
    QCOMPARE(QString::fromStdString(main.slot(0).localPath), main.path(QStringLiteral("site/")));
}

// Retyping a name passes through an empty box; closing there must not lose
// the project.
void SharedProjectsTest::emptiedNameKeepsTheProject()
{
    FreshWindow main;
    main.add(QStringLiteral("alpha"));
    main.add(QStringLiteral("beta"));
    main.select(0);
    main.name()->clear();
    QVERIFY(ShowActive(*main.window));
    main.window->close();
    QVERIFY(!main.window->isVisible());
    QCOMPARE(NamesOnDisk(main.path()), QStringList({"alpha=", "beta="}));
}

void SharedProjectsTest::failedSaveSaysWhyAndLetsChoose()
{
    TempTree tree;
    const QString work = tree.folder(QStringLiteral("work"));
    UiScope scope;
    MainWindowDriver main(scope.ui, work);
    main.add(QStringLiteral("alpha"));
    QVERIFY(ShowActive(*main.window));
    // The working directory goes away while the window is open.
    QVERIFY(QDir(work).removeRecursively());

    scope.ui.answers = {QMessageBox::Cancel};
    main.window->close();
    QVERIFY(main.window->isVisible());
    QCOMPARE(scope.ui.messages.size(), 1);
    const FakeUi::Message box = scope.ui.messages[0];
    QCOMPARE(box.text, QLatin1String("Failed to save application data!\n") + work
                           + QLatin1String("/saving.dat: No such file or directory"));
    QCOMPARE(box.buttons, QMessageBox::Retry | QMessageBox::Discard | QMessageBox::Cancel);
    QCOMPARE(box.buttonTexts.value(0).second, QStringLiteral("Close without saving"));

    // Retry tries again; the folder back in place, the next close saves.
    scope.ui.answers = {QMessageBox::Retry, QMessageBox::Cancel};
    main.window->close();
    QCOMPARE(scope.ui.messages.size(), 3);
    QVERIFY(main.window->isVisible());
    QVERIFY(QDir().mkpath(work));
    main.window->close();
    QVERIFY(!main.window->isVisible());
    QCOMPARE(scope.ui.messages.size(), 3);
    QCOMPARE(NamesOnDisk(work), QStringList({"alpha="}));

    // Close without saving leaves the file as it was.
    MainWindowDriver again(scope.ui, work);
    again.add(QStringLiteral("beta"));
    QVERIFY(ShowActive(*again.window));
    QVERIFY(QFile::remove(QDir(work).filePath(QStringLiteral("saving.dat.lock"))));
    QVERIFY(QDir(work).mkdir(QStringLiteral("saving.dat.lock")));
    // Escape closes the same way as the close button.
    scope.ui.answers = {QMessageBox::Discard};
    QTest::keyClick(again.window.get(), Qt::Key_Escape);
    QVERIFY(!again.window->isVisible());
    QCOMPARE(scope.ui.messages.size(), 4);
    QCOMPARE(NamesOnDisk(work), QStringList({"alpha="}));
}

LARKSPUR_GUI_TEST_MAIN(SharedProjectsTest)
#include "tst_shared_projects.moc"
