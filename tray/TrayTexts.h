// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "weather/WeatherText.h"

#include <QString>

// What one refresh shows about a reading.
struct TemperatureTexts {
    QString readingText; // the reading, or why there is none
    QString iconText;    // drawn into the tray icon
    QString statusLine;  // the main window's status line
    QString tooltip;     // the tray icon's tooltip
};

TemperatureTexts temperatureTexts(double curTemp, TempUnit unit, const QString& cityName);
