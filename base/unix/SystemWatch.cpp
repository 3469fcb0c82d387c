// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/SystemState.h"

#include <QDBusConnection>

// logind says "true" on the system bus just before the machine sleeps and
// "false" once it has resumed; NetworkManager's reachability comes through
// Qt's backend for it. Without a system bus, logind or NetworkManager, that
// part says nothing.
SystemState* SystemState::create(QObject* parent)
{
    auto* state = new SystemState(parent);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                    state, SLOT(setAsleep(bool)));
    }
    // Qt's backend asks NetworkManager on the system bus; without it no
    // backend loads and the network stays unknown.
    if (bus.isConnected() && QNetworkInformation::loadBackendByName(u"networkmanager")) {
        state->followNetworkInformation();
    }
    return state;
}
