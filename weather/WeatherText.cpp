#include "weather/WeatherText.h"

#include "base/Convert.h"

#include <QLocale>
#include <QtGlobal>

#include <cmath>

QString serviceBaseUrl()
{
    QString base = qEnvironmentVariable("TEPORA_SERVICE_URL").trimmed();
    if (base.isEmpty()) {
        return QStringLiteral("https://api.openweathermap.org");
    }
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return base;
}

QString percentEncode(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding(QByteArrayLiteral(",")));
}

QString weatherUrl(const QString& baseUrl, const QString& location, const QString& apiKey)
{
    return baseUrl + QStringLiteral("/data/2.5/weather?q=") + percentEncode(location) + QStringLiteral("&APPID=") +
           percentEncode(apiKey);
}

bool hasInvalidKeyMarker(const QString& answer)
{
    return answer.contains(QLatin1String("Invalid API key"), Qt::CaseInsensitive);
}

bool hasUnknownCityMarker(const QString& answer)
{
    return answer.contains(QLatin1String("city not found"), Qt::CaseInsensitive);
}

namespace {

// The text after `marker` up to (not including) the next comma.
std::optional<QString> textAfter(const QString& answer, QLatin1String marker)
{
    const qsizetype at = answer.indexOf(marker, 0, Qt::CaseInsensitive);
    if (at < 0) {
        return std::nullopt;
    }
    const qsizetype start = at + marker.size();
    const qsizetype comma = answer.indexOf(QLatin1Char(','), start);
    if (comma < 0) {
        return std::nullopt;
    }
    return answer.mid(start, comma - start);
}

} // namespace

std::optional<QString> temperatureText(const QString& answer)
{
    return textAfter(answer, QLatin1String("\"temp\":"));
}

double kelvinFromText(const QString& numberText)
{
    QString text = numberText;
    const QString separator = DecimalSeparator();
    text.replace(QLatin1Char('.'), separator);
    text.replace(QLatin1Char(','), separator);
    return toDouble(text);
}

std::optional<QString> placeName(const QString& answer)
{
    std::optional<QString> name = textAfter(answer, QLatin1String("\"name\":"));
    if (name) {
        name->remove(QLatin1Char('"'));
        *name = name->trimmed();
    }
    return name;
}

double convertKelvin(double kelvin, TempUnit unit)
{
    switch (unit) {
    case TempUnit::Fahrenheit:
        return (kelvin - 273) * 1.8 + 32;
    case TempUnit::Celsius:
        return kelvin - 273;
    case TempUnit::None:
        break;
    }
    return 0;
}

double readingFromKelvin(double kelvin, TempUnit unit)
{
    const double reading = roundHalfEven(convertKelvin(kelvin, unit));
    // Beyond 2^53 a double no longer holds every whole number.
    if (!(reading > InvalidKeyTemp) || std::abs(reading) > 0x1p53) {
        return NoReadingTemp;
    }
    return reading;
}

QString DecimalSeparator()
{
    // Written as the user writes 0.5, the second character is the separator.
    const QString half = QLocale().toString(0.5).trimmed();
    return half.size() >= 2 ? half.mid(1, 1) : QStringLiteral(".");
}

QString unitSuffix(TempUnit unit)
{
    switch (unit) {
    case TempUnit::Fahrenheit:
        return QStringLiteral(" \u00B0F");
    case TempUnit::Celsius:
        return QStringLiteral(" \u00B0C");
    case TempUnit::None:
        break;
    }
    return QString();
}

QString citySearchPage()
{
    return QStringLiteral("https://openweathermap.org/find");
}

QString invalidKeyMessage(const QString& apiKeyButtonCaption)
{
    return QStringLiteral("Your API Key is not correct. Please click on the ") + apiKeyButtonCaption +
           QStringLiteral(" button to learn more.");
}

QString unknownCityMessage()
{
    return QStringLiteral("Your location is not correct. Please go to the ") + citySearchPage() +
           QStringLiteral(" to learn how city should be written.");
}
