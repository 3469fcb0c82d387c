// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace
{

class SystemClock : public Clock
{
public:
    SystemClock() { m_started.start(); }

    qint64 nowMs() const override { return m_started.elapsed(); }

    void after(int ms, QObject* context, std::function<void()> action) override
    {
        // A timer of the context's own, so that it goes with the context: a
        // deadline of a transfer long finished must not wake the program.
        auto* timer = new QTimer(context);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, context, [timer, action = std::move(action)] {
            // The action may end the context; the timer outlives this call.
            timer->setParent(nullptr);
            timer->deleteLater();
            action();
        });
        timer->start(ms);
    }

private:
    QElapsedTimer m_started;
};

Clock* g_installedClock = nullptr;

} // namespace

Clock& Clock::instance()
{
    static SystemClock system;
    return g_installedClock ? *g_installedClock : system;
}

void Clock::install(Clock* clock)
{
    g_installedClock = clock;
}
