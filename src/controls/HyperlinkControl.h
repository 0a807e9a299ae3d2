// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Turns an existing QLabel into a web link: blue text (purple once
// followed), a hand cursor, underline while the pointer is over it, a focus
// frame, and activation by a left click, on release of the space key or on
// Enter, which hands the target to the desktop.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>

class QCursor;


namespace larkspur {

class HyperlinkControl : public QObject {
public:
    explicit HyperlinkControl(QObject* parent = nullptr);
    // Gives a label that is still alive its own font and event handling back.
    ~HyperlinkControl() override;

    HyperlinkControl(const HyperlinkControl&) = delete;
    HyperlinkControl& operator=(const HyperlinkControl&) = delete;

    // Takes over the label; a target longer than 511 characters is cut.
    // Always true.
    bool attach(QLabel* label, const QString& target);

    QLabel* label() const { return m_label; }
    const QString& target() const { return m_target; }
    bool isHovered() const { return m_hover; }
    bool isVisited() const { return m_visited; }

    static constexpr int kTargetLimit = 511;
    static QColor linkColor() { return QColor(0, 0, 255); }
    static QColor visitedColor() { return QColor(128, 0, 128); }
    // The colour to draw a link in on `background`: the two above on a light
    // background; on a dark one (a dark theme) the palette's own link
    // colours, lightened where they would be hard to read.
    static QColor readableColor(const QPalette& palette, const QColor& background,
                                bool visited = false);

    // State shared by all links: how many are attached to a live label, and
    // the hover font and cursor they share (null while none is).
    static int liveCount();
    static const QFont* sharedUnderlineFont();
    static const QCursor* sharedCursor();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Hooks for links that want to show more than the underline.
    virtual void onHighlight() {}
    virtual void onUnhighlight() {}

private:
    void activate();
    void setHover(bool hover);
    void applyColor();
    void paintWithFocusFrame(QEvent* paintEvent);
    void labelDestroyed();
    void detach();
    static void acquireShared(const QFont& font);
    static void releaseShared();

    QPointer<QLabel> m_label;
    QString m_target;
    bool m_hover = false;
    bool m_visited = false;
    QFont m_savedFont;
    bool m_attached = false;
    QMetaObject::Connection m_destroyedConnection;
};

}  // namespace larkspur
