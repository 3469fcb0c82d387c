// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "alarm/AlarmDecision.h"
#include "base/TempUnit.h"

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QString>

class AlertPresenter;
class Inet;
class ServiceReadings;
class SystemState;
class TemperatureIcon;
class TemperatureMonitor;
class TrayBackend;
class cSysTray;

// The program without its windows: the monitor with its readings and alarm,
// the tray icon, the settings, the converter on disk, and what the system
// says about sleep and the network. Every value the
// user can change lives here, is saved the moment it changes and reaches
// the monitor and the icon from here. Windows show these values and call
// the setters; the setters raise Failure when the store cannot be written.
class Core : public QObject
{
    Q_OBJECT

public:
    // `system` null: the system's own (logind, NetworkManager).
    Core(TrayBackend* tray, int converterTimeoutMs, SystemState* system = nullptr, QObject* parent = nullptr);
    ~Core() override;

    TemperatureMonitor& monitor() const { return *m_monitor; }
    TemperatureIcon& icon() const { return *m_icon; }
    cSysTray& trayControl() const;
    Inet& transfer() const;
    void setAlertPresenter(AlertPresenter* alerts);

    // Every stored value into the monitor and the icon, as at start.
    void loadSettings();

    bool startsAtLogin() const;
    void setStartsAtLogin(bool on);
    bool startsInTray() const;
    void setStartsInTray(bool on);

    QString location() const;
    void setLocation(const QString& location);
    QString targetText() const;
    void setTargetText(const QString& text);

    // The three direction options and the two unit options as stored: the
    // store may hold any mix of them, and the windows show what it holds.
    struct Options {
        bool rises = false;
        bool falls = false;
        bool both = false;
        bool fahrenheit = false;
        bool celsius = false;
    };
    Options options() const { return m_options; }
    void setDirectionOptions(bool rises, bool falls, bool both);
    void setUnitOptions(bool fahrenheit, bool celsius);

    QColor fontColor() const;
    void setFontColor(const QColor& color);
    QColor backgroundColor() const;
    void setBackgroundColor(const QColor& color);

    // The converter's copy on disk, from start to end: `bytes`, or when
    // empty the converter the program carries.
    void deployConverter(const QByteArray& bytes = {});
    void removeConverter();

    // Closing: no tick, reading, conversion or alert goes on.
    void stop();

private:
    void applyOptions();

    ServiceReadings* m_readings = nullptr; // owned by the monitor
    TemperatureMonitor* m_monitor = nullptr;
    TemperatureIcon* m_icon = nullptr;
    Options m_options;
};

// The direction and unit the options stand for: the last one chosen in the
// panel's order, none when none is.
Direction directionOf(const Core::Options& options);
TempUnit unitOf(const Core::Options& options);
