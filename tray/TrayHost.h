// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

// Whether something on the desktop shows tray icons now, and of which kind.
// The tray icon is made only once a host answers: Qt decides at its first
// tray call which kind of tray to use and never asks again.
class TrayHost : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~TrayHost() override = default;

    // The desktop's own hosts, watched from now on.
    static TrayHost* create(QObject* parent);

    // A host shows tray icons.
    virtual bool present() const = 0;
    // It is a StatusNotifierItem host (the icon's menu goes over D-Bus).
    virtual bool statusNotifier() const = 0;

signals:
    // A host came or went.
    void changed();
};
