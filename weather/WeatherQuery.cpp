// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/WeatherQuery.h"

#include "base/Convert.h"
#include "base/ErrorReport.h"
#include "base/Modal.h"
#include "base/Settings.h"
#include "weather/Inet.h"

QCoro::Task<Reading> readWeather(Inet& inet, WeatherInputs inputs, bool quiet)
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("getWeather"));
    Reading reading;
    QString answer;
    double kelvin = 0;
    bool haveKelvin = false;
    double converted = 0;
    bool askedToWait = false;

    p.run(100, [&] { reading.cityName = inputs.location; });
    // A request already in flight is not doubled: this call then reads nothing.
    if (p.test(102, [&] { return !inet.StillExecuting(); })) {
        co_await p.step(104, [&]() -> QCoro::Task<> {
            const QString url =
                weatherUrl(serviceBaseUrl(), inputs.location, Settings::instance().get(Setting::APIKey));
            answer = co_await inet.OpenURL(url);
            askedToWait = inet.askedToWait();
        });
    }
    co_await p.step(106, [&] { return inet.waitUntilIdle(); });
    if (askedToWait) {
        reading.temperature = AskedToWaitTemp;
        co_return reading;
    }

    if (p.test(108, [&] { return hasInvalidKeyMarker(answer); })) {
        if (!quiet) {
            co_await p.step(110, [&] { return showMessage(invalidKeyMessage(inputs.apiKeyButtonCaption)); });
        }
        reading.temperature = InvalidKeyTemp;
        co_return reading;
    }
    if (p.test(112, [&] { return hasUnknownCityMarker(answer); })) {
        if (!quiet) {
            co_await p.step(114, [&] { return showMessage(unknownCityMessage()); });
        }
        reading.temperature = UnknownCityTemp;
        co_return reading;
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
        reading.temperature = haveKelvin ? converted : NoReadingTemp;
    });
    p.run(122, [&] {
        if (const auto name = placeName(answer)) {
            reading.cityName = *name;
        }
    });
    co_return reading;
}
