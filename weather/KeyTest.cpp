// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/KeyTest.h"

#include "weather/WeatherText.h"

QString signInPage()
{
    return QStringLiteral("https://home.openweathermap.org/users/sign_in/");
}

QString apiKeyArticle()
{
    return QStringLiteral("https://en.wikipedia.org/wiki/Application_programming_interface_key");
}

QString keyTestVerdict(const QString& storedKey, KeyTestRequest request, const QString& answer)
{
    if (storedKey.isEmpty()) {
        return QStringLiteral("Please enter your API key in the box first.");
    }
    switch (request) {
    case KeyTestRequest::Failed:
        return QStringLiteral(
            "Your API Key could not be tested because no answer came from the weather service; "
            "please try again in a minute.");
    case KeyTestRequest::Busy:
        return QStringLiteral(
            "Your API Key could not be tested because Tepora was busy fetching the temperature; "
            "please try again.");
    case KeyTestRequest::Answered:
        break;
    }
    if (hasInvalidKeyMarker(answer)) {
        return QStringLiteral("Your API Key is not correct.");
    }
    if (temperatureText(answer) || hasUnknownCityMarker(answer)) {
        return QStringLiteral("Your API Key is correct and ready to work.");
    }
    return QStringLiteral(
        "Your API Key could not be tested because the weather service sent an answer Tepora "
        "does not understand; please try again later.");
}
