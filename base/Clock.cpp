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
        QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(action));
    }

private:
    QElapsedTimer m_started;
};

Clock* g_installed = nullptr;

} // namespace

Clock& Clock::instance()
{
    static SystemClock system;
    return g_installed ? *g_installed : system;
}

void Clock::install(Clock* clock)
{
    g_installed = clock;
}
