// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The Options... button and its dialog: what it stores, what Save then
// writes, and how the options follow a project through rename and removal.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextDocumentFragment>
#include <QTreeWidget>

#include "GuiTestSupport.h"
#include "MainWindowDriver.h"
#include "OptionsDialog.h"
#include "options_file.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

// Fills the dialog's controls and presses OK (or Cancel); then, should the
// dialog still be open, Cancel.
FakeUi::DialogHandler SetOptions(const QString& style, const QString& exclude, bool ok = true,
                                 const QString& extensions = QStringLiteral("html,htm"))
{
    return [=](QDialog& dialog) {
        QVERIFY(ShowActive(dialog));
        auto* styles = Child<QComboBox>(dialog, "url-style");
        styles->setCurrentIndex(styles->findData(style));
        Child<QPlainTextEdit>(dialog, "exclude")->setPlainText(exclude);
        Child<QLineEdit>(dialog, "extensions")->setText(extensions);
        Child<QCheckBox>(dialog, "omit-hints")->setChecked(true);
        if (const char* path = std::getenv("LARKSPUR_OPTIONS_SCREENSHOT"))
            dialog.grab().save(QString::fromLocal8Bit(path));
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        if (dialog.isVisible())
            buttons->button(QDialogButtonBox::Cancel)->click();
    };
}

SitemapOptions Stored(const TempTree& tree, const char* project)
{
    OptionsFile file;
    std::string error;
    std::vector<OptionProblem> problems;
    file.read(tree.path().toStdString(), error);
    return file.options(project, problems);
}

}  // namespace

class OptionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void okAppliesToSaveAndIsStoredOnClose();
    void cancelAndRefusedValuesChangeNothing();
    void renameTakesOptionsAlongRemoveDropsThem();
    void pageDateRobotsAndGzipOptionsReachTheSave();
    void checkShowsCountsThenExamples();
    void wordsKeysAndPatternsBeforeOk();
    void storedValuesNotUnderstoodStopTheSaveUntilOk();
};

// A stored value no option understands stops the project's sitemaps, as on
// the command line: written with the default instead, a sitemap could list
// what the project leaves out. OK in the options dialog replaces it.
void OptionsTest::storedValuesNotUnderstoodStopTheSaveUntilOk()
{
    SiteWindow main({{"index.html"}});
    main.window->reject();
    main.file(QStringLiteral("sitemap-options.ini"), "[site]\nprotocol=0.85\n");
    MainWindowDriver again(main.ui, main.path());
    again.select(0);
    again.walk();
    main.ui.clear();
    again.button("saveXmlButton")->click();
    QCOMPARE(main.ui.messages.size(), 1);
    QVERIFY2(main.ui.messages[0].text.contains(QStringLiteral("--protocol must be 0.84 or 0.9, not '0.85'")),
             qPrintable(main.ui.messages[0].text));
    QVERIFY(!QFileInfo::exists(main.site(QStringLiteral("sitemap.xml"))));

    main.ui.handlers.append([](QDialog& dialog) {
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    again.button("optionsButton")->click();
    again.button("saveXmlButton")->click();
    QVERIFY(QFileInfo::exists(main.site(QStringLiteral("sitemap.xml"))));
}

// Every label and check box has an Alt key of its own, also beside the
// "&OK" and "&Cancel" of desktops that give those keys; a pattern that
// cannot be right is marked while it is typed.
void OptionsTest::wordsKeysAndPatternsBeforeOk()
{
    OptionsDialog dialog(QStringLiteral("site"), SitemapOptions{});
    QStringList texts = {QStringLiteral("&OK"), QStringLiteral("&Cancel")};
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        QVERIFY2(label->text().isEmpty() || label->text().contains(QLatin1Char('&')), qPrintable(label->text()));
        if (label->text().contains(QLatin1Char('&')))
            texts << label->text();
    }
    for (QCheckBox* check : dialog.findChildren<QCheckBox*>()) {
        QVERIFY2(check->text().contains(QLatin1Char('&')), qPrintable(check->text()));
        texts << check->text();
    }
    QSet<QKeySequence> keys;
    for (const QString& text : texts) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        QVERIFY2(!keys.contains(key), qPrintable(text));
        keys.insert(key);
    }
    QCOMPARE(Child<QComboBox>(dialog, "lastmod")->currentText(), QStringLiteral("file's time"));
    auto* problem = Child<QLabel>(dialog, "patternProblem");
    Child<QPlainTextEdit>(dialog, "exclude")->setPlainText(QStringLiteral("drafts/\n[abc"));
    QVERIFY2(problem->text().contains(QStringLiteral("Line 2: the '[' of [abc is never closed")), qPrintable(problem->text()));
    Child<QPlainTextEdit>(dialog, "exclude")->setPlainText(QStringLiteral("[abc]"));
    QVERIFY(problem->text().isEmpty());
}

void OptionsTest::okAppliesToSaveAndIsStoredOnClose()
{
    SiteWindow main({{"index.html"}, {"docs/a.html"}, {"drafts/b.html"}, {"c.pdf"}});
    main.walk();
    main.ui.handlers.append(
        SetOptions(QStringLiteral("clean"), QStringLiteral("drafts/\n*.bak"), true, QStringLiteral("html,pdf")));
    main.button("optionsButton")->click();
    QCOMPARE(main.ui.dialogsRun.last(), QStringLiteral("larkspur::OptionsDialog"));
    // The statistics mark the groups that now become entries.
    QCOMPARE(main.statistics()->findItems(QStringLiteral(".pdf files: 1"), Qt::MatchExactly).value(0)->checkState(),
             Qt::Checked);
    // Under the URL, a line says what differs from the defaults.
    QCOMPARE(QTextDocumentFragment::fromHtml(Child<QLabel>(*main.window, "optionsSummary")->text()).toPlainText(),
             QStringLiteral("clean URLs \u00B7 pages: html,pdf \u00B7 2 exclusion(s) \u00B7 no priority"));
    main.button("saveUrlButton")->click();
    QCOMPARE(main.read(QStringLiteral("site/sitemap.txt")),
             QByteArray("https://example.com/c.pdf\r\nhttps://example.com/docs/a\r\nhttps://example.com/\r\n"));
    main.window->reject();
    const SitemapOptions stored = Stored(main, "site");
    QCOMPARE(stored.urlStyle, UrlStyle::Clean);
    QCOMPARE(stored.exclude, (std::vector<std::string>{"drafts/", "*.bak"}));
    QVERIFY(stored.omitHints);

    // A new window shows what was stored.
    MainWindowDriver again(main.ui, main.path());
    QCOMPARE(again.window->store().options(0), stored);
}

void OptionsTest::cancelAndRefusedValuesChangeNothing()
{
    SiteWindow main;
    main.ui.handlers.append(SetOptions(QStringLiteral("folder"), QStringLiteral("x/"), false));
    main.ui.handlers.append(SetOptions(QStringLiteral("folder"), QStringLiteral("x/"), true, QString()));
    main.button("optionsButton")->click();
    main.button("optionsButton")->click();
    QCOMPARE(main.ui.messages.size(), 1);  // no extension at all
    QCOMPARE(main.window->store().options(0), SitemapOptions{});
}

void OptionsTest::renameTakesOptionsAlongRemoveDropsThem()
{
    SiteWindow main;
    main.ui.handlers.append(SetOptions(QStringLiteral("folder"), QString()));
    main.button("optionsButton")->click();
    main.window->reject();
    QCOMPARE(Stored(main, "site").urlStyle, UrlStyle::Folder);
    {
        MainWindowDriver again(main.ui, main.path());
        again.select(0);
        again.name()->setText(QStringLiteral("journal"));
        again.window->reject();
    }
    QCOMPARE(Stored(main, "journal").urlStyle, UrlStyle::Folder);
    QCOMPARE(Stored(main, "site"), SitemapOptions{});
    {
        MainWindowDriver again(main.ui, main.path());
        again.select(0);
        again.button("removeButton")->click();
        again.window->reject();
    }
    QCOMPARE(Stored(main, "journal"), SitemapOptions{});
}

// The options for search engines are in the dialog too, and Save says what
// they left out and changed.
void OptionsTest::pageDateRobotsAndGzipOptionsReachTheSave()
{
    SiteWindow main({{"index.html"},
                     {"draft.html", "<head><meta name=robots content=NOINDEX></head>"},
                     {"wide.html", QByteArray("\xFF\xFE<\0", 4)}});  // UTF-16
    main.walk();
    main.ui.handlers.append([](QDialog& dialog) {
        auto* lastmod = Child<QComboBox>(dialog, "lastmod");
        lastmod->setCurrentIndex(lastmod->findData(QStringLiteral("none")));
        for (const char* flag : {"respect-robots", "robots-txt", "gzip"})
            Child<QCheckBox>(dialog, flag)->setChecked(true);
        QVERIFY(!Child<QCheckBox>(dialog, "canonical-only")->isChecked());
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    main.button("optionsButton")->click();
    main.button("saveXmlButton")->click();
    QVERIFY(!QFileInfo::exists(main.path(QStringLiteral("site/sitemap.xml"))));
    QVERIFY(QFileInfo::exists(main.path(QStringLiteral("site/sitemap.xml.gz"))));
    QCOMPARE(main.read(QStringLiteral("site/robots.txt")), QByteArray("Sitemap: https://example.com/sitemap.xml.gz\n"));
    // What was asked for goes in the status line; a box only for what was not.
    QCOMPARE(main.status()->text(), QStringLiteral("sitemap.xml.gz saved, 1 page(s) left out, click to open."));
    QVERIFY(main.status()->toolTip().contains(QStringLiteral("1 page(s) left out: marked noindex.<br>")));
    QVERIFY(main.status()->toolTip().contains(QStringLiteral("robots.txt now lists the sitemap.")));
    QCOMPARE(main.ui.texts(), QStringList({"1 page(s) kept: their head could not be read to the end."}));
    QCOMPARE(main.window->store().options(0).lastmod, LastmodSource::None);

    // A robots.txt that cannot be updated leaves the sitemap saved, and the
    // message says both.
    QFile::remove(main.path(QStringLiteral("site/robots.txt")));
    main.folder(QStringLiteral("site/robots.txt"));
    main.button("saveUrlButton")->click();
    QCOMPARE(main.status()->text(), QStringLiteral("sitemap.txt.gz saved, 1 page(s) left out, click to open."));
    QVERIFY2(main.ui.messages.last().text.startsWith(QStringLiteral(
                 "1 page(s) kept: their head could not be read to the end.\n"
                 "sitemap.txt.gz saved, but robots.txt was not updated: ")),
             qPrintable(main.ui.messages.last().text));
}

// The Check button: the selected project's sitemap against its folder.
void OptionsTest::checkShowsCountsThenExamples()
{
    TempTree tree;
    tree.file(QStringLiteral("site/a.html"), "a");
    tree.file(QStringLiteral("site/b.html"), "b");
    UiScope scope;
    MainWindowDriver main(scope.ui, tree.path());
    main.addSite(QStringLiteral("blog"), tree.path(QStringLiteral("site")));
    main.walk();
    main.button("saveXmlButton")->click();
    const auto expect = [&](const QString& summary, const QStringList& sections, const QString& example) {
        scope.ui.handlers.append([=](QDialog& dialog) {
            QVERIFY2(Child<QLabel>(dialog, "summary")->text().startsWith(summary),
                     qPrintable(Child<QLabel>(dialog, "summary")->text()));
            auto* findings = Child<QTreeWidget>(dialog, "findings");
            QStringList shown;
            for (int i = 0; i < findings->topLevelItemCount(); ++i)
                shown << findings->topLevelItem(i)->text(0) + QLatin1Char(' ') + findings->topLevelItem(i)->text(1);
            QCOMPARE(shown, sections);
            QCOMPARE(findings->topLevelItem(0)->child(0)->text(0), example);
            dialog.reject();
        });
        main.button("checkButton")->click();
        QVERIFY(scope.ui.handlers.isEmpty());
    };
    expect(QStringLiteral("No problems found, 1 hint(s)."), {QStringLiteral("hint: the 0.84 namespace 1")},
           tree.path(QStringLiteral("site/sitemap.xml")) + QStringLiteral(" (the 0.84 namespace: Search Console "
                                                                          "expects http://www.sitemaps.org/schemas/sitemap/0.9)"));
    tree.file(QStringLiteral("site/sitemap.xml"),
              "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
              "<url><loc>https://example.com/a.html</loc></url></urlset>");
    expect(QStringLiteral("1 problem(s) found."), {QStringLiteral("pages the sitemap leaves out 1")},
           QStringLiteral("https://example.com/b.html (b.html)"));
}

LARKSPUR_GUI_TEST_MAIN(OptionsTest)
#include "tst_options.moc"
