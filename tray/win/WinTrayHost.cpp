// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/TrayHost.h"

namespace
{

// The Windows notification area is always there.
class WinTrayHost : public TrayHost
{
public:
    using TrayHost::TrayHost;
    bool present() const override { return true; }
    bool statusNotifier() const override { return false; }
};

} // namespace

TrayHost* TrayHost::create(QObject* parent)
{
    return new WinTrayHost(parent);
}
