// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "HyperlinkControl.h"

#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>

#include <memory>

#include "ReadableLook.h"
#include "UiServices.h"

namespace larkspur {
namespace {

// Links are made and destroyed on the user-interface thread only.
int g_liveCount = 0;
std::unique_ptr<QFont> g_underlineFont;
std::unique_ptr<QCursor> g_cursor;

// The least contrast the WCAG ask of normal text.
constexpr double kReadableContrast = 4.5;

}  // namespace

QColor HyperlinkControl::readableColor(const QPalette& palette, const QColor& background,
                                       bool visited)
{
    // Dark: white text would stand out more than black.
    if (ContrastRatio(background, Qt::white) <= ContrastRatio(background, Qt::black))
        return visited ? visitedColor() : linkColor();
    QColor color = palette.color(visited ? QPalette::LinkVisited : QPalette::Link);
    // Blend towards white, keeping the hue, until the link reads well; white
    // itself always does on a dark background.
    const QColor base = color.toRgb();
    for (int step = 1; step <= 20 && ContrastRatio(color, background) < kReadableContrast; ++step) {
        const double mix = step / 20.0;
        color = QColor::fromRgbF(float(base.redF() + (1 - base.redF()) * mix),
                                 float(base.greenF() + (1 - base.greenF()) * mix),
                                 float(base.blueF() + (1 - base.blueF()) * mix));
    }
    return color;
}

HyperlinkControl::HyperlinkControl(QObject* parent) : QObject(parent) {}

HyperlinkControl::~HyperlinkControl()
{
    detach();
}

int HyperlinkControl::liveCount()
{
    return g_liveCount;
}

const QFont* HyperlinkControl::sharedUnderlineFont()
{
    return g_underlineFont.get();
}

const QCursor* HyperlinkControl::sharedCursor()
{
    return g_cursor.get();
}

void HyperlinkControl::acquireShared(const QFont& font)
{
    // The hover font comes from the first label attached while no other
    // link lives, so links in one dialog font share one hover font.
    if (g_liveCount++ == 0) {
        g_underlineFont = std::make_unique<QFont>(font);
        g_underlineFont->setUnderline(true);
        g_cursor = std::make_unique<QCursor>(Qt::PointingHandCursor);
    }
}

void HyperlinkControl::releaseShared()
{
    if (--g_liveCount <= 0) {
        g_liveCount = 0;
        g_underlineFont.reset();
        g_cursor.reset();
    }
}

bool HyperlinkControl::attach(QLabel* label, const QString& target)
{
    detach();
    m_target = target.left(kTargetLimit);
    m_label = label;
    if (!label)
        return true;

    m_savedFont = label->font();
    acquireShared(m_savedFont);
    m_attached = true;

    label->setCursor(*g_cursor);
    // The label must not swallow clicks by selecting its own text. This
    // also resets the focus policy, so it comes first.
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    // A link can be reached with Tab, so that the space key can follow it.
    label->setFocusPolicy(Qt::StrongFocus);
    applyColor();
    m_destroyedConnection =
        connect(label, &QObject::destroyed, this, &HyperlinkControl::labelDestroyed);
    label->installEventFilter(this);
    return true;
}

void HyperlinkControl::detach()
{
    if (!m_attached)
        return;
    m_attached = false;
    disconnect(m_destroyedConnection);
    if (m_label) {
        m_label->removeEventFilter(this);
        m_label->setFont(m_savedFont);
        m_label->unsetCursor();
    }
    m_hover = false;
    m_label = nullptr;
    releaseShared();
}

void HyperlinkControl::labelDestroyed()
{
    // The label is gone with its dialog; only the shared state is left to
    // give back.
    if (!m_attached)
        return;
    m_attached = false;
    m_hover = false;
    m_label = nullptr;
    releaseShared();
}

void HyperlinkControl::applyColor()
{
    if (!m_label)
        return;
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText,
                     readableColor(palette, palette.color(m_label->backgroundRole()), m_visited));
    m_label->setPalette(palette);
}

void HyperlinkControl::setHover(bool hover)
{
    if (hover == m_hover || !m_label)
        return;
    m_hover = hover;
    if (hover) {
        m_label->setFont(g_underlineFont ? *g_underlineFont : m_savedFont);
        onHighlight();
    } else {
        onUnhighlight();
        m_label->setFont(m_savedFont);
    }
    m_label->update();
}

void HyperlinkControl::activate()
{
    OpenUrl(QUrl(m_target));
    m_visited = true;
    applyColor();
}

void HyperlinkControl::paintWithFocusFrame(QEvent* paintEvent)
{
    // Let the label draw its text first, then lay the frame over it; the
    // filter is lifted for that one delivery so it does not come back here.
    QLabel* label = m_label;
    label->removeEventFilter(this);
    QCoreApplication::sendEvent(label, paintEvent);
    label->installEventFilter(this);

    QPainter painter(label);
    QStyleOptionFocusRect option;
    option.initFrom(label);
    // Styles draw the frame only for focus that came from the keyboard.
    option.state |= QStyle::State_KeyboardFocusChange;
    option.rect = label->rect();
    option.backgroundColor = label->palette().color(label->backgroundRole());
    label->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, label);
}

bool HyperlinkControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_label || !m_label)
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::Enter:
        setHover(true);
        break;
    case QEvent::Leave:
        setHover(false);
        break;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_label->rect().contains(mouse->position().toPoint())) {
            activate();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        // Enter follows the link as on a web page, instead of reaching the
        // window's default button.
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !key->isAutoRepeat()) {
            activate();
            return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && !key->isAutoRepeat()) {
            activate();
            return true;
        }
        break;
    }
    case QEvent::FocusIn:
        onHighlight();
        m_label->update();
        break;
    case QEvent::FocusOut:
        onUnhighlight();
        m_label->update();
        break;
    case QEvent::Paint:
        if (m_label->hasFocus()) {
            paintWithFocusFrame(event);
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace larkspur
