// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The link control, the status label and the About box.
#include <QAction>
#include <QFontInfo>
#include <QLabel>
#include <QVBoxLayout>

#include <memory>

#include "AboutBox.h"
#include "AddProjectDialog.h"
#include "CsvToXmlDialog.h"
#include "SelectSavingDirectoryDialog.h"
#include "WalkProgressDialog.h"
#include "GuiTestSupport.h"
#include "HyperlinkControl.h"
#include "MainWindowDriver.h"
#include "MakerAddress.h"
#include "OptionsDialog.h"
#include "StatusLabel.h"

using namespace larkspur;
using namespace larkspur::test;

namespace {

// A window holding a label and something else to take the focus.
struct LinkWindow {
    QWidget window;
    QLabel* label;
    QLineEdit* other;

    LinkWindow()
    {
        auto* layout = new QVBoxLayout(&window);
        label = new QLabel(QStringLiteral("https://larkspur.example.org/"), &window);
        other = new QLineEdit(&window);
        layout->addWidget(label);
        layout->addWidget(other);
    }
};

void Send(QWidget* widget, QEvent::Type type)
{
    QEvent event(type);
    QApplication::sendEvent(widget, &event);
}

void Enter(QWidget* widget)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(widget, &event);
}

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QCOMPARE(HyperlinkControl::liveCount(), 0); }
    void cleanup() { QCOMPARE(HyperlinkControl::liveCount(), 0); }

    void linkLooksLikeLink();
    void hoverUnderlinesUntilLeft();
    void clickOpensAndTurnsPurple();
    void spaceActivatesOnRelease();  // and Enter
    void focusFrameIsDrawn();
    void longTargetIsCut();
    void sharedStateLivesWhileAnyLinkLives();
    void linkObjectGoneBeforeLabel();
    void statusLabelColourAndUnderline();
    void aboutBoxContents();
    void aboutBoxIconOpensAddress();
    void aboutFromMainWindow();
    void dialogsCaptionAndFont_data();
    void dialogsCaptionAndFont();
};

void ControlsTest::linkLooksLikeLink()
{
    LinkWindow w;
    const QFont plain = w.label->font();
    HyperlinkControl link;
    QVERIFY(link.attach(w.label, QLatin1String(kMakerWebAddress)));

    QCOMPARE(HyperlinkControl::liveCount(), 1);
    QCOMPARE(w.label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(w.label->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!w.label->font().underline());
    QVERIFY(HyperlinkControl::sharedUnderlineFont());
    QVERIFY(HyperlinkControl::sharedUnderlineFont()->underline());
    QCOMPARE(HyperlinkControl::sharedUnderlineFont()->family(), plain.family());
    QCOMPARE(HyperlinkControl::sharedCursor()->shape(), Qt::PointingHandCursor);
    QVERIFY(!link.isHovered());
    QVERIFY(!link.isVisited());
}

void ControlsTest::hoverUnderlinesUntilLeft()
{
    LinkWindow w;
    HyperlinkControl link;
    link.attach(w.label, QLatin1String(kMakerWebAddress));
    const QFont plain = w.label->font();

    Enter(w.label);
    QVERIFY(link.isHovered());
    QVERIFY(w.label->font().underline());
    // Moving within the link changes nothing.
    QTest::mouseMove(w.label, QPoint(4, 4));
    QVERIFY(link.isHovered());
    QVERIFY(w.label->font().underline());

    Send(w.label, QEvent::Leave);
    QVERIFY(!link.isHovered());
    QCOMPARE(w.label->font(), plain);
}

void ControlsTest::clickOpensAndTurnsPurple()
{
    UiScope scope;
    LinkWindow w;
    HyperlinkControl link;
    link.attach(w.label, QLatin1String(kMakerWebAddress));

    // A press alone opens nothing.
    QTest::mousePress(w.label, Qt::LeftButton, {}, QPoint(3, 3));
    QVERIFY(scope.ui.opened.isEmpty());
    QTest::mouseRelease(w.label, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(scope.ui.opened, QList<QUrl>({QUrl(QLatin1String(kMakerWebAddress))}));
    QVERIFY(link.isVisited());
    QCOMPARE(w.label->palette().color(QPalette::WindowText), QColor(128, 0, 128));

    // Visited is for good; a right click does nothing.
    QTest::mouseClick(w.label, Qt::RightButton, {}, QPoint(3, 3));
    QCOMPARE(scope.ui.opened.size(), 1);
    Enter(w.label);
    Send(w.label, QEvent::Leave);
    QCOMPARE(w.label->palette().color(QPalette::WindowText), QColor(128, 0, 128));
}

void ControlsTest::spaceActivatesOnRelease()
{
    UiScope scope;
    LinkWindow w;
    HyperlinkControl link;
    link.attach(w.label, QLatin1String(kMakerWebAddress));
    QVERIFY(ShowActive(w.window));
    w.label->setFocus();
    QVERIFY(w.label->hasFocus());

    QTest::keyPress(w.label, Qt::Key_Space);
    QVERIFY(scope.ui.opened.isEmpty());
    QTest::keyRelease(w.label, Qt::Key_Space);
    QCOMPARE(scope.ui.opened.size(), 1);
    QVERIFY(link.isVisited());

    // Enter follows the link too, as on a web page; other keys do not.
    QTest::keyClick(w.label, Qt::Key_A);
    QCOMPARE(scope.ui.opened.size(), 1);
    QTest::keyClick(w.label, Qt::Key_Return);
    QTest::keyClick(w.label, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(scope.ui.opened.size(), 3);
}

void ControlsTest::focusFrameIsDrawn()
{
    LinkWindow w;
    HyperlinkControl link;
    link.attach(w.label, QLatin1String(kMakerWebAddress));
    QVERIFY(ShowActive(w.window));
    w.other->setFocus();
    const QImage unfocused = w.label->grab().toImage();
    // Tab reaches the link.
    QTest::keyClick(w.other, Qt::Key_Tab, Qt::ShiftModifier);
    QVERIFY(w.label->hasFocus());
    QCOMPARE(w.label->focusPolicy(), Qt::StrongFocus);
    const QImage focused = w.label->grab().toImage();
    QVERIFY(focused != unfocused);
    w.other->setFocus();
    QCOMPARE(w.label->grab().toImage(), unfocused);
}

void ControlsTest::longTargetIsCut()
{
    LinkWindow w;
    HyperlinkControl link;
    link.attach(w.label, QString(600, QLatin1Char('a')));
    QCOMPARE(link.target().size(), HyperlinkControl::kTargetLimit);
}

void ControlsTest::sharedStateLivesWhileAnyLinkLives()
{
    auto first = std::make_unique<LinkWindow>();
    auto second = std::make_unique<LinkWindow>();
    HyperlinkControl a;
    HyperlinkControl b;
    a.attach(first->label, QStringLiteral("https://a.example/"));
    const QFont* font = HyperlinkControl::sharedUnderlineFont();
    const QCursor* cursor = HyperlinkControl::sharedCursor();
    b.attach(second->label, QStringLiteral("https://b.example/"));
    QCOMPARE(HyperlinkControl::liveCount(), 2);
    QCOMPARE(HyperlinkControl::sharedUnderlineFont(), font);

    // The second window closes with its label; the first link keeps the
    // shared font and cursor.
    second.reset();
    QCOMPARE(HyperlinkControl::liveCount(), 1);
    QCOMPARE(HyperlinkControl::sharedUnderlineFont(), font);
    QCOMPARE(HyperlinkControl::sharedCursor(), cursor);
    Enter(first->label);
    QVERIFY(first->label->font().underline());

    first.reset();
    QCOMPARE(HyperlinkControl::liveCount(), 0);
    QVERIFY(!HyperlinkControl::sharedUnderlineFont());
    QVERIFY(!HyperlinkControl::sharedCursor());
}

void ControlsTest::linkObjectGoneBeforeLabel()
{
    LinkWindow w;
    const QFont plain = w.label->font();
    {
        HyperlinkControl link;
        link.attach(w.label, QStringLiteral("https://a.example/"));
        Enter(w.label);
        QCOMPARE(HyperlinkControl::liveCount(), 1);
    }
    QCOMPARE(HyperlinkControl::liveCount(), 0);
    QCOMPARE(w.label->font(), plain);
    // The label is plain again: a click opens nothing.
    UiScope scope;
    QTest::mouseClick(w.label, Qt::LeftButton, {}, QPoint(3, 3));
    QVERIFY(scope.ui.opened.isEmpty());
}

void ControlsTest::statusLabelColourAndUnderline()
{
    QWidget window;
    auto* label = new StatusLabel(&window);
    QVERIFY(label->text().isEmpty());
    QCOMPARE(label->textColor(), QColor(Qt::black));
    QCOMPARE(label->backColor(), window.palette().color(QPalette::Button));
    QVERIFY(label->autoFillBackground());
    QCOMPARE(label->palette().color(QPalette::Window), label->backColor());

    label->setText(QStringLiteral("sitemap.xml saved, click to open."));
    label->setTextColor(QColor(0, 0, 255));
    label->setUnderline(true);
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(label->font().underline());
    label->setUnderline(false);
    QVERIFY(!label->font().underline());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
}

void ControlsTest::aboutBoxContents()
{
    AboutBox about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Larkspur"));
    QCOMPARE(Child<QLabel>(about, "versionLabel")->text(), QStringLiteral("Larkspur Version " LARKSPUR_VERSION));
    QCOMPARE(Child<QLabel>(about, "linkLabel")->text(), QLatin1String(kMakerWebAddress));
    QCOMPARE(about.link().target(), QLatin1String(kMakerWebAddress));
    QVERIFY(!Child<QLabel>(about, "iconLabel")->pixmap().isNull());
    auto* ok = Child<QPushButton>(about, "okButton");
    QVERIFY(ok->isDefault());
    ok->click();
    QCOMPARE(about.result(), int(QDialog::Accepted));
}

void ControlsTest::aboutBoxIconOpensAddress()
{
    UiScope scope;
    AboutBox about;
    QVERIFY(ShowActive(about));
    auto* icon = Child<QLabel>(about, "iconLabel");
    QCOMPARE(icon->cursor().shape(), Qt::PointingHandCursor);
    // OK has the first focus and takes Enter; the link is a Tab away.
    QCOMPARE(QApplication::focusWidget(), Child<QPushButton>(about, "okButton"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Child<QLabel>(about, "linkLabel"));
    QTest::mouseClick(icon, Qt::LeftButton, {}, icon->rect().center());
    QCOMPARE(scope.ui.opened, QList<QUrl>({QUrl(QLatin1String(kMakerWebAddress))}));

    // The link opens the same address.
    QTest::mouseClick(Child<QLabel>(about, "linkLabel"), Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(scope.ui.opened.size(), 2);
    QCOMPARE(scope.ui.opened[1], scope.ui.opened[0]);
}

void ControlsTest::aboutFromMainWindow()
{
    TempTree tree;
    UiScope scope;
    {
        MainWindowDriver main(scope.ui, tree.path());
        QCOMPARE(HyperlinkControl::liveCount(), 1);
        auto* action = Child<QAction>(*main.window, "aboutAction");
        QCOMPARE(action->text(), QStringLiteral("&About Larkspur..."));
        QVERIFY(main.window->actions().contains(action));
        QCOMPARE(main.window->contextMenuPolicy(), Qt::ActionsContextMenu);
        const QFont* sharedFont = HyperlinkControl::sharedUnderlineFont();

        int countInside = 0;
        scope.ui.handlers.append([&](QDialog& dialog) {
            countInside = HyperlinkControl::liveCount();
            QCOMPARE(dialog.windowTitle(), QStringLiteral("About Larkspur"));
            Child<QPushButton>(dialog, "okButton")->click();
        });
        QVERIFY(ShowActive(*main.window));
        QTest::keyClick(main.window.get(), Qt::Key_F1);

        QCOMPARE(scope.ui.dialogsRun, QStringList({"larkspur::AboutBox"}));
        QCOMPARE(countInside, 2);
        // Closing the About box leaves the main window's link as it was.
        QCOMPARE(HyperlinkControl::liveCount(), 1);
        QCOMPARE(HyperlinkControl::sharedUnderlineFont(), sharedFont);

        auto* link = Child<QLabel>(*main.window, "linkLabel");
        QCOMPARE(link->text(), QLatin1String(kMakerWebAddress));
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(scope.ui.opened, QList<QUrl>({QUrl(QLatin1String(kMakerWebAddress))}));
        main.window->hide();
    }
}

void ControlsTest::dialogsCaptionAndFont_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("caption");
    QTest::newRow("main") << QStringLiteral("main") << QStringLiteral("Larkspur");
    QTest::newRow("saving directory") << QStringLiteral("select")
                                      << QStringLiteral("Larkspur - Select saving directory");
    QTest::newRow("add project") << QStringLiteral("add") << QStringLiteral("Larkspur - Add project");
    QTest::newRow("csv to xml") << QStringLiteral("csv") << QStringLiteral("Larkspur - CSV to XML");
    QTest::newRow("about") << QStringLiteral("about") << QStringLiteral("About Larkspur");
    QTest::newRow("progress") << QStringLiteral("progress") << QStringLiteral("Larkspur");
    QTest::newRow("options") << QStringLiteral("options") << QStringLiteral("Options of site");
}

void ControlsTest::dialogsCaptionAndFont()
{
    QFETCH(QString, dialog);
    QFETCH(QString, caption);
    TempTree tree;
    StoreWorkingDirectory(tree.path());
    std::atomic<std::size_t> found{0};
    std::unique_ptr<QDialog> window;
    if (dialog == QLatin1String("main"))
        window = std::make_unique<MainDialog>();
    else if (dialog == QLatin1String("select"))
        window = std::make_unique<SelectSavingDirectoryDialog>();
    else if (dialog == QLatin1String("add"))
        window = std::make_unique<AddProjectDialog>();
    else if (dialog == QLatin1String("csv"))
        window = std::make_unique<CsvToXmlDialog>();
    else if (dialog == QLatin1String("about"))
        window = std::make_unique<AboutBox>();
    else if (dialog == QLatin1String("options"))
        window = std::make_unique<OptionsDialog>(QStringLiteral("site"), SitemapOptions{});
    else
        window = std::make_unique<WalkProgressDialog>(tree.path(), found);

    QCOMPARE(window->windowTitle(), caption);
    const QFontInfo font(window->font());
    QVERIFY(font.fixedPitch());
    QCOMPARE(font.pointSize(), 7);
    // The children inherit it, also once the style has seen them.
    window->ensurePolished();
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->objectName() == QLatin1String("linkLabel") ||
            child->objectName() == QLatin1String("statusLabel"))
            continue;
        QVERIFY2(QFontInfo(child->font()).fixedPitch(), qPrintable(child->objectName()));
    }
}

LARKSPUR_GUI_TEST_MAIN(ControlsTest)
#include "tst_controls.moc"
