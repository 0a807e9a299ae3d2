// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The main window's status line: a label painted on the button-face colour,
// a way into the site folder by a click, and after a save the file saved,
// with a menu to open it or copy its address.
#pragma once

#include <QColor>
#include <QLabel>

class QMenu;

namespace larkspur {

class StatusLabel : public QLabel {
public:
    explicit StatusLabel(QWidget* parent = nullptr);

    // The folder a click opens; empty leaves the line inert.
    void setFolder(const QString& folder);
    // After a save: the line and its tooltip, the file saved and its URL.
    void showSaved(const QString& text, const QString& toolTip, const QString& file, const QString& url);
    // Forgets the save: it was another project's, or another folder's.
    void clearSaved();

    // Repaints at once, so the new colour shows before the handler returns.
    void setTextColor(const QColor& color);
    // Underlines the label's current font, whatever it is at the call.
    void setUnderline(bool underline);

    // The file saved, and its URL; empty before a save.
    QString savedFile() const { return m_file; }
    QString savedUrl() const { return m_url; }
    QColor textColor() const { return m_textColor; }
    QColor backColor() const { return m_backColor; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyColors();
    void showMenu(const QPoint& at);

    QString m_folder;
    QString m_file;
    QString m_url;
    QMenu* m_menu = nullptr;  // made when first asked for

    QColor m_backColor;
    QColor m_textColor;
};

}  // namespace larkspur
