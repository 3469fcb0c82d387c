// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/WeatherQuery.h"

#include "base/Convert.h"
#include "base/ErrorReport.h"
#include "base/Modal.h"
#include "base/Settings.h"
#include "weather/Inet.h"

double readWeather(Inet& inet, const WeatherInputs& inputs, bool quiet, QString& cityName)
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("getWeather"));
    QString answer;
    double kelvin = 0;
    bool haveKelvin = false;
    double converted = 0;
    double result = NoReadingTemp;
    bool askedToWait = false;

    p.run(100, [&] { cityName = inputs.location; });
    // A request already in flight is not doubled: this call then reads nothing.
    if (p.test(102, [&] { return !inet.StillExecuting(); })) {
        p.run(104, [&] {
            const QString url = weatherUrl(serviceBaseUrl(), inputs.location, GetSetting(Setting::APIKey));
            answer = inet.OpenURL(url);
            askedToWait = inet.askedToWait();
        });
    }
    p.run(106, [&] { inet.waitUntilIdle(); });
    if (askedToWait) {
        return AskedToWaitTemp;
    }

    if (p.test(108, [&] { return hasInvalidKeyMarker(answer); })) {
        if (!quiet) {
            p.run(110, [&] { showMessage(invalidKeyMessage(inputs.apiKeyButtonCaption)); });
        }
        return InvalidKeyTemp;
    }
    if (p.test(112, [&] { return hasUnknownCityMarker(answer); })) {
        if (!quiet) {
            p.run(114, [&] { showMessage(unknownCityMessage()); });
        }
        return UnknownCityTemp;
    }

    p.run(116, [&] {
        if (const auto text = temperatureText(answer)) {
            kelvin = kelvinFromText(*text);
            haveKelvin = true;
        }
    });
    p.run(118, [&] { converted = readingFromKelvin(kelvin, inputs.unit); });
    p.run(120, [&] {
        // Without a temperature in the answer there is no reading; 0 kelvin
        // would show -459 and could even raise the alarm.
        result = haveKelvin ? converted : NoReadingTemp;
    });
    p.run(122, [&] {
        if (const auto name = placeName(answer)) {
            cityName = *name;
        }
    });
    return result;
}
