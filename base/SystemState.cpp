// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/SystemState.h"

Network networkOf(QNetworkInformation::Reachability reachability, bool told)
{
    if (!told) {
        return Network::Unknown;
    }
    switch (reachability) {
    case QNetworkInformation::Reachability::Disconnected:
        return Network::Offline;
    case QNetworkInformation::Reachability::Local:
    case QNetworkInformation::Reachability::Site:
        return Network::Limited;
    case QNetworkInformation::Reachability::Online:
        return Network::Online;
    case QNetworkInformation::Reachability::Unknown:
        break;
    }
    return Network::Changing;
}

void SystemState::setAsleep(bool asleep)
{
    if (asleep == m_asleep) {
        return;
    }
    m_asleep = asleep;
    emit asleepChanged(asleep);
}

void SystemState::setNetwork(Network network)
{
    if (network == m_network) {
        return;
    }
    m_network = network;
    emit networkChanged(network);
}

void SystemState::followNetworkInformation()
{
    QNetworkInformation* info = QNetworkInformation::instance();
    setNetwork(networkOf(info->reachability(), true));
    connect(info, &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability now) { setNetwork(networkOf(now, true)); });
}
