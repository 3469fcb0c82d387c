// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/Core.h"

#include "alarm/TemperatureMonitor.h"
#include "base/Settings.h"
#include "base/SystemState.h"
#include "tray/IconPipeline.h"
#include "tray/TemperatureIcon.h"
#include "tray/cSysTray.h"
#include "weather/ReadingSource.h"

Core::Core(TrayBackend* tray, int converterTimeoutMs, SystemState* system, QObject* parent) : QObject(parent)
{
    auto readings = std::make_unique<ServiceReadings>();
    m_readings = readings.get();
    m_monitor = new TemperatureMonitor(std::move(readings), this);
    m_icon = new TemperatureIcon(tray, converterTimeoutMs, this);
    m_monitor->setIcon(m_icon);
    m_monitor->setSystemState(system ? system : SystemState::create(this));
}

Core::~Core()
{
    stop();
}

cSysTray& Core::trayControl() const
{
    return m_icon->control();
}

Inet& Core::transfer() const
{
    return m_readings->transfer();
}

void Core::setAlertPresenter(AlertPresenter* alerts)
{
    m_monitor->setAlertPresenter(alerts);
}

void Core::loadSettings()
{
    const Settings& store = Settings::instance();
    m_monitor->setLocation(store.get(Setting::Location));
    m_monitor->setTargetText(store.get(Setting::Target));
    m_options = Options{store.get(Setting::Rises), store.get(Setting::Falls), store.get(Setting::Both),
                        store.get(Setting::Fahrenheit), store.get(Setting::Celsius)};
    applyOptions();
    m_icon->setColors(store.get(Setting::FontColor), store.get(Setting::BackgroundColor));
}

bool Core::startsAtLogin() const
{
    return Settings::instance().get(Setting::WindowsStartup);
}

void Core::setStartsAtLogin(bool on)
{
    Settings::instance().set(Setting::WindowsStartup, on);
}

bool Core::startsInTray() const
{
    return Settings::instance().get(Setting::Minimized);
}

void Core::setStartsInTray(bool on)
{
    Settings::instance().set(Setting::Minimized, on);
}

QString Core::location() const
{
    return m_monitor->location();
}

// Each setter takes the value first and stores it second: a store that
// cannot be written is reported, but the program goes on with the value.
void Core::setLocation(const QString& location)
{
    m_monitor->setLocation(location);
    Settings::instance().set(Setting::Location, location);
}

QString Core::targetText() const
{
    return m_monitor->targetText();
}

void Core::setTargetText(const QString& text)
{
    m_monitor->setTargetText(text);
    Settings::instance().set(Setting::Target, text);
}

void Core::setDirectionOptions(bool rises, bool falls, bool both)
{
    m_options.rises = rises;
    m_options.falls = falls;
    m_options.both = both;
    applyOptions();
    Settings& store = Settings::instance();
    store.set(Setting::Rises, rises);
    store.set(Setting::Falls, falls);
    store.set(Setting::Both, both);
}

void Core::setUnitOptions(bool fahrenheit, bool celsius)
{
    m_options.fahrenheit = fahrenheit;
    m_options.celsius = celsius;
    applyOptions();
    Settings& store = Settings::instance();
    store.set(Setting::Fahrenheit, fahrenheit);
    store.set(Setting::Celsius, celsius);
}

void Core::applyOptions()
{
    m_monitor->setDirection(directionOf(m_options));
    m_monitor->setUnit(unitOf(m_options));
}

QColor Core::fontColor() const
{
    return m_icon->foreColor();
}

void Core::setFontColor(const QColor& color)
{
    m_icon->setColors(color, m_icon->backColor());
    Settings::instance().set(Setting::FontColor, color);
}

QColor Core::backgroundColor() const
{
    return m_icon->backColor();
}

void Core::setBackgroundColor(const QColor& color)
{
    m_icon->setColors(m_icon->foreColor(), color);
    Settings::instance().set(Setting::BackgroundColor, color);
}

void Core::deployConverter(const QByteArray& bytes)
{
    m_icon->pipeline().deployConverter(bytes.isEmpty() ? IconPipeline::converterBytes() : bytes);
}

void Core::removeConverter()
{
    m_icon->pipeline().removeConverter();
}

void Core::stop()
{
    m_monitor->stop();
}

// The store may hold several options chosen; the panel shows the last one of
// them, as loading sets its exclusive options one after the other.
Direction directionOf(const Core::Options& options)
{
    if (options.both) {
        return Direction::Both;
    }
    if (options.falls) {
        return Direction::Falls;
    }
    if (options.rises) {
        return Direction::Rises;
    }
    return Direction::None;
}

TempUnit unitOf(const Core::Options& options)
{
    if (options.celsius) {
        return TempUnit::Celsius;
    }
    if (options.fahrenheit) {
        return TempUnit::Fahrenheit;
    }
    return TempUnit::None;
}
