// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The walk's statistics in columns: one line per count, the extensions that
// become sitemap entries marked.
#pragma once

#include <QListWidget>
#include <QString>

#include <vector>

namespace larkspur {

class StatisticsList : public QObject {
    Q_OBJECT
public:
    struct Line {
        QString text;
        bool checked = false;
        // An extension's line: its mark can be set and cleared. Totals are
        // plain text.
        QString extension;
    };

    // Lays out and fills `list`, a list of the window's form.
    explicit StatisticsList(QListWidget* list);

    void fill(const std::vector<Line>& lines);
    void clear();

Q_SIGNALS:
    // The user set or cleared the mark of an extension ("html", no dot).
    void markChanged(const QString& extension, bool checked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layout();
    void itemChanged(QListWidgetItem* item);

    QListWidget* m_list;
    bool m_filling = false;
};

}  // namespace larkspur
