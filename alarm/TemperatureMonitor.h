// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "alarm/AlarmDecision.h"
#include "alarm/AlertFigures.h"
#include "alarm/SystemReaction.h"
#include "base/TempUnit.h"
#include "tray/TrayTexts.h"

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <memory>

class AlertPresenter;
class QTimer;
class ReadingSource;
class SystemState;
class TemperatureIcon;

// Runs the program without a window: the poll timer, the readings, the
// refresh with its tray icon, and the alarm with its state. Windows set its
// inputs and show what it emits. Everything runs on the caller's thread; the
// waits are awaited, and one refresh runs at a time.
class TemperatureMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPollIntervalMs = 60000;

    explicit TemperatureMonitor(std::unique_ptr<ReadingSource> source, QObject* parent = nullptr);
    ~TemperatureMonitor() override;

    // Inputs. Each change of an alarm setting arms the alarm again.
    void setLocation(const QString& location);
    void setUnit(TempUnit unit);
    void setDirection(Direction direction);
    void setTargetText(const QString& text);
    // The API key button's caption, named in the rejected-key message.
    void setKeyButtonCaption(const QString& caption) { m_keyButtonCaption = caption; }
    // Where alerts are shown; none: an alert due is only recorded as shown.
    void setAlertPresenter(AlertPresenter* alerts) { m_alerts = alerts; }
    // The tray icon a refresh draws the reading into; none: no icon.
    void setIcon(TemperatureIcon* icon) { m_icon = icon; }
    // What the system says about sleep and the network; none: awake, network
    // unknown. Asleep, offline and just after a resume, ticks ask nothing.
    void setSystemState(SystemState* system);

    QString location() const { return m_location; }
    TempUnit unit() const { return m_unit; }
    Direction direction() const { return m_direction; }
    QString targetText() const { return m_targetText; }

    void setPollInterval(int ms) { m_pollIntervalMs = ms; }
    int pollInterval() const { return m_pollIntervalMs; }
    // Starts the poll timer with the poll interval.
    void startPolling();
    QTimer* pollTimer() const { return Timer1; }

    // One reading for the location and unit; while the system says it has
    // no network, WaitsForNetworkTemp without asking.
    QCoro::Task<double> getWeather(bool InTimer);
    // Takes a reading, shows it (temperatureShown, the tray icon), then runs
    // the alarm step. Waits for a refresh under way to end first.
    QCoro::Task<> ListTemp(bool InTimer);
    // Whether the target counts as reached by a fresh reading.
    QCoro::Task<bool> HasReachedTemp();
    // One poll, as the timer runs it; skipped while a refresh is under way
    // and while the system is asleep, offline or just resumed.
    QCoro::Task<> Timer1_Timer();

    // The first activation: a quiet reading becomes the alarm's starting point.
    QCoro::Task<> primeAlarm();
    // The next reading that reaches the target raises the alarm again.
    void rearm() { AlarmShown = false; }
    // "Test Alarm": a fresh reading, then an alert whatever the target.
    QCoro::Task<> testAlarm();
    // Closing: the timer stops, and whatever waits (a reading, the
    // converter, an alert) ends now; nothing new starts.
    void stop();

    double CurTemp = 0;
    double TargTemp = 0;
    QString CityName;
    double lastAlarmTemp() const { return LastAlarmTemp; }
    bool alarmShown() const { return AlarmShown; }
    bool refreshing() const { return m_refreshing; }
    bool stopped() const { return m_stopped; }

signals:
    // A refresh has its reading and the texts that show it.
    void temperatureShown(const TemperatureTexts& texts);
    // After every refresh, the alarm step included.
    void refreshed();
    // A refresh, an alarm test or a priming reading has ended.
    void refreshEnded();

private:
    class Refresh;
    QCoro::Task<bool> beginRefresh();
    QCoro::Task<> alarmStep();
    QCoro::Task<> poll();
    void followSystem();
    QCoro::Task<> refreshForSystem();
    AlertFigures figures() const;

    std::unique_ptr<ReadingSource> m_source;
    QTimer* Timer1 = nullptr;
    int m_pollIntervalMs = kPollIntervalMs;
    AlertPresenter* m_alerts = nullptr;
    TemperatureIcon* m_icon = nullptr;
    SystemState* m_system = nullptr;
    SystemView m_seen;
    quint64 m_resumes = 0;
    quint64 m_resumeRefreshDue = 0; // the resume whose refresh is still to come; 0: none

    QString m_location;
    TempUnit m_unit = TempUnit::None;
    Direction m_direction = Direction::None;
    QString m_targetText;
    QString m_keyButtonCaption;

    double LastAlarmTemp = 0;
    bool AlarmShown = false;
    bool m_refreshing = false;
    bool m_stopped = false;
};
