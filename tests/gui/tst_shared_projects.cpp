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

using namespace larkspur;
using namespace larkspur::test;

namespace {

// Another program changing the table meanwhile, the way larkspur-cli does.
void Elsewhere(const QString& work, const std::function<void(ProjectTable&)>& change)
{
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

QByteArray Image(const std::vector<std::array<std::string, 3>>& projects)
{
    ProjectTable table;
    for (const auto& [name, path, url] : projects) {
        const int slot = AddProject(table, name);
        table.slots[slot].localPath = path;
        table.slots[slot].websiteUrl = url;
    }
    const std::string image = EncodeTable(table);
    return QByteArray(image.data(), qsizetype(image.size()));
}

}  // namespace

class SharedProjectsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void changesElsewhereSurviveClosing_data();
    void changesElsewhereSurviveClosing();
    void shownProjectIsWrittenBackUnchanged();
    void relativeFolderIsStoredAbsolute();
    void emptiedNameKeepsTheProject();
    void failedSaveSaysWhyAndLetsChoose();
};

void SharedProjectsTest::changesElsewhereSurviveClosing_data()
{
    QTest::addColumn<QString>("here");       // what the window does
    QTest::addColumn<QString>("elsewhere");  // what another program does meanwhile
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("message");
    const QString none;
    QTest::newRow("added elsewhere") << none << "add c" << QStringList{"a=u", "b=u", "c="} << none;
    QTest::newRow("removed elsewhere") << none << "remove b" << QStringList{"a=u"} << none;
    QTest::newRow("added on both sides") << "add w" << "add c" << QStringList{"a=u", "b=u", "c=", "w="} << none;
    QTest::newRow("removed here, added there") << "remove a" << "add c" << QStringList{"b=u", "c="} << none;
    QTest::newRow("edited on both sides") << "url a" << "url a" << QStringList{"b=u", "a=here"} << "a";
}

void SharedProjectsTest::changesElsewhereSurviveClosing()
{
    QFETCH(QString, here);
    QFETCH(QString, elsewhere);
    QFETCH(QStringList, expected);
    QFETCH(QString, message);
    TempTree tree;
    tree.file(QStringLiteral("saving.dat"), Image({{"a", "/a", "u"}, {"b", "/b", "u"}}));
    UiScope scope;
    MainWindowDriver main(scope.ui, tree.path());
    QVERIFY(ShowActive(*main.window));

    if (here == QLatin1String("add w")) {
        main.add(QStringLiteral("w"));
    } else if (here == QLatin1String("remove a")) {
        main.select(0);
        main.button("removeButton")->click();
    } else if (here == QLatin1String("url a")) {
        main.select(0);
        main.websiteUrl()->setText(QStringLiteral("here"));
    }
    Elsewhere(tree.path(), [&](ProjectTable& table) {
        if (elsewhere == QLatin1String("add c"))
            AddProject(table, "c");
        else if (elsewhere == QLatin1String("remove b"))
            RemoveProject(table, FindProject(table, "b"));
        else if (elsewhere == QLatin1String("url a")) {
            // The command line edits by removing and adding again.
            RemoveProject(table, FindProject(table, "a"));
            table.slots[AddProject(table, "a")].websiteUrl = "there";
        }
    });
    scope.ui.clear();
    main.window->close();
    QVERIFY(!main.window->isVisible());
    QCOMPARE(NamesOnDisk(tree.path()), expected);
    if (message.isEmpty()) {
        QVERIFY(scope.ui.messages.isEmpty());
    } else {
        QCOMPARE(scope.ui.messages.size(), 1);
        QVERIFY2(scope.ui.messages[0].text.endsWith(QLatin1String(": ") + message), qPrintable(scope.ui.texts().join('|')));
    }
}

// Texts of an older file in another code page: shown replaced, kept as bytes.
void SharedProjectsTest::shownProjectIsWrittenBackUnchanged()
{
    TempTree tree;
    const QByteArray before = Image({{"caf\xe9", "/srv/caf\xe9", "https://caf\xe9.example/"}, {"b", "/b", "u"}});
    tree.file(QStringLiteral("saving.dat"), before);
    {
        UiScope scope;
        MainWindowDriver main(scope.ui, tree.path());
        QVERIFY(ShowActive(*main.window));
        main.select(1);
        main.select(0);
        main.window->close();
        QVERIFY(!main.window->isVisible());
    }
    QCOMPARE(tree.read(QStringLiteral("saving.dat")), before);
    ProjectTable table;
    LoadProjects(table, tree.path().toStdString());
    QCOMPARE(FindProject(table, "caf\xe9"), 0);
}

void SharedProjectsTest::relativeFolderIsStoredAbsolute()
{
    TempTree tree;
    tree.folder(QStringLiteral("site"));
    tree.folder(QStringLiteral("elsewhere"));
    const QString started = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tree.path(QStringLiteral("elsewhere"))));
    UiScope scope;
    MainWindowDriver main(scope.ui, tree.path());
    main.addSite(QStringLiteral("p"), QStringLiteral("../site/"));
    QDir::setCurrent(started);
    QCOMPARE(QString::fromStdString(main.slot(0).localPath), tree.path(QStringLiteral("site/")));
}

// Retyping a name passes through an empty box; closing there must not lose
// the project.
void SharedProjectsTest::emptiedNameKeepsTheProject()
{
    TempTree tree;
    {
        UiScope scope;
        MainWindowDriver main(scope.ui, tree.path());
        main.add(QStringLiteral("alpha"));
        main.add(QStringLiteral("beta"));
        main.select(0);
        main.name()->clear();
        QVERIFY(ShowActive(*main.window));
        main.window->close();
        QVERIFY(!main.window->isVisible());
    }
    QCOMPARE(NamesOnDisk(tree.path()), QStringList({"alpha=", "beta="}));
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
    QVERIFY2(box.text.startsWith(QLatin1String("Failed to save application data!\n") + work + QLatin1String("/saving.dat")),
             qPrintable(box.text));
    QVERIFY2(box.text.endsWith(QLatin1String("No such file or directory")), qPrintable(box.text));
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
    scope.ui.answers = {QMessageBox::Discard};
    again.window->close();
    QVERIFY(!again.window->isVisible());
    QCOMPARE(scope.ui.messages.size(), 4);
    QCOMPARE(NamesOnDisk(work), QStringList({"alpha="}));
}

LARKSPUR_GUI_TEST_MAIN(SharedProjectsTest)
#include "tst_shared_projects.moc"
