#include "StatusLabel.h"

#include <QPalette>

namespace larkspur {

StatusLabel::StatusLabel(QWidget* parent)
    : QLabel(parent), m_backColor(palette().color(QPalette::Button)), m_textColor(Qt::black)
{
    // The label takes no mouse input of its own: clicks on it belong to the
    // window, which decides what they open.
    setTextInteractionFlags(Qt::NoTextInteraction);
    setAutoFillBackground(true);
    applyColors();
}

void StatusLabel::applyColors()
{
    QPalette colors = palette();
    colors.setColor(QPalette::Window, m_backColor);
    colors.setColor(QPalette::WindowText, m_textColor);
    setPalette(colors);
}

void StatusLabel::setTextColor(const QColor& color)
{
    m_textColor = color;
    applyColors();
    repaint();
}

void StatusLabel::setUnderline(bool underline)
{
    QFont underlined = font();
    underlined.setUnderline(underline);
    setFont(underlined);
}

}  // namespace larkspur
