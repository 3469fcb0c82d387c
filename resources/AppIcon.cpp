// SPDX-License-Identifier: GPL-3.0-or-later

#include "resources/AppIcon.h"

#include <QString>

QIcon applicationIcon()
{
    // One icon for the whole run, so its pictures are decoded once. Never
    // destroyed: it must not outlive the application object's teardown.
    static const QIcon* icon = [] {
        auto* made = new QIcon;
        // Each size drawn on its own: Qt picks the nearest instead of scaling one big picture.
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            made->addFile(QStringLiteral(":/icons/tepora-%1.png").arg(size), QSize(size, size));
        return made;
    }();
    return *icon;
}
