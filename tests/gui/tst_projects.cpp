// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The project list and boxes of the main window: add, remove, show, write
// back, and the table's trip through saving.dat when the window opens and
// closes.
#include <QFile>
#include <QKeyEvent>

#include "GuiTestSupport.h"
#include "MainWindowDriver.h"
#include "projects/projects.h"
#include "saving_image.h"

using namespace larkspur;
using namespace larkspur::test;

class ProjectsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void freshStartShowsDefaults();
    void addAppendsSelectsAndShows();
    void addThatChangesNothing_data();
    void addThatChangesNothing();
    void addRefusedWhenTableIsFull();
    void longNameStaysInsideItsField();
    void boxesWriteBackIntoSelectedProject();
    void removeAsksThenShiftsSlots();
    void removeLastProjectClearsBoxes();
    void clickBelowProjectsKeepsSelection();
    void newProjectInAClearedSlotGetsDefaults();
    void emptyNameWarnsWhenLeavingBox();
    void tableSurvivesCloseAndReopen();
    void everyWayOfClosingSaves_data();
    void everyWayOfClosingSaves();
    void fileWithoutNamesLeavesCombosUnset();
    void unreadableFileIsKeptNotOverwritten();
};

void ProjectsTest::freshStartShowsDefaults()
{
    FreshWindow main;

    QCOMPARE(main.window->windowTitle(), QStringLiteral("Larkspur"));
    QCOMPARE(main.projects()->count(), 0);
    QVERIFY(main.name()->text().isEmpty());
    QVERIFY(main.localPath()->text().isEmpty());
    QVERIFY(main.websiteUrl()->text().isEmpty());
    QCOMPARE(main.priority()->currentText(), QStringLiteral("0.6"));
    QCOMPARE(main.frequency()->currentText(), QStringLiteral("weekly"));
    // A combo row is the stored index, so the rows must be the core's texts.
    QCOMPARE(main.priority()->count(), kPriorityCount);
    QCOMPARE(main.frequency()->count(), kFrequencyCount);
    for (int i = 0; i < kPriorityCount; ++i)
        QCOMPARE(main.priority()->itemText(i), QString::fromLatin1(kPriorityTexts[i]));
    for (int i = 0; i < kFrequencyCount; ++i)
        QCOMPARE(main.frequency()->itemText(i), QString::fromLatin1(kFrequencyTexts[i]));
    QVERIFY(main.ui.messages.isEmpty());
}

void ProjectsTest::addAppendsSelectsAndShows()
{
    FreshWindow main;

    main.add(QStringLiteral("alpha"));
    main.add(QStringLiteral("beta"));

    QCOMPARE(main.ui.dialogsRun,
             QStringList({"larkspur::AddProjectDialog", "larkspur::AddProjectDialog"}));
    QCOMPARE(main.table().projectCount, 2);
    QCOMPARE(main.projects()->count(), 2);
    QCOMPARE(main.window->selectedRow(), 1);
    QCOMPARE(main.projects()->item(0)->text(), QStringLiteral("alpha"));
    QCOMPARE(main.projects()->item(1)->text(), QStringLiteral("beta"));
    QCOMPARE(main.slot(1).name, std::string("beta"));
    QCOMPARE(main.name()->text(), QStringLiteral("beta"));
    // Never-used slots of a fresh table carry the defaults.
    QCOMPARE(main.priority()->currentText(), QStringLiteral("0.6"));
    QCOMPARE(main.frequency()->currentText(), QStringLiteral("weekly"));
}

void ProjectsTest::addThatChangesNothing_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("name");
    QTest::newRow("cancel") << false << QStringLiteral("gamma");
    QTest::newRow("empty name") << true << QString();
}

void ProjectsTest::addThatChangesNothing()
{
    QFETCH(bool, confirm);
    QFETCH(QString, name);
    FreshWindow main;
    main.add(QStringLiteral("alpha"));

    main.ui.handlers.append([&](QDialog& dialog) {
        Child<QLineEdit>(dialog, "nameEdit")->setText(name);
        Child<QPushButton>(dialog, confirm ? "okButton" : "cancelButton")->click();
    });
    main.button("addButton")->click();

    QCOMPARE(main.table().projectCount, 1);
    QCOMPARE(main.projects()->count(), 1);
    QCOMPARE(main.window->selectedRow(), 0);
}

void ProjectsTest::addRefusedWhenTableIsFull()
{
    FreshWindow main;
    for (int i = 0; i < kMaxProjects; ++i)
        main.add(QStringLiteral("site %1").arg(i));
    QCOMPARE(main.table().projectCount, kMaxProjects);
    main.ui.clear();

    main.button("addButton")->click();

    QVERIFY(main.ui.dialogsRun.isEmpty());
    QCOMPARE(main.ui.messages.size(), 1);
    QCOMPARE(main.ui.messages[0].text, QStringLiteral("32 projects in Maximum"));
    QCOMPARE(main.ui.messages[0].caption, QStringLiteral("Add projects"));
    QCOMPARE(main.projects()->count(), kMaxProjects);
}

void ProjectsTest::longNameStaysInsideItsField()
{
    FreshWindow main;
    main.add(QString(600, QLatin1Char('n')));

    // The dialog takes 512 characters; a name holds 259 bytes, and the box
    // says so when it cuts.
    const QString said = QStringLiteral("A project name holds at most 259 bytes; the rest was cut.");
    QCOMPARE(main.ui.texts(), QStringList({said}));
    QCOMPARE(main.slot(0).name.size(), std::size_t(259));
    QVERIFY(main.slot(0).localPath.empty());
    QCOMPARE(main.projects()->item(0)->text().size(), 259);
    // The window's name box counts bytes too: 130 letters of two bytes.
    main.name()->setText(QString(130, QChar(0xE9)));
    QCOMPARE(main.ui.texts(), QStringList({said, said}));
    QCOMPARE(main.name()->text(), QString(129, QChar(0xE9)));
    QCOMPARE(main.slot(0).name, QString(129, QChar(0xE9)).toStdString());
}

void ProjectsTest::boxesWriteBackIntoSelectedProject()
{
    FreshWindow main;
    main.add(QStringLiteral("alpha"));
    main.add(QStringLiteral("beta"));
    main.select(0);

    QTest::keyClicks(main.name(), QStringLiteral("-one"));
    main.localPath()->setText(QStringLiteral("/srv/alpha"));
    main.websiteUrl()->setText(QStringLiteral("https://alpha.example/"));
    main.priority()->setCurrentIndex(10);
    main.frequency()->setCurrentIndex(0);

    const ProjectRecord& alpha = main.slot(0);
    QCOMPARE(alpha.name, std::string("alpha-one"));
    QCOMPARE(main.projects()->item(0)->text(), QStringLiteral("alpha-one"));
    QCOMPARE(alpha.localPath, std::string("/srv/alpha"));
    QCOMPARE(alpha.websiteUrl, std::string("https://alpha.example/"));
    QCOMPARE(alpha.priorityIndex, 10);
    QCOMPARE(alpha.frequencyIndex, 0);
    // The other project is untouched, and showing it fills the boxes.
    QCOMPARE(main.slot(1).name, std::string("beta"));
    QVERIFY(main.slot(1).localPath.empty());
    main.select(1);
    QCOMPARE(main.name()->text(), QStringLiteral("beta"));
    QVERIFY(main.localPath()->text().isEmpty());
    QCOMPARE(main.priority()->currentText(), QStringLiteral("0.6"));

    main.select(0);
    QCOMPARE(main.name()->text(), QStringLiteral("alpha-one"));
    QCOMPARE(main.localPath()->text(), QStringLiteral("/srv/alpha"));
    QCOMPARE(main.websiteUrl()->text(), QStringLiteral("https://alpha.example/"));
    QCOMPARE(main.priority()->currentText(), QStringLiteral("1.0"));
    QCOMPARE(main.frequency()->currentText(), QStringLiteral("always"));
    // Showing a project wrote its own values back, unchanged.
    QCOMPARE(main.slot(0).name, std::string("alpha-one"));
    QCOMPARE(main.slot(1).name, std::string("beta"));

    // With no project selected the boxes write nowhere.
    main.projects()->clearSelection();
    QCOMPARE(main.window->selectedRow(), -1);
    main.websiteUrl()->setText(QStringLiteral("https://nowhere.example/"));
    QCOMPARE(main.slot(0).websiteUrl, std::string("https://alpha.example/"));
    QCOMPARE(main.slot(1).websiteUrl, std::string());
}

void ProjectsTest::removeAsksThenShiftsSlots()
{
    FreshWindow main;
    main.addSite(QStringLiteral("alpha"), QStringLiteral("/a"));
    main.addSite(QStringLiteral("beta"), QStringLiteral("/b"));
    main.addSite(QStringLiteral("gamma"), QStringLiteral("/c"));
    main.select(1);
    main.ui.clear();

    main.ui.answers = {QMessageBox::Cancel};
    main.button("removeButton")->click();
    QCOMPARE(main.ui.messages.size(), 1);
    QCOMPARE(main.ui.messages[0].text, QStringLiteral("Remove project beta? Its sitemap files stay on disk."));
    QCOMPARE(main.ui.messages[0].caption, QStringLiteral("Remove project"));
    QCOMPARE(main.ui.messages[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(main.table().projectCount, 3);

    main.ui.answers = {QMessageBox::Ok};
    main.button("removeButton")->click();
    QCOMPARE(main.table().projectCount, 2);
    QCOMPARE(main.projects()->count(), 2);
    // Rows and slots stay in step, and the first project is shown.
    for (int row = 0; row < 2; ++row)
        QCOMPARE(main.projects()->item(row)->text(), QString::fromStdString(main.slot(row).name));
    QCOMPARE(main.slot(1).name, std::string("gamma"));
    QCOMPARE(main.slot(1).localPath, std::string("/c"));
    QCOMPARE(main.window->selectedRow(), 0);
    QCOMPARE(main.name()->text(), QStringLiteral("alpha"));
    QVERIFY(main.slot(31).name.empty());
    QCOMPARE(main.slot(31).priorityIndex, 0);
    QCOMPARE(main.slot(31).frequencyIndex, 0);

    // Without a selection Remove neither asks nor removes.
    main.projects()->clearSelection();
    main.ui.clear();
    main.button("removeButton")->click();
    QVERIFY(main.ui.messages.isEmpty());
    QCOMPARE(main.table().projectCount, 2);
}

// As a list box does: a click on no project leaves the one shown.
void ProjectsTest::clickBelowProjectsKeepsSelection()
{
    SiteWindow main;
    QVERIFY(ShowActive(*main.window));
    QWidget* empty = main.projects()->viewport();
    QTest::mouseClick(empty, Qt::LeftButton, {}, QPoint(5, empty->height() - 5));
    QCOMPARE(main.window->selectedRow(), 0);
    QVERIFY(main.name()->isEnabled());
}

void ProjectsTest::removeLastProjectClearsBoxes()
{
    FreshWindow main;
    main.addSite(QStringLiteral("alpha"), main.path());
    main.priority()->setCurrentIndex(2);
    main.frequency()->setCurrentIndex(5);
    main.walk();
    QVERIFY(main.statistics()->count() > 0);

    main.button("removeButton")->click();

    QCOMPARE(main.projects()->count(), 0);
    QVERIFY(main.name()->text().isEmpty());
    QVERIFY(main.localPath()->text().isEmpty());
    QVERIFY(main.websiteUrl()->text().isEmpty());
    QCOMPARE(main.statistics()->count(), 0);
    QCOMPARE(main.priority()->currentIndex(), 6);
    QCOMPARE(main.frequency()->currentIndex(), 3);
}

void ProjectsTest::newProjectInAClearedSlotGetsDefaults()
{
    FreshWindow main;
    for (int i = 0; i < kMaxProjects; ++i)
        main.add(QStringLiteral("site %1").arg(i));
    main.select(5);
    main.button("removeButton")->click();
    main.add(QStringLiteral("last"));

    QCOMPARE(main.window->selectedRow(), 31);

    QCOMPARE(main.priority()->currentText(), QStringLiteral("0.6"));
    QCOMPARE(main.frequency()->currentText(), QStringLiteral("weekly"));
}

void ProjectsTest::emptyNameWarnsWhenLeavingBox()
{
    FreshWindow main;
    main.add(QStringLiteral("alpha"));
    QVERIFY(ShowActive(*main.window));

    main.name()->setFocus();
    main.name()->selectAll();
    QTest::keyClick(main.name(), Qt::Key_Backspace);
    QVERIFY(main.ui.messages.isEmpty());
    main.websiteUrl()->setFocus();

    QCOMPARE(main.ui.texts(), QStringList({"Project name can't be NULL!"}));
    QCOMPARE(main.ui.messages[0].caption, QStringLiteral("Larkspur"));
    QVERIFY(main.name()->hasFocus());
    // A warning only: the row shows the empty box, the project keeps its
    // name until another is typed.
    QCOMPARE(main.slot(0).name, std::string("alpha"));
    QCOMPARE(main.projects()->item(0)->text(), QString());

    // Another project's name is not taken either: options are kept by name.
    main.add(QStringLiteral("beta"));
    main.name()->setFocus();
    main.name()->setText(QStringLiteral("alpha"));
    main.websiteUrl()->setFocus();
    QCOMPARE(main.ui.texts().last(), QStringLiteral("a project named 'alpha' exists already"));
    QVERIFY(main.name()->hasFocus());
    QCOMPARE(main.slot(1).name, std::string("beta"));
}

void ProjectsTest::tableSurvivesCloseAndReopen()
{
    SiteWindow main({{"index.html", "<html></html>"}}, QStringLiteral("https://alpha.example/"));
    // Index 10 is byte 0x0A, which the file keeps as CR LF.
    main.priority()->setCurrentIndex(10);
    main.frequency()->setCurrentIndex(6);
    main.walk();
    main.addSite(QStringLiteral("beta"), QStringLiteral("/b"), QStringLiteral("https://b.example/"));
    QVERIFY(ShowActive(*main.window));
    main.window->close();
    QVERIFY(!main.window->isVisible());
    QVERIFY(main.ui.messages.isEmpty());
    QVERIFY(QFileInfo(main.path(QStringLiteral("saving.dat"))).size() >= qint64(kTableSize));

    MainWindowDriver again(main.ui, main.path());
    QCOMPARE(again.projects()->count(), 2);
    QCOMPARE(again.window->selectedRow(), 0);
    QCOMPARE(again.name()->text(), QStringLiteral("site"));
    QCOMPARE(again.localPath()->text(), main.site());
    QCOMPARE(again.websiteUrl()->text(), QStringLiteral("https://alpha.example/"));
    QCOMPARE(again.priority()->currentText(), QStringLiteral("1.0"));
    QCOMPARE(again.frequency()->currentText(), QStringLiteral("never"));
    // Scans do not outlive the run: walk again before saving.
    QVERIFY(!again.slot(0).walked());
    QCOMPARE(again.statistics()->count(), 0);
    again.button("saveXmlButton")->click();
    QCOMPARE(main.ui.texts(), QStringList({"Walk the path first!"}));
    again.select(1);
    QCOMPARE(again.name()->text(), QStringLiteral("beta"));
}

void ProjectsTest::everyWayOfClosingSaves_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close button or Alt+F4") << QStringLiteral("close");
    QTest::newRow("escape") << QStringLiteral("escape");
}

void ProjectsTest::everyWayOfClosingSaves()
{
    QFETCH(QString, how);
    FreshWindow main;
    main.add(QStringLiteral("kept"));
    QVERIFY(ShowActive(*main.window));
    if (how == QLatin1String("escape")) {
        QTest::keyClick(main.window.get(), Qt::Key_Escape);
    } else {
        // The window manager's close (button or Alt+F4) arrives as a close
        // event.
        QCloseEvent event;
        QApplication::sendEvent(main.window.get(), &event);
    }
    QTRY_VERIFY(!main.window->isVisible());
    MainWindowDriver again(main.ui, main.path());
    QCOMPARE(again.projects()->count(), 1);
    QCOMPARE(again.projects()->item(0)->text(), QStringLiteral("kept"));
}

void ProjectsTest::fileWithoutNamesLeavesCombosUnset()
{
    const std::string image = SavingFileImage({});
    FreshWindow main({{"saving.dat", QByteArray(image.data(), qsizetype(image.size()))}});
    QCOMPARE(main.projects()->count(), 0);
    QCOMPARE(main.window->selectedRow(), -1);
    QVERIFY(main.name()->text().isEmpty());
    QCOMPARE(main.priority()->currentIndex(), -1);
    QCOMPARE(main.frequency()->currentIndex(), -1);
}

void ProjectsTest::unreadableFileIsKeptNotOverwritten()
{
    // A saving.dat that cannot be read (here a folder in its place, which no
    // permission bits can open for root either) must survive the session,
    // and so must the one an earlier session set aside.
    FreshWindow main({{"saving.dat/inside", "old"}, {"saving.dat.bak", "earlier"}});
    // The box waits for the window, to appear centred on it.
    QVERIFY(main.ui.messages.isEmpty());
    QVERIFY(ShowActive(*main.window));
    QTRY_COMPARE(main.ui.messages.size(), 1);
    QVERIFY(main.ui.messages[0].text.startsWith(QStringLiteral("Failed to load application data!")));
    QVERIFY2(main.ui.messages[0].text.endsWith(QStringLiteral("The file will be kept as saving.dat.bak1.")),
             qPrintable(main.ui.messages[0].text));
    QVERIFY(main.ui.messages[0].parentShown);
    QCOMPARE(main.projects()->count(), 0);
    main.add(QStringLiteral("new"));
    main.window->close();
    QVERIFY(!main.window->isVisible());
    QVERIFY(QFile::exists(main.path(QStringLiteral("saving.dat.bak1/inside"))));
    QCOMPARE(main.read(QStringLiteral("saving.dat.bak")), QByteArray("earlier"));
    main.ui.clear();
    MainWindowDriver again(main.ui, main.path());
    QVERIFY(main.ui.messages.isEmpty());
    QCOMPARE(again.projects()->count(), 1);
}

LARKSPUR_GUI_TEST_MAIN(ProjectsTest)
#include "tst_projects.moc"
