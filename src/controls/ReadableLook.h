// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Colours every theme gets, light or dark: control edges that stand out from
// the window by 3:1 and greyed text that still reads at 4.5:1 (the WCAG 2
// contrast ratios), both worked out from the palette in use.
#pragma once

#include <QColor>
#include <QPalette>
#include <QProxyStyle>

class QApplication;

namespace larkspur {

// The WCAG 2 contrast ratio of two opaque colours, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// The outline of text boxes, choice boxes and lists: the colour between the
// window and its text nearest the window that still stands out from it.
QColor EdgeColor(const QPalette& palette);

// The palette with its greyed texts moved just far enough from their
// backgrounds to read; a theme whose greyed texts read already is kept.
QPalette WithReadableDisabledText(QPalette palette);

// Draws the edges EdgeColor gives over the style it wraps.
class ReadableStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};

// Sets the style and the palette on the application, and keeps the palette
// readable when the desktop's theme (or a program) changes it.
void ApplyReadableLook(QApplication& application);

}  // namespace larkspur
