// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// A box for a folder path. While it has no focus, a path too long for it is
// shown with its middle left out ("/home/ann/…/site/public"), the last
// folder whole; the text, editing and the tooltip always hold the whole path.
#pragma once

#include <QLineEdit>

class QFontMetrics;

namespace larkspur {

class PathEdit : public QLineEdit {
public:
    explicit PathEdit(QWidget* parent = nullptr);

    // What the box shows now.
    QString shownText() const;
    // `path` in at most `width` pixels: whole folders from both ends with
    // "…" between them, the last one kept whole as long as it fits.
    static QString elide(const QString& path, const QFontMetrics& metrics, int width);

    // Wide enough for a usual path.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textRect() const;
};

}  // namespace larkspur
