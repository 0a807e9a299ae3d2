// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "FileDropFilter.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace larkspur {
namespace {

// The first dropped local file, or an empty text.
QString FirstLocalFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return {};
    return QDir::toNativeSeparators(urls.first().toLocalFile());
}

}  // namespace

FileDropFilter::FileDropFilter(QWidget* dialog, QLineEdit* edit) : QObject(dialog), m_edit(edit)
{
    dialog->setAcceptDrops(true);
    dialog->installEventFilter(this);
    edit->installEventFilter(this);
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (FirstLocalFile(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = FirstLocalFile(drop->mimeData());
        if (path.isEmpty())
            return false;
        m_edit->setText(path);
        drop->acceptProposedAction();
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

}  // namespace larkspur
