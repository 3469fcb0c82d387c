// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QNetworkInformation>
#include <QObject>

// Whether the service can be reached, as far as the system knows.
enum class Network {
    Unknown,  // nothing tells (no NetworkManager): poll as always
    Offline,  // no network at all: a request could only fail
    Changing, // connecting, or the network itself still waking up
    Limited,  // only the local link or the site: a proxy may still reach the service
    Online,
};

// NetworkManager's reachability as the program takes it; `told` is false
// where no backend reports. Its "unknown" is a network between states.
Network networkOf(QNetworkInformation::Reachability reachability, bool told);

// What the system tells about sleep and the network. The monitor reacts to
// it; tests set it by hand.
class SystemState : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The system's own: the sleep signal of logind on the system bus and
    // NetworkManager's reachability. A part the system cannot tell stays as
    // it starts: awake, network unknown.
    static SystemState* create(QObject* parent);

    bool asleep() const { return m_asleep; }
    Network network() const { return m_network; }

signals:
    // True just before the machine sleeps, false after it has resumed.
    void asleepChanged(bool asleep);
    void networkChanged(Network network);

public slots:
    // Each emits only on a real change.
    void setAsleep(bool asleep);
    void setNetwork(Network network);

private:
    // Takes the network from Qt's backend that has been loaded, from now on.
    void followNetworkInformation();

    bool m_asleep = false;
    Network m_network = Network::Unknown;
};
