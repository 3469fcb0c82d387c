// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/TemperatureMonitor.h"

#include "alarm/AlertPresenter.h"
#include "alarm/PanelTexts.h"
#include "base/Clock.h"
#include "base/Convert.h"
#include "base/ErrorReport.h"
#include "base/Latch.h"
#include "base/SystemState.h"
#include "tray/TemperatureIcon.h"
#include "weather/ReadingSource.h"

#include <QTimer>

// Ends the refresh it was begun for, however its coroutine ends.
class TemperatureMonitor::Refresh
{
public:
    explicit Refresh(TemperatureMonitor& monitor) : m_monitor(monitor) {}
    ~Refresh()
    {
        m_monitor.m_refreshing = false;
        emit m_monitor.refreshEnded();
    }
    Refresh(const Refresh&) = delete;
    Refresh& operator=(const Refresh&) = delete;

private:
    TemperatureMonitor& m_monitor;
};

TemperatureMonitor::TemperatureMonitor(std::unique_ptr<ReadingSource> source, QObject* parent)
    : QObject(parent), m_source(std::move(source)), Timer1(new QTimer(this))
{
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

TemperatureMonitor::~TemperatureMonitor()
{
    stop();
}

void TemperatureMonitor::setLocation(const QString& location)
{
    m_location = location;
    rearm();
}

void TemperatureMonitor::setUnit(TempUnit unit)
{
    m_unit = unit;
    rearm();
}

void TemperatureMonitor::setDirection(Direction direction)
{
    m_direction = direction;
    rearm();
}

void TemperatureMonitor::setTargetText(const QString& text)
{
    m_targetText = text;
    rearm();
}

void TemperatureMonitor::setSystemState(SystemState* system)
{
    if (m_system) {
        disconnect(m_system, nullptr, this, nullptr);
    }
    m_system = system;
    m_seen = system ? SystemView{system->asleep(), system->network()} : SystemView{};
    if (system) {
        connect(system, &SystemState::asleepChanged, this, &TemperatureMonitor::followSystem);
        connect(system, &SystemState::networkChanged, this, &TemperatureMonitor::followSystem);
    }
}

void TemperatureMonitor::followSystem()
{
    const SystemView now{m_system->asleep(), m_system->network()};
    const SystemReaction reaction = systemReaction(m_seen, now);
    m_seen = now;
    if (m_stopped) {
        return;
    }
    if (now.asleep) {
        m_resumeRefreshDue = 0;
    }
    if (reaction.abandon) {
        // The refresh waiting for it ends here, showing nothing.
        m_source->abandon();
    }
    if (reaction.refreshAfterResume) {
        const quint64 resume = ++m_resumes;
        m_resumeRefreshDue = resume;
        Clock::instance().after(kResumeDelayMs, this, [this, resume] {
            if (m_resumeRefreshDue != resume) {
                return; // asleep again, or the network's return read already
            }
            m_resumeRefreshDue = 0;
            if (pollAsks(m_seen, false)) {
                refreshForSystem();
            }
        });
    }
    if (reaction.refreshNow) {
        m_resumeRefreshDue = 0;
        refreshForSystem();
    }
}

QCoro::Task<> TemperatureMonitor::refreshForSystem()
{
    // The next tick a whole interval after this reading.
    if (Timer1->isActive()) {
        Timer1->start();
    }
    // Waits for a refresh under way rather than skipping as a tick would:
    // this reading is the one the user waits for.
    co_await poll();
}

void TemperatureMonitor::startPolling()
{
    Timer1->setInterval(m_pollIntervalMs);
    Timer1->start();
}

QCoro::Task<bool> TemperatureMonitor::beginRefresh()
{
    while (m_refreshing && !m_stopped) {
        co_await emitted(this, &TemperatureMonitor::refreshEnded);
    }
    if (m_stopped) {
        co_return false;
    }
    m_refreshing = true;
    co_return true;
}

QCoro::Task<double> TemperatureMonitor::getWeather(bool InTimer)
{
    // Asking would only bring up a box about a connection the system
    // already knows is not there.
    if (m_seen.network == Network::Offline) {
        co_return WaitsForNetworkTemp;
    }
    // Named, not a temporary inside co_await: GCC 12 destroys such a
    // temporary twice.
    WeatherInputs inputs{m_location, m_unit, m_keyButtonCaption};
    const Reading reading = co_await m_source->read(std::move(inputs), InTimer);
    CityName = reading.cityName;
    co_return reading.temperature;
}

QCoro::Task<> TemperatureMonitor::ListTemp(bool InTimer)
{
    const bool begun = co_await beginRefresh();
    if (!begun) {
        co_return;
    }
    const Refresh refresh(*this);
    Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
    p.run(100, [&] { TargTemp = roundHalfEven(toDouble(m_targetText)); });
    co_await p.step(102, [&]() -> QCoro::Task<> { CurTemp = co_await getWeather(InTimer); });
    if (m_stopped) {
        co_return;
    }
    TemperatureTexts texts;
    p.run(106, [&] {
        texts = temperatureTexts(CurTemp, m_unit, CityName);
        texts.statusLine += targetNote(m_targetText);
    });
    // The status line is the window's step 108.
    emit temperatureShown(texts);
    if (m_icon) {
        co_await m_icon->show(p, texts);
    }
    if (!m_stopped) {
        co_await p.step(120, [&] { return alarmStep(); });
    }
    emit refreshed();
}

QCoro::Task<bool> TemperatureMonitor::HasReachedTemp()
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("HasReachedTemp"));
    bool result = false;
    bool reached = false;
    double cur = 0;
    co_await p.step(100, [&]() -> QCoro::Task<> { cur = co_await getWeather(true); });
    if (p.test(102, [&] { return cur <= InvalidKeyTemp; })) {
        co_return false;
    }
    // A target that is no number never counts as reached. ListTemp has
    // reported it, and the status line says so: one box is enough.
    if (!p.test(104, [&] { return cur == LastAlarmTemp; }) && targetIsNumber(m_targetText)) {
        p.run(106, [&] { reached = targetReached(cur, toDouble(m_targetText), m_direction, LastAlarmTemp); });
    }
    if (reached) {
        p.run(108, [&] {
            LastAlarmTemp = roundHalfEven(cur);
            result = true;
        });
    }
    co_return result;
}

AlertFigures TemperatureMonitor::figures() const
{
    return AlertFigures{CityName, TargTemp, CurTemp, m_unit};
}

QCoro::Task<> TemperatureMonitor::alarmStep()
{
    // Awaited on a line of its own: GCC 12 miscompiles co_await inside || .
    const bool reached = co_await HasReachedTemp();
    if (!reached || AlarmShown || m_stopped) {
        co_return;
    }
    // No poll while the alert is open.
    Timer1->setInterval(0);
    Timer1->stop();
    if (m_alerts) {
        co_await m_alerts->showAlert(figures());
    }
    if (m_stopped) {
        co_return;
    }
    AlarmShown = true;
    startPolling();
}

QCoro::Task<> TemperatureMonitor::Timer1_Timer()
{
    // A tick while an earlier refresh still waits (for the service, the
    // converter or an open alert) is skipped, so refreshes never pile up.
    if (m_refreshing || m_stopped || !pollAsks(m_seen, m_resumeRefreshDue != 0)) {
        co_return;
    }
    co_await poll();
}

QCoro::Task<> TemperatureMonitor::poll()
{
    const PollScope poll;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"));
    // Events run while the refresh waits; nothing needs running before it.
    co_await p.step(102, [&] { return ListTemp(true); });
}

QCoro::Task<> TemperatureMonitor::primeAlarm()
{
    const bool begun = co_await beginRefresh();
    if (!begun) {
        co_return;
    }
    const Refresh refresh(*this);
    LastAlarmTemp = co_await getWeather(true);
}

QCoro::Task<> TemperatureMonitor::testAlarm()
{
    // Counts as a refresh, so a tick cannot stack a second alert on this one.
    const bool begun = co_await beginRefresh();
    if (!begun) {
        co_return;
    }
    const Refresh refresh(*this);
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    p.run(100, [&] { TargTemp = roundHalfEven(toDouble(m_targetText)); });
    co_await p.step(102, [&]() -> QCoro::Task<> { CurTemp = co_await getWeather(false); });
    if (!m_stopped && p.test(104, [&] { return CurTemp > InvalidKeyTemp; })) {
        co_await p.step(106, [&]() -> QCoro::Task<> {
            if (m_alerts) {
                co_await m_alerts->showAlert(figures());
            }
        });
    }
}

void TemperatureMonitor::stop()
{
    if (m_stopped) {
        return;
    }
    // One place ends every wait: each resumes, sees the monitor stopped and
    // goes no further.
    m_stopped = true;
    Timer1->stop();
    m_source->cancel();
    if (m_icon) {
        m_icon->pipeline().cancel();
    }
    if (m_alerts) {
        m_alerts->closeAlert();
    }
    emit refreshEnded();
}
