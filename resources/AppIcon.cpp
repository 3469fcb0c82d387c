#include "resources/AppIcon.h"

#include <QString>

QIcon applicationIcon()
{
    QIcon icon;
    // Each size drawn on its own: Qt picks the nearest instead of scaling one big picture.
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tepora-%1.png").arg(size), QSize(size, size));
    return icon;
}
