// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "PathChooser.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace larkspur {

bool ChooseInto(QLineEdit* edit, ChooserRequest::Kind kind, const QString& caption,
                const QString& filter)
{
    ChooserRequest request;
    request.parent = edit->window();
    request.kind = kind;
    request.caption = caption;
    request.filter = filter;
    const QString current = edit->text();
    if (!current.isEmpty() && QFileInfo::exists(current))
        request.start = current;
    const QString chosen = ChoosePath(request);
    if (chosen.isEmpty())
        return false;
    edit->setText(QDir::toNativeSeparators(chosen));
    edit->setModified(true);
    return true;
}

}  // namespace larkspur
