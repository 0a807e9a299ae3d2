// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The three Save commands, the status line that opens the site folder, and
// CSV to XML through its dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include "CsvToXmlDialog.h"
#include "GuiTestSupport.h"
#include "MainWindowDriver.h"
#include "SaveOutcome.h"
#include "StatusLabel.h"
#include "gzip/gzip.h"
#include "platform/paths.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

const QDateTime kMarch7 = QDateTime(QDate(2006, 3, 7), QTime(12, 0), Qt::UTC);

// Runs the CSV dialog as a person would: types the path over what the box
// offers, leaves the box,
// and presses the dialog's button.
FakeUi::DialogHandler TypeCsvPath(const QString& path, QString* verdict = nullptr,
                                  const char* button = "convertButton")
{
    return [=](QDialog& dialog) {
        QVERIFY(ShowActive(dialog));
        auto* edit = Child<QLineEdit>(dialog, "pathEdit");
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, path);
        Child<QPushButton>(dialog, "cancelButton")->setFocus();
        if (verdict)
            *verdict = Child<QLabel>(dialog, "messageLabel")->text();
        Child<QPushButton>(dialog, button)->click();
    };
}

}  // namespace

class OutputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void saveWritesFileAndStatus_data();
    void saveWritesFileAndStatus();
    void saveRefused_data();
    void saveRefused();
    void failedSaveNamesFileAndKeepsStatus();
    void splitSaveNamesAFileWritten_data();
    void splitSaveNamesAFileWritten();
    void saveThroughARefusedLinkSaysWhy();
    void secondSaveKeepsStyle();
    void statusLineOpensSiteFolder();
    void csvPathCheck_data();
    void csvPathCheck();
    void csvEmptyBoxKeepsLastVerdict();
    void csvConvertsBesideInput();
    void csvPastLimitsNamesEveryFile();
    void csvOfAProjectTakesItsOptionsAndSaysWhatItReplaces();
    void csvCommandRefusals_data();
    void csvCommandRefusals();
    void csvUnwritableOutputIsReported();
};

void OutputTest::saveWritesFileAndStatus_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expectedLines");
    QTest::newRow("xml") << QStringLiteral("saveXmlButton") << QStringLiteral("sitemap.xml")
                         << QStringList{"<loc>https://example.com/docs/my%20page.html</loc>",
                                        "<loc>https://example.com/index.html</loc>",
                                        "<lastmod>2006-03-07</lastmod>",
                                        "<changefreq>daily</changefreq>",
                                        "<priority>0.8</priority>"};
    QTest::newRow("url") << QStringLiteral("saveUrlButton") << QStringLiteral("sitemap.txt")
                         << QStringList{"https://example.com/docs/my%20page.html",
                                        "https://example.com/index.html"};
    QTest::newRow("csv") << QStringLiteral("saveCsvButton") << QStringLiteral("sitemap.csv")
                         << QStringList{"loc,lastmod,changefreq,priority",
                                        "https://example.com/index.html,2006-03-07,daily,0.8"};
}

void OutputTest::saveWritesFileAndStatus()
{
    QFETCH(QString, button);
    QFETCH(QString, file);
    QFETCH(QStringList, expectedLines);
    SiteWindow main({{"index.html", "<html/>", kMarch7}, {"docs/my page.html", "<html/>", kMarch7},
                     {"empty.html", ""}, {"script.php", "<?php"}});
    main.priority()->setCurrentText(QStringLiteral("0.8"));
    main.frequency()->setCurrentText(QStringLiteral("daily"));
    main.walk();
    QVERIFY(main.status()->text().isEmpty());

    main.button(button.toLatin1().constData())->click();

    QVERIFY2(main.ui.messages.isEmpty(), qPrintable(main.ui.texts().join('|')));
    const QByteArray written = main.read(QStringLiteral("site/") + file);
    for (const QString& line : expectedLines)
        QVERIFY2(written.contains(line.toUtf8()), qPrintable(line + " in\n" + written));
    QVERIFY(!written.contains("empty.html"));
    QVERIFY(!written.contains("script.php"));
    QCOMPARE(main.status()->text(), file + QStringLiteral(" saved, click to open."));
    QCOMPARE(main.status()->textColor(), QColor(0, 0, 255));
    QCOMPARE(main.status()->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(main.status()->font().underline());
}

// Past the limits a text sitemap is only its parts: the status line names,
// opens and copies the address of one that was written.
void OutputTest::splitSaveNamesAFileWritten_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("gzip");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QString>("shown");
    const int text = static_cast<int>(SitemapFormat::Text);
    const int xml = static_cast<int>(SitemapFormat::Xml);
    QTest::newRow("one text file") << text << false << QStringList{"sitemap.txt"} << "sitemap.txt";
    QTest::newRow("text parts") << text << false << QStringList{"sitemap1.txt", "sitemap2.txt"} << "sitemap1.txt";
    QTest::newRow("gzip text parts") << text << true << QStringList{"sitemap1.txt.gz", "sitemap2.txt.gz"}
                                     << "sitemap1.txt.gz";
    QTest::newRow("xml parts and index") << xml << false
                                         << QStringList{"sitemap1.xml", "sitemap2.xml", "sitemap.xml"}
                                         << "sitemap.xml";
}

void OutputTest::splitSaveNamesAFileWritten()
{
    QFETCH(int, format);
    QFETCH(bool, gzip);
    QFETCH(QStringList, written);
    QFETCH(QString, shown);
    ProjectRecord record;
    record.localPath = "/srv/site";
    record.websiteUrl = "https://example.com/";
    SaveReport report;
    report.urls = 3;
    for (const QString& name : written)
        report.files.push_back(platform::JoinPath(record.localPath, name.toStdString()));
    QWidget window;
    auto* status = new StatusLabel(&window);
    ShowSaveOutcome(&window, status, record, static_cast<SitemapFormat>(format), gzip, 0, {}, report);
    QCOMPARE(status->text(), shown + QStringLiteral(" saved, click to open."));
    QCOMPARE(status->savedFile(), QStringLiteral("/srv/site/") + shown);
    QCOMPARE(status->savedUrl(), QStringLiteral("https://example.com/") + shown);
}

void OutputTest::saveRefused_data()
{
    QTest::addColumn<bool>("walk");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("message");
    QTest::newRow("not walked") << false << QStringLiteral("https://example.com/")
                                << QStringLiteral("Walk the path first!");
    // The first line as it always was, the second saying what is wrong.
    QTest::newRow("no url") << true << QString() << QStringLiteral("Invalid parameter(s)!\nThe website URL is empty.");
    QTest::newRow("relative url") << true << QStringLiteral("example.com/site")
                                  << QStringLiteral("Invalid parameter(s)!\nThe website URL must start with http:// or https://");
    QTest::newRow("not http") << true << QStringLiteral("ftp://example.com/")
                              << QStringLiteral("Invalid parameter(s)!\nThe website URL must start with http:// or https://");
    QTest::newRow("user name") << true << QStringLiteral("https://me@example.com/")
                               << QStringLiteral("Invalid parameter(s)!\nThe URL may not hold a user name or password: "
                                                 "it would be published in every sitemap entry.");
    // Longer than a project stores: the store keeps the URL it had.
    QTest::newRow("too long") << true << QStringLiteral("https://example.com/") + QString(260, QLatin1Char('a'))
                              << QStringLiteral("Invalid parameter(s)!\nThe folder and the URL of a project hold at "
                                                "most 259 bytes each.");
    QTest::newRow("bad port") << true << QStringLiteral("https://example.com:99999/")
                              << QStringLiteral("Invalid parameter(s)!\nThe port must be a number from 1 to 65535, not 99999.");
}

void OutputTest::saveRefused()
{
    QFETCH(bool, walk);
    QFETCH(QString, url);
    QFETCH(QString, message);
    SiteWindow main({{"index.html"}}, url);
    if (walk)
        main.walk();

    for (const char* button : {"saveXmlButton", "saveUrlButton", "saveCsvButton"}) {
        main.ui.clear();
        main.button(button)->click();
        QCOMPARE(main.ui.texts(), QStringList({message}));
        QCOMPARE(main.ui.messages[0].caption, QStringLiteral("Larkspur"));
    }
    QVERIFY(QDir(main.site()).entryList({"sitemap.*"}).isEmpty());
    QVERIFY(main.status()->text().isEmpty());
}

void OutputTest::failedSaveNamesFileAndKeepsStatus()
{
    SiteWindow main({{"index.html"}});
    main.walk();
    main.button("saveUrlButton")->click();
    // A folder where the file should go cannot be replaced by a file.
    main.folder(QStringLiteral("site/sitemap.xml"));
    main.ui.clear();

    main.button("saveXmlButton")->click();

    QCOMPARE(main.ui.messages.size(), 1);
    QVERIFY2(main.ui.messages[0].text.contains(main.path(QStringLiteral("site/sitemap.xml"))),
             qPrintable(main.ui.messages[0].text));
    QCOMPARE(main.status()->text(), QStringLiteral("sitemap.txt saved, click to open."));
}

// The window writes through the same rule as the command line, and its
// message carries the reason a link was refused.
void OutputTest::saveThroughARefusedLinkSaysWhy()
{
    SiteWindow main({{"index.html"}});
    const QString link = main.path(QStringLiteral("site/sitemap.txt"));
    QVERIFY(QFile::link(main.path(QStringLiteral("gone/sitemap.txt")), link));
    main.walk();

    main.button("saveUrlButton")->click();

    QCOMPARE(main.ui.messages.size(), 1);
    const QString text = main.ui.messages[0].text;
    QVERIFY2(text.contains(link + QStringLiteral(": a link Larkspur does not write through: it leads to no file")),
             qPrintable(text));
    QVERIFY(QFileInfo(link).isSymLink());
}

void OutputTest::secondSaveKeepsStyle()
{
    SiteWindow main({{"index.html"}});
    main.walk();
    main.button("saveXmlButton")->click();
    main.button("saveCsvButton")->click();

    QCOMPARE(main.status()->text(), QStringLiteral("sitemap.csv saved, click to open."));
    QCOMPARE(main.status()->textColor(), QColor(0, 0, 255));
    QVERIFY(main.status()->font().underline());
    // The line names this project's file: another project clears it, and
    // so does another folder.
    main.add(QStringLiteral("other"));
    QCOMPARE(main.status()->text(), QString());
    main.select(0);
    main.button("saveCsvButton")->click();
    main.localPath()->setText(main.path());
    QCOMPARE(main.status()->text(), QString());
}

void OutputTest::statusLineOpensSiteFolder()
{
    FreshWindow main({{"site/index.html"}});
    QVERIFY(ShowActive(*main.window));
    StatusLabel* status = main.status();
    QVERIFY(status->palette().color(QPalette::Window) == status->backColor());
    QCOMPARE(status->backColor(), main.window->palette().color(QPalette::Button));

    // No project: the line is inert.
    QVERIFY(status->cursor().shape() != Qt::PointingHandCursor);
    QTest::mouseClick(status, Qt::LeftButton, {}, status->rect().center());
    QVERIFY(main.ui.opened.isEmpty());

    // With a project it opens the folder, even before anything was saved.
    main.addSite(QStringLiteral("site"), main.path(QStringLiteral("site")));
    QVERIFY(status->text().isEmpty());
    QCOMPARE(status->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(status, Qt::LeftButton, {}, status->rect().center());
    QCOMPARE(main.ui.opened, QList<QUrl>({QUrl::fromLocalFile(main.path(QStringLiteral("site")))}));

    // Other buttons do nothing.
    QTest::mouseClick(status, Qt::RightButton, {}, status->rect().center());
    QCOMPARE(main.ui.opened.size(), 1);

    main.projects()->clearSelection();
    QVERIFY(status->cursor().shape() != Qt::PointingHandCursor);
    QTest::mouseClick(status, Qt::LeftButton, {}, status->rect().center());
    QCOMPARE(main.ui.opened.size(), 1);
}

void OutputTest::csvPathCheck_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("folder") << QStringLiteral("folder.csv")
                            << QStringLiteral("A csv file required!");
    QTest::newRow("missing") << QStringLiteral("missing.csv") << QStringLiteral("File not exists!");
    QTest::newRow("backup") << QStringLiteral("list.csv.bak")
                            << QStringLiteral("A csv file required!");
    QTest::newRow("no extension") << QStringLiteral("list")
                                  << QStringLiteral("A csv file required!");
    QTest::newRow("mixed case") << QStringLiteral("Sitemap.Csv")
                                << QStringLiteral("Sitemap.xml will be created in same folder!");
    QTest::newRow("plain") << QStringLiteral("sitemap.csv")
                           << QStringLiteral("sitemap.xml will be created in same folder!");
}

void OutputTest::csvPathCheck()
{
    QFETCH(QString, relative);
    QFETCH(QString, verdict);
    TempTree tree;
    tree.folder(QStringLiteral("folder.csv"));
    for (const char* name : {"list.csv.bak", "list", "Sitemap.Csv", "sitemap.csv"})
        tree.file(QString::fromLatin1(name), "loc,lastmod,changefreq,priority\n");

    CsvToXmlDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Larkspur - CSV to XML"));
    QVERIFY(ShowActive(dialog));
    auto* edit = Child<QLineEdit>(dialog, "pathEdit");
    auto* message = Child<QLabel>(dialog, "messageLabel");
    edit->setFocus();
    QTest::keyClicks(edit, tree.path(relative));
    QVERIFY(message->text().isEmpty());
    Child<QPushButton>(dialog, "cancelButton")->setFocus();
    QCOMPARE(message->text(), verdict);
}

void OutputTest::csvEmptyBoxKeepsLastVerdict()
{
    TempTree tree;
    CsvToXmlDialog dialog;
    QVERIFY(ShowActive(dialog));
    auto* edit = Child<QLineEdit>(dialog, "pathEdit");
    auto* message = Child<QLabel>(dialog, "messageLabel");
    edit->setFocus();
    QTest::keyClicks(edit, tree.path(QStringLiteral("gone.csv")));
    Child<QPushButton>(dialog, "cancelButton")->setFocus();
    QCOMPARE(message->text(), QStringLiteral("File not exists!"));
    edit->setFocus();
    edit->clear();
    Child<QPushButton>(dialog, "cancelButton")->setFocus();
    QCOMPARE(message->text(), QStringLiteral("File not exists!"));
}

void OutputTest::csvConvertsBesideInput()
{
    SiteWindow main({{"index.html", "<html/>", kMarch7}});
    main.walk();
    main.button("saveCsvButton")->click();
    const QString csv = main.path(QStringLiteral("site/sitemap.csv"));
    QString verdict;
    main.ui.clear();
    main.ui.handlers.append(TypeCsvPath(csv, &verdict));

    main.button("csvToXmlButton")->click();

    QCOMPARE(main.ui.dialogsRun, QStringList({"larkspur::CsvToXmlDialog"}));
    QCOMPARE(verdict, QStringLiteral("sitemap.xml will be created in same folder!"));
    QCOMPARE(main.ui.texts(), QStringList({"sitemap.xml created."}));
    QCOMPARE(main.ui.messages[0].caption, QStringLiteral("Larkspur"));
    const QByteArray xml = main.read(QStringLiteral("site/sitemap.xml"));
    QVERIFY2(xml.contains("<loc>https://example.com/index.html</loc>"), xml.constData());
    QVERIFY(xml.contains("</urlset>"));
}

void OutputTest::csvPastLimitsNamesEveryFile()
{
    FreshWindow main;
    QByteArray csv = "loc,lastmod,changefreq,priority\n";
    for (int i = 0; i < 50001; ++i)
        csv += "https://example.com/blog/p" + QByteArray::number(i) + ".html,2006-03-07,daily,0.5\n";
    main.file(QStringLiteral("big.csv"), csv);
    main.file(QStringLiteral("site/maps/big.csv"), csv);
    main.ui.handlers.append(TypeCsvPath(main.path(QStringLiteral("big.csv"))));

    main.button("csvToXmlButton")->click();

    QCOMPARE(main.ui.texts(), QStringList({"big.xml, big1.xml, big2.xml created."}));
    QVERIFY(main.read(QStringLiteral("big.xml")).contains("<sitemapindex"));
    // Written beside the CSV, outside any project: at the root of the rows' host.
    QVERIFY(main.read(QStringLiteral("big.xml")).contains("<loc>https://example.com/big2.xml</loc>"));
    QVERIFY(main.read(QStringLiteral("big2.xml")).contains("p50000.html"));

    // Inside the selected project's folder: the project's address of that folder.
    main.addSite(QStringLiteral("site"), main.path(QStringLiteral("site")), QStringLiteral("https://Example.com/www"));
    main.ui.handlers.append(TypeCsvPath(main.path(QStringLiteral("site/maps/big.csv"))));
    main.button("csvToXmlButton")->click();
    QVERIFY(main.read(QStringLiteral("site/maps/big.xml")).contains("<loc>https://example.com/www/maps/big2.xml</loc>"));
}

// Save CSV, then CSV to XML: the project's sitemap again, the one Save XML
// wrote (0.9, compressed, without hints), which the dialog says it replaces.
void OutputTest::csvOfAProjectTakesItsOptionsAndSaysWhatItReplaces()
{
    TempTree tree;
    tree.file(QStringLiteral("site/index.html"), "<html/>", kMarch7);
    tree.file(QStringLiteral("site/docs/a.html"), "<html/>", kMarch7);
    UiScope scope;
    MainWindowDriver main(scope.ui, tree.path());
    main.addSite(QStringLiteral("site"), tree.path(QStringLiteral("site")));
    main.walk();
    scope.ui.handlers.append([](QDialog& dialog) {
        auto* protocol = Child<QComboBox>(dialog, "protocol");
        protocol->setCurrentIndex(protocol->findData(QStringLiteral("0.9")));
        Child<QCheckBox>(dialog, "omit-hints")->setChecked(true);
        Child<QCheckBox>(dialog, "gzip")->setChecked(true);
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    main.button("optionsButton")->click();
    main.button("saveXmlButton")->click();
    main.button("saveCsvButton")->click();
    const auto text = [&] {
        std::string xml, error;
        Gunzip(tree.read(QStringLiteral("site/sitemap.xml.gz")).toStdString(), xml, 1 << 20, error);
        return xml;
    };
    const std::string saved = text();
    QVERIFY(saved.find("sitemaps.org/schemas/sitemap/0.9") != std::string::npos);
    QString verdict;
    scope.ui.clear();
    scope.ui.handlers.append([&](QDialog& dialog) {
        verdict = Child<QLabel>(dialog, "messageLabel")->text();
        Child<QPushButton>(dialog, "convertButton")->click();
    });

    main.button("csvToXmlButton")->click();

    QCOMPARE(verdict, QStringLiteral("sitemap.xml.gz exists and will be replaced!"));
    QCOMPARE(scope.ui.texts(), QStringList({"sitemap.xml.gz created."}));
    QCOMPARE(text(), saved);
    QVERIFY(!QFileInfo::exists(tree.path(QStringLiteral("site/sitemap.xml"))));
}

void OutputTest::csvCommandRefusals_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancel") << QStringLiteral("list.csv") << QStringLiteral("cancelButton")
                            << QStringLiteral("list.xml will be created in same folder!");
    QTest::newRow("empty path") << QString() << QStringLiteral("convertButton") << QString();
    QTest::newRow("folder") << QStringLiteral("sub") << QStringLiteral("convertButton")
                            << QStringLiteral("A csv file required!");
    QTest::newRow("missing") << QStringLiteral("nothing.csv") << QStringLiteral("convertButton")
                             << QStringLiteral("File not exists!");
    QTest::newRow("not csv") << QStringLiteral("list.txt") << QStringLiteral("convertButton")
                             << QStringLiteral("A csv file required!");
}

void OutputTest::csvCommandRefusals()
{
    QFETCH(QString, relative);
    QFETCH(QString, button);
    QFETCH(QString, message);
    FreshWindow main;
    main.folder(QStringLiteral("sub"));
    main.file(QStringLiteral("list.csv"), "a,b,c,d\n");
    main.file(QStringLiteral("list.txt"), "a,b,c,d\n");
    const QByteArray buttonName = button.toLatin1();
    QString verdict;
    bool canConvert = true;
    main.ui.handlers.append([&](QDialog& dialog) {
        TypeCsvPath(relative.isEmpty() ? relative : main.path(relative), &verdict, buttonName.constData())(dialog);
        canConvert = Child<QPushButton>(dialog, "convertButton")->isEnabled();
    });

    main.button("csvToXmlButton")->click();

    // The reason shows in the dialog, which stays open to correct the path.
    QVERIFY(main.ui.texts().isEmpty());
    QCOMPARE(verdict, message);
    QCOMPARE(canConvert, button == QLatin1String("cancelButton"));
    QVERIFY(!QFile::exists(main.path(QStringLiteral("list.xml"))));
}

void OutputTest::csvUnwritableOutputIsReported()
{
    FreshWindow main({{"list.csv", "https://example.com/a.html,2006-3-7,daily,0.5\n"}});
    main.folder(QStringLiteral("list.xml"));
    main.ui.handlers.append(TypeCsvPath(main.path(QStringLiteral("list.csv"))));

    main.button("csvToXmlButton")->click();

    QCOMPARE(main.ui.messages.size(), 1);
    QVERIFY(!main.ui.messages[0].text.contains(QStringLiteral("created.")));
    QVERIFY2(main.ui.messages[0].text.contains(main.path(QStringLiteral("list.xml"))),
             qPrintable(main.ui.messages[0].text));
}

LARKSPUR_GUI_TEST_MAIN(OutputTest)
#include "tst_output.moc"
