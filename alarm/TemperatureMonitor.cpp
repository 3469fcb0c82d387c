// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/TemperatureMonitor.h"

#include "base/Convert.h"
#include "base/ErrorReport.h"
#include "weather/ReadingSource.h"

#include <QCoreApplication>
#include <QTimer>

namespace
{

// Holds a refresh open for the ticks that come while it waits.
class RefreshScope
{
public:
    explicit RefreshScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~RefreshScope() { --m_depth; }
    RefreshScope(const RefreshScope&) = delete;
    RefreshScope& operator=(const RefreshScope&) = delete;

private:
    int& m_depth;
};

} // namespace

TemperatureMonitor::TemperatureMonitor(std::unique_ptr<ReadingSource> source, QObject* parent)
    : QObject(parent), m_source(std::move(source)), Timer1(new QTimer(this))
{
    connect(Timer1, &QTimer::timeout, this, &TemperatureMonitor::Timer1_Timer);
}

TemperatureMonitor::~TemperatureMonitor() = default;

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

void TemperatureMonitor::startPolling()
{
    Timer1->setInterval(m_pollIntervalMs);
    Timer1->start();
}

double TemperatureMonitor::getWeather(bool InTimer)
{
    const WeatherInputs inputs{m_location, m_unit, m_keyButtonCaption};
    return m_source->read(inputs, InTimer, CityName);
}

void TemperatureMonitor::ListTemp(bool InTimer)
{
    RefreshScope refreshing(m_refreshDepth);
    Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
    p.run(100, [&] { TargTemp = roundHalfEven(toDouble(m_targetText)); });
    p.run(102, [&] { CurTemp = getWeather(InTimer); });
    if (!m_stopped) {
        TemperatureTexts texts;
        p.run(106, [&] { texts = temperatureTexts(CurTemp, m_unit, CityName); });
        // Status line, tooltip and tray icon: steps 108 to 118 of the windows.
        emit temperatureShown(texts);
    }
    if (!m_stopped) {
        p.run(120, [&] { alarmStep(); });
    }
    emit refreshed();
}

bool TemperatureMonitor::HasReachedTemp()
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("HasReachedTemp"));
    bool result = false;
    bool reached = false;
    double cur = 0;
    p.run(100, [&] { cur = getWeather(true); });
    if (p.test(102, [&] { return cur <= InvalidKeyTemp; })) {
        return false;
    }
    if (!p.test(104, [&] { return cur == LastAlarmTemp; })) {
        // A target that is no number never counts as reached; the failed
        // conversion is still reported.
        p.run(106, [&] { reached = targetReached(cur, toDouble(m_targetText), m_direction, LastAlarmTemp); });
    }
    if (reached) {
        p.run(108, [&] {
            LastAlarmTemp = roundHalfEven(cur);
            result = true;
        });
    }
    return result;
}

AlertFigures TemperatureMonitor::figures() const
{
    return AlertFigures{CityName, TargTemp, CurTemp, m_unit};
}

void TemperatureMonitor::alarmStep()
{
    if (!HasReachedTemp() || AlarmShown || m_stopped) {
        return;
    }
    Timer1->setInterval(0);
    Timer1->stop();
    emit alertDue(figures());
    if (m_stopped) {
        return;
    }
    AlarmShown = true;
    startPolling();
}

void TemperatureMonitor::Timer1_Timer()
{
    // A tick while an earlier refresh still waits (for the service, the
    // converter or an open alert) is skipped, so refreshes never nest.
    if (m_refreshDepth > 0 || m_stopped) {
        return;
    }
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"));
    p.run(100, [&] { QCoreApplication::processEvents(); });
    p.run(102, [&] { ListTemp(true); });
    p.run(104, [&] { QCoreApplication::processEvents(); });
}

void TemperatureMonitor::primeAlarm()
{
    LastAlarmTemp = getWeather(true);
}

void TemperatureMonitor::testAlarm()
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    // Counts as a refresh, so a tick cannot stack a second alert on this one.
    RefreshScope refreshing(m_refreshDepth);
    p.run(100, [&] { TargTemp = roundHalfEven(toDouble(m_targetText)); });
    p.run(102, [&] { CurTemp = getWeather(false); });
    if (!m_stopped && p.test(104, [&] { return CurTemp > InvalidKeyTemp; })) {
        p.run(106, [&] { emit alertDue(figures()); });
    }
}

void TemperatureMonitor::stop()
{
    m_stopped = true;
    Timer1->stop();
}
