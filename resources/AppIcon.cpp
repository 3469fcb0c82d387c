// SPDX-License-Identifier: GPL-3.0-or-later

#include "resources/AppIcon.h"

#include "base/LazyIconEngine.h"

#include <QString>

namespace
{

// Each size drawn on its own, so that Qt picks the nearest instead of scaling
// one big picture; read only when a window or panel asks for that size.
class AppIconEngine : public LazyIconEngine
{
public:
    AppIconEngine() : LazyIconEngine({16, 24, 32, 48, 64, 128, 256}, false) {}
    QIconEngine* clone() const override { return new AppIconEngine(*this); }

protected:
    QPixmap make(int side) const override
    {
        return QPixmap(QStringLiteral(":/icons/tepora-%1.png").arg(side));
    }
};

} // namespace

QIcon applicationIcon()
{
    // One icon for the whole run. Never destroyed: it must not outlive the
    // application object's teardown.
    static const QIcon* icon = new QIcon(new AppIconEngine);
    return *icon;
}
