// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/TrayTexts.h"

#include "base/Modal.h"

#include <cmath>

TemperatureTexts temperatureTexts(double curTemp, TempUnit unit, const QString& cityName)
{
    TemperatureTexts t;
    const QString head = QStringLiteral("The current temperature in ") + cityName;
    if (curTemp > InvalidKeyTemp) {
        t.readingText = QString::number(static_cast<qlonglong>(std::llround(curTemp))) + unitSuffix(unit);
        t.iconText = t.readingText;
        t.statusLine = head + QStringLiteral(" is ") + t.readingText;
    } else {
        if (curTemp == InvalidKeyTemp) {
            t.readingText = QStringLiteral("API Key is not correct.");
        } else if (curTemp == UnknownCityTemp) {
            t.readingText = QStringLiteral("location is not correct.");
        } else if (curTemp == NoReadingTemp) {
            t.readingText = QStringLiteral("no answer came.");
        } else if (curTemp == AskedToWaitTemp) {
            t.readingText = QStringLiteral("the service asked to wait.");
        } else if (curTemp == WaitsForNetworkTemp) {
            t.readingText = QStringLiteral("the reading waits for the network.");
        }
        t.iconText = QStringLiteral("N/A");
        t.statusLine = head + QStringLiteral(" is unavailable because ") + t.readingText;
    }
    t.tooltip = applicationTitle() + QStringLiteral("\r\n") + cityName + QStringLiteral(", ") + t.readingText;
    return t;
}
