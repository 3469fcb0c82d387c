// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/WeatherText.h"

#include "base/Convert.h"
#include "base/Secrets.h"

#include <QLocale>
#include <QtGlobal>

#include <algorithm>
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
    keepSecret(apiKey);
    return baseUrl + QStringLiteral("/data/2.5/weather?q=") + percentEncode(location) +
           QStringLiteral("&APPID=") + percentEncode(apiKey);
}

bool hasInvalidKeyMarker(const QString& answer)
{
    return answer.contains(QLatin1String("Invalid API key"), Qt::CaseInsensitive);
}

bool hasUnknownCityMarker(const QString& answer)
{
    return answer.contains(QLatin1String("city not found"), Qt::CaseInsensitive);
}

namespace
{

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

// Where the value after `"temp"`, blanks and a colon starts; -1 when there is none.
qsizetype temperatureStart(const QString& answer)
{
    // The service writes `"temp":`; look for blanks around the colon only without it.
    const QLatin1String common("\"temp\":");
    const qsizetype at = answer.indexOf(common, 0, Qt::CaseInsensitive);
    if (at >= 0) {
        return at + common.size();
    }
    const QLatin1String key("\"temp\"");
    for (qsizetype from = 0;;) {
        const qsizetype found = answer.indexOf(key, from, Qt::CaseInsensitive);
        if (found < 0) {
            return -1;
        }
        qsizetype i = found + key.size();
        while (i < answer.size() && answer.at(i).isSpace()) {
            ++i;
        }
        if (i < answer.size() && answer.at(i) == QLatin1Char(':')) {
            return i + 1;
        }
        from = found + 1;
    }
}

bool isBidiOverride(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::optional<QString> temperatureText(const QString& answer)
{
    const qsizetype start = temperatureStart(answer);
    if (start < 0) {
        return std::nullopt;
    }
    // A value ends where the next key starts or its object closes.
    qsizetype end = start;
    while (end < answer.size() && answer.at(end) != QLatin1Char(',') && answer.at(end) != QLatin1Char('}')) {
        ++end;
    }
    if (end == answer.size()) {
        return std::nullopt;
    }
    return answer.mid(start, end - start);
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
        *name = oneLine(*name, kMaxPlaceNameChars);
    }
    return name;
}

QString oneLine(const QString& text, qsizetype maxChars)
{
    QString line = withoutSecrets(text);
    line.removeIf([](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line ||
               category == QChar::Separator_Paragraph || isBidiOverride(c.unicode());
    });
    line = line.trimmed();
    if (line.size() <= maxChars) {
        return line;
    }
    qsizetype keep = maxChars - 1;
    if (keep > 0 && line.at(keep - 1).isHighSurrogate()) {
        --keep; // never half a character
    }
    return line.left(keep).trimmed() + QStringLiteral("…");
}

std::optional<qint64> retryAfterSeconds(const QByteArray& value, const QDateTime& now)
{
    constexpr qint64 kMaxWait = 3600;
    const QByteArray text = value.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Too many digits for a number are more than an hour all the same.
        bool ok = false;
        const qint64 seconds = text.toLongLong(&ok);
        return ok ? qMin(seconds, kMaxWait) : kMaxWait;
    }
    // The HTTP date, or the older asctime() form.
    const QString date = QString::fromLatin1(text).simplified();
    for (const char* format : {"ddd, dd MMM yyyy hh:mm:ss 'GMT'", "ddd MMM d hh:mm:ss yyyy"}) {
        QDateTime until = QLocale::c().toDateTime(date, QLatin1String(format));
        if (until.isValid()) {
            until.setTimeSpec(Qt::UTC);
            return qBound(qint64(0), now.secsTo(until), kMaxWait);
        }
    }
    return std::nullopt;
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

// Far outside anything measured outdoors (about 184 K to 330 K).
constexpr double kLowestKelvin = 150;
constexpr double kHighestKelvin = 400;

double readingFromKelvin(double kelvin, TempUnit unit)
{
    if (!(kelvin >= kLowestKelvin && kelvin <= kHighestKelvin)) {
        return NoReadingTemp;
    }
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
