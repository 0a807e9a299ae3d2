// The main window's status line: a label whose text colour and underline are
// set after each save, painted on the button-face colour.
#pragma once

#include <QColor>
#include <QLabel>

namespace larkspur {

class StatusLabel : public QLabel {
public:
    explicit StatusLabel(QWidget* parent = nullptr);

    // Repaints at once, so the new colour shows before the handler returns.
    void setTextColor(const QColor& color);
    // Underlines the label's current font, whatever it is at the call.
    void setUnderline(bool underline);

    QColor textColor() const { return m_textColor; }
    QColor backColor() const { return m_backColor; }

private:
    void applyColors();

    QColor m_backColor;
    QColor m_textColor;
};

}  // namespace larkspur
