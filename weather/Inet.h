// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/Latch.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QCoroTask>

// The one web-request object the program shares: at most one request is in
// flight, and callers see that through StillExecuting(). OpenURL is awaited:
// windows keep painting and timers keep firing while the answer comes.
class Inet : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr qint64 kMaxAnswerBytes = 1024 * 1024;
    static constexpr int kMaxRedirects = 5;

    explicit Inet(QObject* parent = nullptr);
    ~Inet() override;

    bool StillExecuting() const { return m_busy; }

    // The body of the answer as text, also for error statuses (401, 404),
    // since the service explains those in the body. Cut at 1 MiB. A transfer
    // that fails (no network, time-out, dropped connection) raises Failure
    // with the transfer's own description, the address in it without its
    // query (which holds the key). The whole transfer, redirects included,
    // gets timeoutMs(); its connection is closed when this returns. Plain
    // http goes only to this computer.
    QCoro::Task<QString> OpenURL(QString url);

    // The service answered 429 Too Many Requests to the last OpenURL, or that
    // call sent nothing because the time the service asked for is not over.
    bool askedToWait() const { return m_askedToWait; }

    // Done when no request is in flight.
    QCoro::Task<> waitUntilIdle();

    // The program is closing: the request in flight, if any, and every later
    // one raise Cancelled.
    void cancel();
    // The machine is going to sleep or off the network: the request in
    // flight, if any, ends now and raises Cancelled, so nobody reports a
    // connection the system took away. Later requests go out as usual.
    void abandon();

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

signals:
    void idle();

private:
    void settle();

    bool m_busy = false;
    bool m_askedToWait = false;
    qint64 m_waitUntilMs = -1; // on Clock; -1: no wait asked for
    Latch m_cancelled;
    Latch* m_inFlight = nullptr; // the stop of the transfer under way
    int m_timeoutMs = kDefaultTimeoutMs;
};
