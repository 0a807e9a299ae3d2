// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "ApplicationIcon.h"

#include <QtGlobal>

// Resources of a static library are not registered by themselves; the
// initialiser has to be named outside any namespace.
static void InitLarkspurResources()
{
    Q_INIT_RESOURCE(larkspur);
}

namespace larkspur {

QIcon ApplicationIcon()
{
    static const bool initialised = (InitLarkspurResources(), true);
    Q_UNUSED(initialised);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/larkspur/icons/larkspur-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace larkspur
