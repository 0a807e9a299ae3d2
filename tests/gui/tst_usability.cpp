// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What makes the window easy to use: folder and file choosers, no boxes
// taking input that would be lost, the files a save wrote, readable colours
// in a dark theme, and the keyboard.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionViewItem>
#include <QToolButton>

#include <cmath>
#include <limits>

#include "CsvToXmlDialog.h"
#include "GuiTestSupport.h"
#include "HyperlinkControl.h"
#include "MainWindowDriver.h"
#include "OptionsDialog.h"
#include "PathEdit.h"
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

// A colour of some transparency as it shows on `back`.
QColor Over(const QColor& fore, const QColor& back)
{
    const float a = fore.alphaF();
    return QColor::fromRgbF(a * fore.redF() + (1 - a) * back.redF(), a * fore.greenF() + (1 - a) * back.greenF(),
                            a * fore.blueF() + (1 - a) * back.blueF());
}

// The strongest contrast a pixel of `area` makes with `around`: an edge is
// seen when some of it stands out.
double EdgeContrast(QWidget* widget, const QRect& area, const QColor& around)
{
    const QImage image = widget->grab().toImage();
    double best = 1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, Contrast(image.pixelColor(x, y), around));
    return best;
}

// Dark desktops as the tests see them: window, link and visited-link colours.
struct Theme {
    const char* name;
    QColor window, link, visited;
};
// Qt's own link colours under a dark window: about 1.4:1 as they are.
const Theme kThemes[] = {{"default links", QColor(0x35, 0x35, 0x35), QColor(0, 0, 255), QColor(255, 0, 255)},
                         {"theme links", QColor(0x2a, 0x2a, 0x2a), QColor(42, 130, 218), QColor(128, 0, 128)},
                         {"grey window", QColor(0x60, 0x60, 0x60), QColor(0, 0, 255), QColor(128, 0, 128)}};

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
    void darkThemeTextsAndEdgesStandOut_data();
    void darkThemeTextsAndEdgesStandOut();
    void pathBoxShowsAUsualPath();
    void windowKeepsItsPlace();
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

void UsabilityTest::darkThemeTextsAndEdgesStandOut_data()
{
    QTest::addColumn<int>("theme");
    QTest::addColumn<QString>("pair");
    const char* const pairs[] = {"label", "box text", "placeholder", "button", "statistics", "status line",
                                 "saved status line", "link", "visited link", "options summary",
                                 "options summary, theme switched", "check box edge", "statistics mark edge",
                                 "text box edge", "folder box edge", "choice box edge", "exclude box edge",
                                 "csv path box edge", "disabled label", "disabled button", "disabled box text"};
    for (int theme = 0; theme < int(std::size(kThemes)); ++theme)
        for (const char* pair : pairs)
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(kThemes[theme].name), QLatin1String(pair))))
                << theme << QString::fromLatin1(pair);
}

void UsabilityTest::darkThemeTextsAndEdgesStandOut()
{
    QFETCH(int, theme);
    QFETCH(QString, pair);
    QPalette dark(kThemes[theme].window, kThemes[theme].window);
    dark.setColor(QPalette::Link, kThemes[theme].link);
    dark.setColor(QPalette::LinkVisited, kThemes[theme].visited);
    PaletteScope paletteScope(dark);

    SiteWindow main({{"index.html"}, {"notes.txt"}});
    main.window->show();
    main.walk();
    const auto text = [](QWidget* widget, QPalette::ColorRole fore, QPalette::ColorRole back,
                         QPalette::ColorGroup group = QPalette::Active) {
        const QPalette p = widget->palette();
        // Greyed text must still read, yet look greyed.
        if (group == QPalette::Disabled && p.color(group, fore) == p.color(QPalette::Active, fore))
            return 0.0;
        return Contrast(Over(p.color(group, fore), p.color(group, back)), p.color(group, back));
    };
    // A box's outer line, away from its rounded corners, against the window.
    const auto edge = [](QWidget* box) {
        return EdgeContrast(box, QRect(0, 3, 1, box->height() - 6), box->palette().color(QPalette::Window));
    };
    auto* link = Child<QLabel>(*main.window, "linkLabel");
    double ratio = 0;
    if (pair == "label")
        ratio = text(Child<QLabel>(*main.window, "nameLabel"), QPalette::WindowText, QPalette::Window);
    else if (pair == "box text")
        ratio = text(main.name(), QPalette::Text, QPalette::Base);
    else if (pair == "placeholder")
        ratio = text(main.websiteUrl(), QPalette::PlaceholderText, QPalette::Base);
    else if (pair == "button")
        ratio = text(main.button("walkButton"), QPalette::ButtonText, QPalette::Button);
    else if (pair == "statistics")
        ratio = text(main.statistics(), QPalette::Text, QPalette::Base);
    else if (pair == "status line")  // as it says that closing waits
        ratio = Contrast(main.status()->textColor(), main.status()->backColor());
    else if (pair == "link")
        ratio = text(link, QPalette::WindowText, QPalette::Window);
    else if (pair == "text box edge")
        ratio = edge(main.websiteUrl());
    else if (pair == "folder box edge")
        ratio = edge(main.localPath());
    else if (pair == "choice box edge")
        ratio = edge(main.priority());
    else if (pair == "disabled label")
        ratio = text(Child<QLabel>(*main.window, "nameLabel"), QPalette::WindowText, QPalette::Window, QPalette::Disabled);
    else if (pair == "disabled button")
        ratio = text(main.button("walkButton"), QPalette::ButtonText, QPalette::Button, QPalette::Disabled);
    else if (pair == "disabled box text")
        ratio = text(main.name(), QPalette::Text, QPalette::Base, QPalette::Disabled);
    if (pair == "saved status line") {
        main.button("saveXmlButton")->click();
        ratio = text(main.status(), QPalette::WindowText, QPalette::Window);
    } else if (pair == "visited link") {
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(main.ui.opened.size(), 1);
        ratio = text(link, QPalette::WindowText, QPalette::Window);
    }
    QListWidgetItem* unticked = nullptr;
    for (int i = 0; i < main.statistics()->count() && !unticked; ++i) {
        QListWidgetItem* item = main.statistics()->item(i);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Unchecked)
            unticked = item;
    }
    QVERIFY(unticked);
    // As drawn: a label draws a link in a colour of its own.
    if (pair.startsWith(QLatin1String("options summary"))) {
        if (pair.endsWith(QLatin1String("switched"))) {  // shown in the light theme, then dark
            {
                PaletteScope light(QPalette(QColor(0xf0, 0xf0, 0xf0)));
                QCoreApplication::processEvents();
                unticked->setCheckState(Qt::Checked);
            }
            QCoreApplication::processEvents();
        }
        unticked->setCheckState(Qt::Checked);
        auto* summary = Child<QLabel>(*main.window, "optionsSummary");
        ratio = EdgeContrast(summary, summary->rect(), summary->palette().color(QPalette::Window));
    } else if (pair == "check box edge") {
        OptionsDialog options(QStringLiteral("site"), SitemapOptions{}, main.window.get());
        options.show();
        QCheckBox* box = nullptr;
        for (QCheckBox* check : options.findChildren<QCheckBox*>())
            if (!box && !check->isChecked())
                box = check;
        QVERIFY(box);
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect mark = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        ratio = EdgeContrast(box, mark, box->palette().color(QPalette::Window));
    } else if (pair == "exclude box edge") {
        OptionsDialog options(QStringLiteral("site"), SitemapOptions{}, main.window.get());
        options.show();
        ratio = edge(Child<QWidget>(options, "exclude"));
    } else if (pair == "csv path box edge") {
        CsvToXmlDialog convert(main.window.get());
        convert.show();
        ratio = edge(Child<QWidget>(convert, "pathEdit"));
    } else if (pair == "statistics mark edge") {
        QListWidget* list = main.statistics();
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.widget = list;
        option.rect = list->visualItemRect(unticked);
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = unticked->text();
        const QRect mark = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        ratio = EdgeContrast(list->viewport(), mark, list->palette().color(QPalette::Base));
    }
    const double least = pair.endsWith(QLatin1String("edge")) ? 3.0 : 4.5;
    QVERIFY2(ratio >= least, qPrintable(QString::number(ratio)));
}

void UsabilityTest::pathBoxShowsAUsualPath()
{
    SiteWindow main;
    main.window->show();
    main.window->resize(1, 1);  // the layout keeps it at its smallest
    auto* box = static_cast<PathEdit*>(main.localPath());
    QVERIFY(box->width() >= box->fontMetrics().horizontalAdvance(QStringLiteral("/home/ann/sites/example.org/public")));

    const QString deep = main.folder(QStringLiteral("a-folder-with-a-long-name/another-folder-with-a-long-name/site"));
    box->setText(deep);
    const QString shown = box->shownText();
    QVERIFY2(shown.indexOf(QChar(0x2026)) > 0 && shown.endsWith(QStringLiteral("/site")) &&
                 shown.startsWith(deep.left(deep.indexOf(QLatin1Char('/'), 1) + 1)),
             qPrintable(shown));
    QCOMPARE(box->text(), deep);
    QCOMPARE(box->toolTip(), deep);
    main.window->resize(main.window->screen()->availableSize());  // the choice boxes do not grow
    QCOMPARE(main.priority()->width(), main.priority()->sizeHint().width());
    QCOMPARE(main.frequency()->width(), main.frequency()->sizeHint().width());
}

void UsabilityTest::windowKeepsItsPlace()
{
    FreshWindow main;
    main.window->show();
    const QSize least = main.window->minimumSize();
    const QRect placed(QPoint(30, 20), least + QSize(40, 30));
    QVERIFY(main.window->screen()->availableGeometry().contains(placed));
    main.window->setGeometry(placed);
    main.window->reject();  // saves, then closes
    MainWindowDriver again(main.ui, main.path());
    again.window->show();
    QCOMPARE(again.window->geometry(), placed);
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
    // The options line under the URL (shown when an option is not the
    // default) comes right after the URL.
    main.ui.handlers.append([](QDialog& dialog) {
        Child<QCheckBox>(dialog, "omit-hints")->setChecked(true);
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    main.button("optionsButton")->click();
    main.websiteUrl()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("optionsSummary"));

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
