// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "alarm/AlarmDecision.h"
#include "alarm/AlertFigures.h"
#include "base/TempUnit.h"
#include "tray/TrayTexts.h"

#include <QObject>
#include <QString>

#include <memory>

class QTimer;
class ReadingSource;

// Runs the program without a window: the poll timer, the readings, the
// refresh and the alarm with its state. Windows set its inputs and show what
// it emits. Everything runs on the caller's thread; the waits inside a
// reading or an alert let events run, so a refresh guards against nesting.
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

    QString location() const { return m_location; }
    TempUnit unit() const { return m_unit; }
    Direction direction() const { return m_direction; }
    QString targetText() const { return m_targetText; }

    void setPollInterval(int ms) { m_pollIntervalMs = ms; }
    int pollInterval() const { return m_pollIntervalMs; }
    // Starts the poll timer with the poll interval.
    void startPolling();
    QTimer* pollTimer() const { return Timer1; }

    // One reading for the location and unit.
    double getWeather(bool InTimer);
    // Takes a reading, has it shown (temperatureShown), then runs the alarm step.
    void ListTemp(bool InTimer);
    // Whether the target counts as reached by a fresh reading.
    bool HasReachedTemp();
    // One poll, as the timer runs it; skipped while a refresh is under way.
    void Timer1_Timer();

    // The first activation: a quiet reading becomes the alarm's starting point.
    void primeAlarm();
    // The next reading that reaches the target raises the alarm again.
    void rearm() { AlarmShown = false; }
    // "Test Alarm": a fresh reading, then an alert whatever the target.
    void testAlarm();
    // Closing: the timer stops and no refresh or alert goes on.
    void stop();

    double CurTemp = 0;
    double TargTemp = 0;
    QString CityName;
    double lastAlarmTemp() const { return LastAlarmTemp; }
    bool alarmShown() const { return AlarmShown; }
    bool refreshing() const { return m_refreshDepth > 0; }
    bool stopped() const { return m_stopped; }

signals:
    // A refresh has its reading and the texts that show it.
    void temperatureShown(const TemperatureTexts& texts);
    // The alert is to be shown; the slot returns when the user closed it.
    void alertDue(const AlertFigures& figures);
    // After every refresh, the alarm step included.
    void refreshed();

private:
    void alarmStep();
    AlertFigures figures() const;

    std::unique_ptr<ReadingSource> m_source;
    QTimer* Timer1 = nullptr;
    int m_pollIntervalMs = kPollIntervalMs;

    QString m_location;
    TempUnit m_unit = TempUnit::None;
    Direction m_direction = Direction::None;
    QString m_targetText;
    QString m_keyButtonCaption;

    double LastAlarmTemp = 0;
    bool AlarmShown = false;
    int m_refreshDepth = 0;
    bool m_stopped = false;
};
