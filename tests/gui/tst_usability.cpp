// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What makes the window easy to use: folder and file choosers, no boxes
// taking input that would be lost, the files a save wrote, readable colours
// in a dark theme, and the keyboard.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QToolButton>

#include <cmath>
#include <limits>

#include "CsvToXmlDialog.h"
#include "GuiTestSupport.h"
#include "HyperlinkControl.h"
#include "MainWindowDriver.h"
#include "SelectSavingDirectoryDialog.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

// WCAG 2 contrast ratio, worked out here on its own.
double Contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto lin = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
    };
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// The application palette for the life of the object.
class PaletteScope {
public:
    explicit PaletteScope(const QPalette& palette) : m_saved(QApplication::palette())
    {
        QApplication::setPalette(palette);
    }
    ~PaletteScope() { QApplication::setPalette(m_saved); }

private:
    QPalette m_saved;
};

}  // namespace

class UsabilityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ClearSettings(); }

    void browseFillsBoxAsTyped();
    void projectControlsNeedAProject();
    void statusTipNamesEveryFileWritten();
    void darkPaletteKeepsLinksReadable_data();
    void darkPaletteKeepsLinksReadable();
    void keyboardOrderMnemonicsAndEnter();
    void csvBoxOffersProjectCsv();
};

void UsabilityTest::browseFillsBoxAsTyped()
{
    TempTree tree;
    const QString site = tree.folder(QStringLiteral("site"));
    const QString other = tree.folder(QStringLiteral("other"));
    const QString csv = tree.file(QStringLiteral("site/list.csv"), "loc\n");
    UiScope scope;

    // First start: the chooser opens at the typed folder; its answer is accepted.
    SelectSavingDirectoryDialog select;
    QVERIFY(Child<QToolButton>(select, "browseButton"));
    Child<QLineEdit>(select, "pathEdit")->setText(site);
    scope.ui.chosen = QStringList{other};
    Child<QToolButton>(select, "browseButton")->click();
    QCOMPARE(scope.ui.choosers.size(), 1);
    QVERIFY(scope.ui.choosers[0].kind == ChooserRequest::Kind::Folder);
    QCOMPARE(scope.ui.choosers[0].start, site);
    select.accept();
    QCOMPARE(select.path(), other);

    // The project's folder: the record takes it, as from typing.
    MainWindowDriver main(scope.ui, tree.path());
    main.add(QStringLiteral("site"));
    scope.ui.clear();
    scope.ui.chosen = QStringList{site};
    main.window->findChild<QToolButton*>(QStringLiteral("browseButton"))->click();
    QCOMPARE(scope.ui.choosers.size(), 1);
    QVERIFY(scope.ui.choosers[0].start.isEmpty());  // the box was empty
    QCOMPARE(main.localPath()->text(), site);
    QCOMPARE(QString::fromStdString(main.slot(0).localPath), site);

    // CSV to XML: a file chooser, and the chosen file is checked at once.
    CsvToXmlDialog convert;
    scope.ui.clear();
    scope.ui.chosen = QStringList{csv};
    Child<QToolButton>(convert, "browseButton")->click();
    QVERIFY(scope.ui.choosers[0].kind == ChooserRequest::Kind::File);
    QCOMPARE(Child<QLineEdit>(convert, "pathEdit")->text(), csv);
    QCOMPARE(Child<QLabel>(convert, "messageLabel")->text(),
             QStringLiteral("list.xml will be created in same folder!"));
    // Cancelling the chooser changes nothing.
    Child<QToolButton>(convert, "browseButton")->click();
    QCOMPARE(Child<QLineEdit>(convert, "pathEdit")->text(), csv);
}

void UsabilityTest::projectControlsNeedAProject()
{
    FreshWindow main;
    const char* const controls[] = {"nameEdit",       "localPathEdit", "browseButton",
                                    "walkButton",     "websiteUrlEdit", "priorityCombo",
                                    "frequencyCombo", "saveXmlButton",  "saveUrlButton",
                                    "saveCsvButton",  "optionsButton", "removeButton"};
    const auto otherThan = [&](bool enabled) {
        QStringList names;
        for (const char* name : controls) {
            auto* control = Child<QWidget>(*main.window, name);
            if (!control || control->isEnabled() != enabled)
                names.append(QLatin1String(name));
        }
        return names;
    };
    QCOMPARE(otherThan(false), QStringList());
    QVERIFY(main.button("addButton")->isEnabled());
    QVERIFY(main.button("csvToXmlButton")->isEnabled());
    main.add(QStringLiteral("site"));
    QCOMPARE(otherThan(true), QStringList());
    main.button("removeButton")->click();
    QCOMPARE(otherThan(false), QStringList());
}

void UsabilityTest::statusTipNamesEveryFileWritten()
{
    // Past 50,000 pages the sitemap splits; one more URL is too long to keep.
    FreshWindow main;
    const QString site = main.folder(QStringLiteral("site"));
    for (int i = 0; i <= 50000; ++i) {
        QFile page(QStringLiteral("%1/p%2.html").arg(site).arg(i));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("x");
    }
    QString deep = QStringLiteral("site");
    for (int level = 0; level < 9; ++level)
        deep += QLatin1Char('/') + QString(250, QLatin1Char('a' + level));
    main.file(deep + QStringLiteral(".html"));
    main.addSite(QStringLiteral("site"), site);
    main.window->setProgressDelay(std::numeric_limits<int>::max());  // no progress dialog
    main.walk();
    main.button("saveXmlButton")->click();
    QVERIFY2(main.ui.messages.size() == 1, qPrintable(main.ui.texts().join('|')));

    QCOMPARE(main.status()->text(), QStringLiteral("sitemap.xml saved, 1 page(s) left out, click to open."));
    const QString tip = main.status()->toolTip();
    for (const char* name : {"sitemap.xml", "sitemap1.xml", "sitemap2.xml"})
        QVERIFY2(tip.contains(QDir(site).filePath(QLatin1String(name))), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("1 page(s) left out")), qPrintable(tip));
}

void UsabilityTest::darkPaletteKeepsLinksReadable_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("link");
    QTest::addColumn<QColor>("visited");
    // Qt's own link colours under a dark window: about 1.4:1 as they are.
    QTest::newRow("default links") << QColor(0x35, 0x35, 0x35) << QColor(0, 0, 255)
                                   << QColor(255, 0, 255);
    QTest::newRow("theme links") << QColor(0x2a, 0x2a, 0x2a) << QColor(42, 130, 218)
                                 << QColor(128, 0, 128);
    QTest::newRow("grey window") << QColor(0x60, 0x60, 0x60) << QColor(0, 0, 255)
                                 << QColor(128, 0, 128);
}

void UsabilityTest::darkPaletteKeepsLinksReadable()
{
    QFETCH(QColor, window);
    QFETCH(QColor, link);
    QFETCH(QColor, visited);
    QPalette dark(window, window);
    dark.setColor(QPalette::Link, link);
    dark.setColor(QPalette::LinkVisited, visited);
    PaletteScope paletteScope(dark);

    SiteWindow main({{"index.html"}});
    main.walk();
    main.button("saveXmlButton")->click();
    auto* linkLabel = Child<QLabel>(*main.window, "linkLabel");
    const auto readable = [](QWidget* label, const char* what) {
        const QPalette p = label->palette();
        const double ratio = Contrast(p.color(QPalette::WindowText), p.color(QPalette::Window));
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(what).arg(ratio)));
    };
    readable(linkLabel, "link");
    readable(main.status(), "status");
    QTest::mouseClick(linkLabel, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(main.ui.opened.size(), 1);
    readable(linkLabel, "visited link");
}

void UsabilityTest::keyboardOrderMnemonicsAndEnter()
{
    FreshWindow main;
    main.add(QStringLiteral("site"));
    QVERIFY(ShowActive(*main.window));

    // Reading order: the statistics come right after the walk, not at the end.
    main.button("walkButton")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), main.statistics());
    main.button("csvToXmlButton")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("linkLabel"));

    // Every button and labelled box has its own Alt letter; the words stay.
    const QStringList captions{"Add",         "Remove",        "Project name:",
                               "Local filepath:", "walk the path", "Statistics:",
                               "Website URL:", "Initial priority:", "Initial frequency:",
                               "Save XML",     "Save URL",      "Save CSV",
                               "CSV to XML",  "Options...",    "Check"};
    QStringList keys;
    for (QWidget* widget : main.window->findChildren<QWidget*>()) {
        QString text;
        if (auto* button = qobject_cast<QPushButton*>(widget))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy())
            text = label->text();
        else
            continue;
        QVERIFY2(captions.contains(QString(text).remove(QLatin1Char('&'))), qPrintable(text));
        const QKeySequence key = QKeySequence::mnemonic(text);
        QVERIFY2(!key.isEmpty(), qPrintable(text));
        keys.append(key.toString());
    }
    QCOMPARE(keys.size(), captions.size());
    keys.removeDuplicates();
    QCOMPARE(keys.size(), captions.size());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), main.websiteUrl());

    // Enter on the link opens it rather than pressing "walk the path".
    Child<QLabel>(*main.window, "linkLabel")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(main.ui.opened.size(), 1);
    QVERIFY2(main.ui.messages.isEmpty(), qPrintable(main.ui.texts().join('|')));
}

void UsabilityTest::csvBoxOffersProjectCsv()
{
    SiteWindow main({{"index.html"}});
    QStringList offered;
    const auto offer = [&](QDialog& dialog) {
        offered.append(Child<QLineEdit>(dialog, "pathEdit")->text());
    };
    main.ui.handlers = {offer, offer};
    main.button("csvToXmlButton")->click();  // no sitemap.csv yet
    main.walk();
    main.button("saveCsvButton")->click();
    main.button("csvToXmlButton")->click();
    QCOMPARE(offered, QStringList({QString(), main.path(QStringLiteral("site/sitemap.csv"))}));
}

LARKSPUR_GUI_TEST_MAIN(UsabilityTest)
#include "tst_usability.moc"
