// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/SystemState.h"

// Windows tells sleep through a window message this program does not watch;
// the network comes from Qt's backend for the Network List Manager.
SystemState* SystemState::create(QObject* parent)
{
    auto* state = new SystemState(parent);
    if (QNetworkInformation::loadDefaultBackend()) {
        state->followNetworkInformation();
    }
    return state;
}
