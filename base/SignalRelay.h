// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop, so the
// program closes the same way as from its window (converter and tray icon
// removed) when the session ends or someone asks it to stop.
class SignalRelay : public QObject
{
    Q_OBJECT

public:
    // From the first line of main: SIGPIPE ignored, and termination signals
    // held until a relay hands them on (at once, if one came meanwhile).
    static void catchEarly();

    explicit SignalRelay(QObject* parent = nullptr);
    ~SignalRelay() override;

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};
