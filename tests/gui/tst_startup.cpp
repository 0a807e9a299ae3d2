// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Start-up: the saving directory is asked for once, kept in the settings,
// and the main window opens on it.
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>

#include "GuiTestSupport.h"
#include "LarkspurApp.h"
#include "MainDialog.h"
#include "SelectSavingDirectoryDialog.h"

using namespace larkspur;
using namespace larkspur::test;

class StartupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void firstStartAsksStoresAndOpensMainWindow();
    void laterStartOpensMainWindowAtOnce();
    void cancelEndsWithoutMainWindow();
    void goneDirectoryIsAskedForAgainWithOldPath();
    void dialogRefusesUntilFolderExists_data();
    void dialogRefusesUntilFolderExists();
    void relativeFolderIsStoredAbsolute();
    void emptyPathGivesFocusBackToBox();
    void droppedFilesGiveFirstPath();
};

void StartupTest::firstStartAsksStoresAndOpensMainWindow()
{
    TempTree tree;
    const QString folder = tree.folder(QStringLiteral("work"));
    UiScope scope;
    QString seenCaption;
    QString storedWhenMainOpened;
    scope.ui.handlers.append([&](QDialog& dialog) {
        auto& select = dynamic_cast<SelectSavingDirectoryDialog&>(dialog);
        seenCaption = select.windowTitle();
        Child<QLineEdit>(select, "pathEdit")->setText(folder);
        Child<QPushButton>(select, "okButton")->click();
    });
    scope.ui.handlers.append([&](QDialog& dialog) {
        auto& main = dynamic_cast<MainDialog&>(dialog);
        storedWhenMainOpened = StoredWorkingDirectory();
        QCOMPARE(QString::fromStdString(main.workingDirectory()), folder);
        QCOMPARE(Child<QListWidget>(main, "projectList")->count(), 0);
        main.close();
    });

    LarkspurApp app;
    QCOMPARE(app.run(), LarkspurApp::Outcome::MainWindowClosed);

    QCOMPARE(seenCaption, QStringLiteral("Larkspur - Select saving directory"));
    QCOMPARE(scope.ui.dialogsRun,
             QStringList({"larkspur::SelectSavingDirectoryDialog", "larkspur::MainDialog"}));
    QCOMPARE(storedWhenMainOpened, folder);
    QVERIFY(scope.ui.messages.isEmpty());
    // Closing a window without a project had nothing to write.
    QVERIFY(!QFile::exists(QDir(folder).filePath(QStringLiteral("saving.dat"))));
}

void StartupTest::laterStartOpensMainWindowAtOnce()
{
    TempTree tree;
    StoreWorkingDirectory(tree.path());
    UiScope scope;
    scope.ui.handlers.append([](QDialog& dialog) { dialog.close(); });

    LarkspurApp app;
    QCOMPARE(app.run(), LarkspurApp::Outcome::MainWindowClosed);
    QCOMPARE(scope.ui.dialogsRun, QStringList({"larkspur::MainDialog"}));
}

void StartupTest::cancelEndsWithoutMainWindow()
{
    UiScope scope;
    scope.ui.handlers.append([](QDialog& dialog) {
        Child<QPushButton>(dialog, "cancelButton")->click();
    });

    LarkspurApp app;
    QCOMPARE(app.run(), LarkspurApp::Outcome::DirectoryNotChosen);
    QCOMPARE(scope.ui.dialogsRun, QStringList({"larkspur::SelectSavingDirectoryDialog"}));
    QVERIFY(StoredWorkingDirectory().isEmpty());
}

void StartupTest::goneDirectoryIsAskedForAgainWithOldPath()
{
    TempTree tree;
    const QString gone = tree.path(QStringLiteral("removed"));
    StoreWorkingDirectory(gone);
    const QString replacement = tree.folder(QStringLiteral("new"));
    UiScope scope;
    QString proposed;
    scope.ui.handlers.append([&](QDialog& dialog) {
        auto* edit = Child<QLineEdit>(dialog, "pathEdit");
        proposed = edit->text();
        // The dialog says why it is back.
        QVERIFY(Child<QLabel>(dialog, "missingLabel")->text().contains(gone + QStringLiteral(" is missing")));
        edit->setText(replacement);
        Child<QPushButton>(dialog, "okButton")->click();
    });
    scope.ui.handlers.append([](QDialog& dialog) { dialog.close(); });

    LarkspurApp app;
    QCOMPARE(app.run(), LarkspurApp::Outcome::MainWindowClosed);
    QCOMPARE(proposed, gone);
    QCOMPARE(StoredWorkingDirectory(), replacement);
}

void StartupTest::dialogRefusesUntilFolderExists_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QString() << QStringLiteral("Saving directory required");
    QTest::newRow("file") << QStringLiteral("a-file.txt")
                          << QStringLiteral("An existing directory required");
    QTest::newRow("missing") << QStringLiteral("no/such/folder")
                             << QStringLiteral("An existing directory required");
}

void StartupTest::dialogRefusesUntilFolderExists()
{
    QFETCH(QString, entry);
    QFETCH(QString, message);
    TempTree tree;
    tree.file(QStringLiteral("a-file.txt"));
    UiScope scope;
    SelectSavingDirectoryDialog dialog;
    Child<QLineEdit>(dialog, "pathEdit")->setText(entry.isEmpty() ? entry : tree.path(entry));
    Child<QPushButton>(dialog, "okButton")->click();

    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(scope.ui.messages.size(), 1);
    QCOMPARE(scope.ui.messages[0].text, message);
    QCOMPARE(scope.ui.messages[0].caption, QStringLiteral("Larkspur"));

    // Once the box names a folder, the same button ends the dialog.
    Child<QLineEdit>(dialog, "pathEdit")->setText(tree.path());
    Child<QPushButton>(dialog, "okButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.path(), tree.path());
    QCOMPARE(scope.ui.messages.size(), 1);
}

// A folder typed relative to where the program was started is kept as the
// folder it named then, not wherever a later start happens to be.
void StartupTest::relativeFolderIsStoredAbsolute()
{
    TempTree tree;
    tree.folder(QStringLiteral("work"));
    tree.folder(QStringLiteral("started/here"));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tree.path(QStringLiteral("started/here"))));
    UiScope scope;
    SelectSavingDirectoryDialog dialog;
    Child<QLineEdit>(dialog, "pathEdit")->setText(QStringLiteral("../../work/"));
    Child<QPushButton>(dialog, "okButton")->click();
    QDir::setCurrent(before);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.path(), tree.path(QStringLiteral("work/")));
}

void StartupTest::emptyPathGivesFocusBackToBox()
{
    UiScope scope;
    SelectSavingDirectoryDialog dialog;
    QVERIFY(ShowActive(dialog));
    auto* ok = Child<QPushButton>(dialog, "okButton");
    ok->setFocus();
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(scope.ui.texts(), QStringList({"Saving directory required"}));
    QVERIFY(Child<QLineEdit>(dialog, "pathEdit")->hasFocus());
    QVERIFY(dialog.isVisible());
}

void StartupTest::droppedFilesGiveFirstPath()
{
    TempTree tree;
    const QString first = tree.folder(QStringLiteral("first"));
    const QString second = tree.folder(QStringLiteral("second"));
    SelectSavingDirectoryDialog dialog;
    QVERIFY(dialog.acceptDrops());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);

    QVERIFY(drop.isAccepted());
    QCOMPARE(Child<QLineEdit>(dialog, "pathEdit")->text(), first);
    // A drop is not a choice: nothing is checked or accepted yet.
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

LARKSPUR_GUI_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
