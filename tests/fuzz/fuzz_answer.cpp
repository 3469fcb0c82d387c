// SPDX-License-Identifier: GPL-3.0-or-later

// libFuzzer target for everything that reads the service's answer (and its
// Retry-After) and builds the request URL, fed with arbitrary text.
//
// The suite runs it for a fixed number of inputs (scripts/sanitize.sh). For a
// longer hunt, from the repository after scripts/sanitize.sh has built it:
//   mkdir -p /tmp/fuzz-new
//   build-san/tests/fuzz/fuzz_answer -max_total_time=1800 -rss_limit_mb=4096 /tmp/fuzz-new tests/fuzz/corpus
//   build-san/tests/fuzz/fuzz_answer -merge=1 tests/fuzz/corpus /tmp/fuzz-new   # keep what adds coverage
// (AddressSanitizer's own bookkeeping grows by some 50 bytes an input, hence
// the higher memory limit for long runs.)
//
// Input: the first byte picks how the rest is read (UTF-8 or UTF-16, which can
// hold lone surrogates) and the locale (point or comma as decimal separator);
// the rest is the answer, and, split at the first NUL, location and API key.

#include "base/Failure.h"
#include "weather/WeatherText.h"

#include <QDateTime>
#include <QLocale>
#include <QUrl>
#include <QUrlQuery>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace
{

void require(bool condition, const char* what, const QString& input)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\ninput: %s\n", what, qPrintable(input));
        std::abort();
    }
}

QString decode(const uint8_t* data, size_t size, bool utf16)
{
    if (utf16) {
        return QString(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    }
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Somewhere the text stands between `"temp"`, blanks, a colon and a comma or brace.
bool followsMarker(const QString& answer, const QString& temp)
{
    for (qsizetype at = answer.indexOf(temp); at >= 0; at = answer.indexOf(temp, at + 1)) {
        const qsizetype end = at + temp.size();
        if (end >= answer.size() || (answer[end] != QLatin1Char(',') && answer[end] != QLatin1Char('}')) ||
            at == 0 || answer[at - 1] != QLatin1Char(':')) {
            continue;
        }
        qsizetype key = at - 2;
        while (key >= 0 && answer[key].isSpace()) {
            --key;
        }
        if (key >= 5 && answer.mid(key - 5, 6).compare(QLatin1String("\"temp\""), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

void checkAnswer(const QString& answer)
{
    (void)hasInvalidKeyMarker(answer);
    (void)hasUnknownCityMarker(answer);

    const std::optional<QString> temp = temperatureText(answer);
    if (temp) {
        require(!temp->contains(QLatin1Char(',')) && !temp->contains(QLatin1Char('}')),
                "temperature text runs past its end", answer);
        require(followsMarker(answer, *temp), "temperature text is not what follows the marker", answer);
        try {
            const double kelvin = kelvinFromText(*temp);
            require(std::isfinite(kelvin), "kelvin not finite", answer);
            for (TempUnit unit : {TempUnit::Fahrenheit, TempUnit::Celsius}) {
                const double reading = readingFromKelvin(kelvin, unit);
                // No reading, or a whole number clear of the sentinels that
                // a double holds exactly (it is shown as an integer).
                require(reading == NoReadingTemp || (reading > InvalidKeyTemp && std::abs(reading) <= 0x1p53),
                        "reading outside the readings' range", answer);
                require(reading == std::nearbyint(reading), "reading is not whole", answer);
                require(reading == NoReadingTemp || (kelvin >= 150 && kelvin <= 400),
                        "a reading from a kelvin value no weather has", answer);
            }
        } catch (const Failure& failure) {
            require(failure.description() == Failure::typeMismatch().description(), "unexpected failure",
                    answer);
        }
    } else {
        const qsizetype marker = answer.indexOf(QLatin1String("\"temp\":"), 0, Qt::CaseInsensitive);
        require(marker < 0 || (answer.indexOf(QLatin1Char(','), marker) < 0 &&
                               answer.indexOf(QLatin1Char('}'), marker) < 0),
                "temperature missed although marker and end are there", answer);
    }

    const std::optional<QString> name = placeName(answer);
    if (name) {
        require(!name->contains(QLatin1Char('"')), "quote left in place name", answer);
        require(!name->contains(QLatin1Char(',')), "place name runs past the comma", answer);
        require(*name == name->trimmed(), "place name not trimmed", answer);
        require(name->size() <= kMaxPlaceNameChars, "place name too long", answer);
        for (const QChar c : *name) {
            require(c.category() != QChar::Other_Control && !(c >= QChar(0x202A) && c <= QChar(0x202E)) &&
                        !(c >= QChar(0x2066) && c <= QChar(0x2069)),
                    "control or direction character in place name", answer);
        }
    }

    const auto wait = retryAfterSeconds(answer.toLatin1(), QDateTime::currentDateTimeUtc());
    require(!wait || (*wait >= 0 && *wait <= 3600), "wait outside 0 s to an hour", answer);
}

void checkUrl(const QString& location, const QString& key)
{
    const QString base = QStringLiteral("http://127.0.0.1:8080");
    const QString url = weatherUrl(base, location, key);
    const QString both = location + QLatin1Char('|') + key;

    const QString encoded = percentEncode(location);
    for (QChar c : encoded) {
        const bool allowed = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                             (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                             (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                             QStringLiteral("-._~,%").contains(c);
        require(allowed, "percentEncode let a character through", both);
    }
    // Text that cannot be written in UTF-8 (lone surrogates) goes as U+FFFD.
    const QString sent = QString::fromUtf8(location.toUtf8());
    require(QString::fromUtf8(QByteArray::fromPercentEncoding(encoded.toLatin1())) == sent,
            "percentEncode does not decode back", both);

    require(url.startsWith(base + QStringLiteral("/data/2.5/weather?q=")),
            "URL does not start as the request", both);
    require(url.count(QLatin1Char('&')) == 1 && url.count(QLatin1Char('=')) == 2 &&
                !url.contains(QLatin1Char('#')) && !url.contains(QLatin1Char(' ')) &&
                !url.contains(QLatin1Char('+')),
            "location or key leaks into the URL's syntax", both);

    // Inet sends what QUrl makes of the text: it must be the text itself.
    const QUrl parsed(url, QUrl::StrictMode);
    require(parsed.isValid(), "URL does not parse", both);
    require(QString::fromLatin1(parsed.toEncoded()) == url, "QUrl changes the URL before sending", both);
    require(parsed.path() == QLatin1String("/data/2.5/weather") &&
                parsed.host() == QLatin1String("127.0.0.1") && parsed.port() == 8080 && !parsed.hasFragment(),
            "URL parses to another place", both);
    // Decoded as the service does, bytes then UTF-8 (QUrl's own decoding
    // turns noncharacters such as U+FFFF into U+FFFD).
    const auto items = QUrlQuery(parsed).queryItems(QUrl::FullyEncoded);
    const auto value = [](const QString& encoded) {
        return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded.toLatin1()));
    };
    require(items.size() == 2 && items[0].first == QLatin1String("q") &&
                items[1].first == QLatin1String("APPID"),
            "query keys are not q and APPID", both);
    require(value(items[0].second) == sent, "q does not carry the location", both);
    require(value(items[1].second) == QString::fromUtf8(key.toUtf8()), "APPID does not carry the key", both);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const uint8_t mode = data[0];
    QLocale::setDefault((mode & 2) ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());
    const QString text = decode(data + 1, size - 1, mode & 1);

    checkAnswer(text);

    const qsizetype split = text.indexOf(QChar(0));
    checkUrl(split < 0 ? text : text.left(split), split < 0 ? QString() : text.mid(split + 1));
    return 0;
}
