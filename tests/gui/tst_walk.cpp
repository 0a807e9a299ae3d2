// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// "walk the path": the statistics list with its check marks, walking again,
// the scan's release when the folder changes, errors, and the progress
// dialog of long walks.
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QThread>

#include <atomic>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "GuiTestSupport.h"
#include "MainWindowDriver.h"
#include "WalkProgressDialog.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

// A statistics line: its text, its mark and whether the mark is there to
// set (the extensions' lines) or not (the totals, plain text).
struct Line {
    QString text;
    bool checked;
    bool markable;
    bool operator==(const Line&) const = default;
};

QList<Line> Lines(const QListWidget* list)
{
    QList<Line> lines;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        // Every line reads as enabled text, in every theme.
        if (!item->flags().testFlag(Qt::ItemIsEnabled))
            qWarning("disabled statistics line %s", qPrintable(item->text()));
        lines.append({item->text(), item->checkState() == Qt::Checked,
                      item->flags().testFlag(Qt::ItemIsUserCheckable)});
    }
    return lines;
}

// A site of many small folders, so that a walk reports often.
void BuildLargeSite(TempTree& tree, int folders, int filesPerFolder)
{
    for (int f = 0; f < folders; ++f) {
        for (int i = 0; i < filesPerFolder; ++i)
            tree.file(QStringLiteral("site/part%1/page%2.html").arg(f).arg(i), "p");
    }
}

}  // namespace

class WalkTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void statisticsLinesAndMarks();
    void marksSetTheExtensions();
    void manyGroupsFlowIntoColumns();
    void emptyFolderGivesZeroLines();
    void invalidFolderIsRefused_data();
    void invalidFolderIsRefused();
    void nothingWithoutSelection();
    void enterWalks();
    void walkingAgainSeesChanges();
    void changedFolderReleasesScan();
    void showingProjectsRebuildsStatistics();
    void unlistableFolderShowsError();
    void linksOfOtherUsersAreSaid();
    void shortWalkShowsNoProgress();
    void longWalkShowsProgressAndFinishes();
    void cancelLeavesProjectAsItWas_data();
    void cancelLeavesProjectAsItWas();
};

void WalkTest::statisticsLinesAndMarks()
{
    SiteWindow main({{"a.HTML"}, {"b.html"}, {"docs/c.htm"}, {"docs/x.htm", ""}, {"archive.tar.gz"}, {"README"},
                     {"style.css", ""}});

    main.walk();

    QVERIFY(main.ui.messages.isEmpty());
    QVERIFY(main.slot(0).walked());
    const QList<Line> lines = Lines(main.statistics());
    QCOMPARE(lines.size(), 2 + 5);
    QCOMPARE(lines[0], (Line{QStringLiteral("file totally: 7"), false, false}));
    QCOMPARE(lines[1], (Line{QStringLiteral("empty files: 2"), false, false}));
    // Group order is the walk's; a group is named after its first file, so
    // .html is spelt either way.
    QList<Line> groups = lines.mid(2);
    const auto html = std::find_if(groups.begin(), groups.end(), [](const Line& line) {
        return line.text.compare(QStringLiteral(".html files: 2"), Qt::CaseInsensitive) == 0;
    });
    QVERIFY(html != groups.end());
    QVERIFY(html->checked);
    QVERIFY(html->markable);
    groups.erase(html);
    QVERIFY(groups.contains(Line{QStringLiteral(".htm files: 2"), true, true}));
    QVERIFY(groups.contains(Line{QStringLiteral(".gz files: 1"), false, true}));
    QVERIFY(groups.contains(Line{QStringLiteral(" files: 1"), false, false}));
    QVERIFY(groups.contains(Line{QStringLiteral(".css files: 1"), false, true}));
}

// A mark is the project's extensions option: setting one makes its files
// entries, as the Options dialog would.
void WalkTest::marksSetTheExtensions()
{
    SiteWindow main({{"a.html"}, {"b.txt"}});
    main.walk();
    QVERIFY(ShowActive(*main.window));

    QListWidget* list = main.statistics();
    for (int i = 0; i < list->count(); ++i) {
        const QRect rect = list->visualItemRect(list->item(i));
        if (list->item(i)->text().startsWith(QLatin1String(".txt")))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.topLeft() + QPoint(8, rect.height() / 2));
        else if (list->item(i)->text().startsWith(QLatin1String(".html")))
            list->item(i)->setCheckState(Qt::Unchecked);
    }
    QCOMPARE(main.window->store().options(0).extensions, (std::vector<std::string>{"htm", "txt"}));
    QCOMPARE(list->selectionMode(), QAbstractItemView::NoSelection);
}

void WalkTest::manyGroupsFlowIntoColumns()
{
    SiteWindow main;
    for (int i = 0; i < 40; ++i)
        main.file(QStringLiteral("site/file%1.ext%1").arg(i));
    QVERIFY(ShowActive(*main.window));
    main.walk();

    QListWidget* list = main.statistics();
    QCOMPARE(list->count(), 42);
    QSet<int> columns;
    for (int i = 0; i < list->count(); ++i) {
        const QRect rect = list->visualItemRect(list->item(i));
        columns.insert(rect.x() + list->horizontalScrollBar()->value());
        // No line is cut short.
        QVERIFY(rect.width() > list->fontMetrics().horizontalAdvance(list->item(i)->text()));
    }
    QVERIFY(columns.size() >= 3);
    // Two and a half columns show at a time; the rest is reached sideways.
    QVERIFY(list->horizontalScrollBar()->maximum() > 0);
    QVERIFY(list->verticalScrollBar()->maximum() == 0 || !list->verticalScrollBar()->isVisible());
}

void WalkTest::emptyFolderGivesZeroLines()
{
    SiteWindow main;
    main.walk();
    QCOMPARE(main.statisticsTexts(), QStringList({"file totally: 0", "empty files: 0"}));
}

void WalkTest::invalidFolderIsRefused_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing") << QStringLiteral("no-such-folder");
    QTest::newRow("a file") << QStringLiteral("file.html");
    QTest::newRow("empty") << QString();
}

void WalkTest::invalidFolderIsRefused()
{
    QFETCH(QString, relative);
    FreshWindow main({{"file.html"}});
    main.addSite(QStringLiteral("site"), relative.isEmpty() ? relative : main.path(relative));
    QVERIFY(ShowActive(*main.window));
    main.websiteUrl()->setFocus();

    main.walk();

    QCOMPARE(main.ui.texts(), QStringList({"Local filepath is invalid!"}));
    QVERIFY(main.localPath()->hasFocus());
    QVERIFY(!main.slot(0).walked());
    QCOMPARE(main.statistics()->count(), 0);
}

void WalkTest::nothingWithoutSelection()
{
    FreshWindow main;
    main.walk();
    QVERIFY(main.ui.messages.isEmpty());
    QCOMPARE(main.statistics()->count(), 0);
}

void WalkTest::enterWalks()
{
    SiteWindow main({{"a.html"}});
    QVERIFY(ShowActive(*main.window));
    main.localPath()->setFocus();

    QTest::keyClick(main.localPath(), Qt::Key_Return);

    QVERIFY(main.slot(0).walked());
    QCOMPARE(main.statisticsTexts().value(0), QStringLiteral("file totally: 1"));
}

void WalkTest::walkingAgainSeesChanges()
{
    SiteWindow main({{"a.html"}});
    main.walk();
    QCOMPARE(main.statisticsTexts().value(0), QStringLiteral("file totally: 1"));

    main.file(QStringLiteral("site/b.html"));
    main.file(QStringLiteral("site/c.txt"));
    main.walk();

    QCOMPARE(main.statisticsTexts(),
             QStringList({"file totally: 3", "empty files: 0", ".html files: 2", ".txt files: 1"}));
}

void WalkTest::changedFolderReleasesScan()
{
    FreshWindow main({{"one/a.html"}, {"two/b.html"}});
    main.addSite(QStringLiteral("site"), main.path(QStringLiteral("one")));
    main.walk();
    QVERIFY(main.slot(0).walked());

    main.localPath()->setText(main.path(QStringLiteral("two")));

    QVERIFY(!main.slot(0).walked());
    QCOMPARE(main.statistics()->count(), 0);
    main.button("saveXmlButton")->click();
    QCOMPARE(main.ui.texts(), QStringList({"Walk the path first!"}));
    QVERIFY(!QFile::exists(main.path(QStringLiteral("one/sitemap.xml"))));
    QVERIFY(!QFile::exists(main.path(QStringLiteral("two/sitemap.xml"))));
}

void WalkTest::showingProjectsRebuildsStatistics()
{
    FreshWindow main({{"one/a.html"}, {"two/b.htm"}, {"two/c.png"}});
    main.addSite(QStringLiteral("one"), main.path(QStringLiteral("one")));
    main.walk();
    main.addSite(QStringLiteral("two"), main.path(QStringLiteral("two")));
    main.walk();
    main.addSite(QStringLiteral("three"), main.path(QStringLiteral("one")));

    QCOMPARE(main.statistics()->count(), 0);
    main.select(0);
    QCOMPARE(Lines(main.statistics()),
             (QList<Line>{{QStringLiteral("file totally: 1"), false, false},
                          {QStringLiteral("empty files: 0"), false, false},
                          {QStringLiteral(".html files: 1"), true, true}}));
    main.select(1);
    QCOMPARE(main.statistics()->count(), 4);
    // Showing a walked project puts its own folder back into the box, which
    // must not count as a change of folder.
    QVERIFY(main.slot(0).walked());
    QVERIFY(main.slot(1).walked());
}

void WalkTest::unlistableFolderShowsError()
{
#ifdef Q_OS_UNIX
    // With one descriptor left the site folder opens but cannot be listed:
    // a walk that fails even for a user whom permissions do not stop.
    SiteWindow main;
    QString deep = QStringLiteral("site");
    for (int level = 0; level < 40; ++level)
        deep += QStringLiteral("/d%1").arg(level);
    main.file(deep + QStringLiteral("/page.html"));
    main.walk();
    QVERIFY(main.slot(0).walked());

    const int lowestFree = dup(0);
    if (lowestFree < 0)
        QSKIP("cannot find the lowest free descriptor here");
    close(lowestFree);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit small = saved;
    small.rlim_cur = rlim_t(lowestFree + 1);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &small), 0);
    main.walk();
    setrlimit(RLIMIT_NOFILE, &saved);

    QCOMPARE(main.ui.messages.size(), 1);
    const FakeUi::Message& message = main.ui.messages[0];
    QCOMPARE(message.caption, QStringLiteral("Error"));
    QVERIFY2(message.text.startsWith(main.site() + QLatin1Char('\n')), qPrintable(message.text));
    QVERIFY2(message.text.contains(QStringLiteral("open files"), Qt::CaseInsensitive),
             qPrintable(message.text));
    // The walk that failed released the one before it.
    QVERIFY(!main.slot(0).walked());
    QCOMPARE(main.statisticsTexts(), QStringList({"file totally: 0", "empty files: 0"}));
#else
    QSKIP("needs a limit on open files");
#endif
}

void WalkTest::linksOfOtherUsersAreSaid()
{
#ifdef Q_OS_UNIX
    if (geteuid() != 0)
        QSKIP("a link of another user can only be made by root here");
    SiteWindow main({{"index.html"}});
    main.file(QStringLiteral("private/secret.html"));
    QVERIFY(chmod(QFile::encodeName(main.path()).constData(), 0711) == 0);
    QVERIFY(chmod(QFile::encodeName(main.site()).constData(), 0777) == 0);
    const QByteArray target = QFile::encodeName(main.path(QStringLiteral("private")));
    const QByteArray link = QFile::encodeName(main.path(QStringLiteral("site/p")));
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        const bool planted = setgid(65534) == 0 && setuid(65534) == 0
                          && symlink(target.constData(), link.constData()) == 0;
        _exit(planted ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        QSKIP("cannot become nobody to plant the link");

    main.ui.clear();
    main.walk();
    QVERIFY(main.slot(0).walked());
    QCOMPARE(main.statisticsTexts().first(), QStringLiteral("file totally: 1"));
    QCOMPARE(main.ui.messages.size(), 1);
    QCOMPARE(main.ui.messages[0].text, QStringLiteral("1 link(s) not followed: they belong to another user."));
#else
    QSKIP("links belong to users only on Unix");
#endif
}

void WalkTest::shortWalkShowsNoProgress()
{
    SiteWindow main;
    BuildLargeSite(main, 5, 5);
    main.ui.clear();
    main.walk();
    QVERIFY(main.slot(0).walked());
    QVERIFY(!main.ui.dialogsRun.contains(QStringLiteral("larkspur::WalkProgressDialog")));
}

void WalkTest::longWalkShowsProgressAndFinishes()
{
    SiteWindow main;
    BuildLargeSite(main, 200, 10);
    // Each report of the walk is held up a little, so the walk takes long
    // enough on any machine.
    main.window->setWalkObserver([](std::size_t) { QThread::msleep(4); });

    main.ui.clear();
    QElapsedTimer clock;
    qint64 shownAfter = -1;
    QString countWhileShown;
    main.ui.handlers.append([&](QDialog& dialog) {
        shownAfter = clock.elapsed();
        auto* count = Child<QLabel>(dialog, "countLabel");
        QTRY_VERIFY(count->text() != WalkProgressDialog::countText(0));
        countWhileShown = count->text();
        // Left alone, the dialog closes itself when the walk is done.
        QTRY_VERIFY_WITH_TIMEOUT(dialog.result() == QDialog::Accepted, 20000);
    });
    clock.start();
    main.walk();

    QCOMPARE(main.ui.dialogsRun, QStringList({"larkspur::WalkProgressDialog"}));
    QVERIFY2(shownAfter >= 400, qPrintable(QString::number(shownAfter)));
    QVERIFY(countWhileShown.contains(QRegularExpression(QStringLiteral("^[1-9][0-9]* entries found$"))));
    QVERIFY(main.slot(0).walked());
    QCOMPARE(main.statisticsTexts().value(0), QStringLiteral("file totally: 2000"));
}

void WalkTest::cancelLeavesProjectAsItWas_data()
{
    QTest::addColumn<bool>("walkedBefore");
    QTest::newRow("not walked") << false;
    QTest::newRow("walked before") << true;
}

void WalkTest::cancelLeavesProjectAsItWas()
{
    QFETCH(bool, walkedBefore);
    SiteWindow main({{"first.html"}});
    if (walkedBefore)
        main.walk();
    const QStringList before = main.statisticsTexts();
    BuildLargeSite(main, 200, 10);

    main.ui.clear();
    std::atomic<bool> cancelled{false};
    std::atomic<int> reportsAfterCancel{0};
    main.window->setWalkObserver([&](std::size_t) {
        if (cancelled)
            ++reportsAfterCancel;
        QThread::msleep(4);
    });
    main.ui.handlers.append([&](QDialog& dialog) {
        QTRY_VERIFY(Child<QLabel>(dialog, "countLabel")->text() != WalkProgressDialog::countText(0));
        cancelled = true;
        Child<QPushButton>(dialog, "cancelButton")->click();
    });
    QElapsedTimer clock;
    clock.start();
    main.walk();

    QCOMPARE(main.ui.dialogsRun, QStringList({"larkspur::WalkProgressDialog"}));
    // The walk stopped at once instead of running to its end (about 400
    // reports of 4 ms).
    QVERIFY2(reportsAfterCancel <= 2, qPrintable(QString::number(reportsAfterCancel)));
    QCOMPARE(main.slot(0).walked(), walkedBefore);
    QCOMPARE(main.statisticsTexts(), before);
    QVERIFY(main.ui.messages.isEmpty());
    main.button("saveXmlButton")->click();
    if (walkedBefore) {
        QVERIFY(main.ui.messages.isEmpty());
        QVERIFY(main.read(QStringLiteral("site/sitemap.xml")).contains("first.html"));
        QVERIFY(!main.read(QStringLiteral("site/sitemap.xml")).contains("part0"));
    } else {
        QCOMPARE(main.ui.texts(), QStringList({"Walk the path first!"}));
    }
}

LARKSPUR_GUI_TEST_MAIN(WalkTest)
#include "tst_walk.moc"
