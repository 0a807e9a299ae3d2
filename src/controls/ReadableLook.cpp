// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "ReadableLook.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace larkspur {

namespace {

// A little over the ratios asked for: drawn pixels round to 8 bits, and a
// button's face is a gradient around its palette colour.
constexpr double kEdgeRatio = 3.3;
constexpr double kTextRatio = 5.0;
constexpr double kLeastTextRatio = 4.5;

double Luminance(const QColor& c)
{
    const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

QColor Mix(const QColor& from, const QColor& to, double share)
{
    const auto mix = [share](float a, float b) { return float(a + (b - a) * share); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()));
}

// A see-through colour as it shows on `back`.
QColor Opaque(const QColor& fore, const QColor& back)
{
    return Mix(back, QColor::fromRgbF(fore.redF(), fore.greenF(), fore.blueF()), fore.alphaF());
}

// The colour on the way from `back` to `fore` nearest `back` that stands out
// from it by `least`; `fore` itself when none does.
QColor Toward(const QColor& back, const QColor& fore, double least)
{
    if (ContrastRatio(fore, back) < least)
        return fore;
    double near = 0, far = 1;  // `far` always stands out enough
    for (int step = 0; step < 16; ++step) {
        const double middle = (near + far) / 2;
        (ContrastRatio(Mix(back, fore, middle), back) >= least ? far : near) = middle;
    }
    return Mix(back, fore, far);
}

void DrawEdge(QPainter* painter, const QRect& rect, const QColor& color, qreal radius)
{
    painter->save();
    painter->setPen(color);
    painter->setBrush(Qt::NoBrush);
    if (radius > 0) {
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    } else {
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

void KeepReadable()
{
    const QPalette readable = WithReadableDisabledText(QApplication::palette());
    if (readable != QApplication::palette())
        QApplication::setPalette(readable);
}

// A palette set later (a theme switched while running, a program's own)
// gets the same treatment as the first.
class PaletteKeeper : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A filter on the application sees every event: the cheap test first.
        if (event->type() == QEvent::ApplicationPaletteChange && watched == QCoreApplication::instance())
            KeepReadable();
        return false;
    }
};

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double x = Luminance(a), y = Luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

QColor EdgeColor(const QPalette& palette)
{
    const QColor window = palette.color(QPalette::Window);
    return Toward(window, Opaque(palette.color(QPalette::WindowText), window), kEdgeRatio);
}

QPalette WithReadableDisabledText(QPalette palette)
{
    static const QPalette::ColorRole kPairs[][2] = {{QPalette::WindowText, QPalette::Window},
                                                    {QPalette::ButtonText, QPalette::Button},
                                                    {QPalette::Text, QPalette::Base},
                                                    {QPalette::PlaceholderText, QPalette::Base}};
    for (const auto& pair : kPairs) {
        const QColor back = palette.color(QPalette::Disabled, pair[1]);
        if (ContrastRatio(Opaque(palette.color(QPalette::Disabled, pair[0]), back), back) >= kLeastTextRatio)
            continue;
        // Greyed stays dimmer than the enabled text, but no dimmer than reads.
        const QColor enabled = Opaque(palette.color(QPalette::Active, pair[0]), back);
        palette.setColor(QPalette::Disabled, pair[0], Toward(back, enabled, kTextRatio));
    }
    return palette;
}

void ReadableStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    // A focused box keeps the style's focus outline.
    if (element == PE_FrameLineEdit && !(option->state & State_HasFocus))
        DrawEdge(painter, option->rect, EdgeColor(option->palette), 2);
    else if (element == PE_Frame && qobject_cast<const QAbstractScrollArea*>(widget))
        DrawEdge(painter, option->rect, EdgeColor(option->palette), 0);
    // Some dark themes draw an unticked box in nearly the window's colour;
    // the tick, once there, is the theme's own and stands out.
    else if ((element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck)
             && option->state.testFlag(State_Off))
        DrawEdge(painter, option->rect, EdgeColor(option->palette), 0);
}

void ReadableStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                       QPainter* painter, const QWidget* widget) const
{
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    const bool focusShown = option->state.testFlag(State_HasFocus) && option->state.testFlag(State_KeyboardFocusChange);
    if (control == CC_ComboBox && combo && combo->frame && !focusShown)
        DrawEdge(painter, option->rect, EdgeColor(option->palette), 2);
}

void ApplyReadableLook(QApplication& application)
{
    QApplication::setStyle(new ReadableStyle);
    KeepReadable();
    application.installEventFilter(new PaletteKeeper(&application));
}

}  // namespace larkspur
