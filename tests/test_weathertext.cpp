// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScriptedModal.h"

#include "base/Convert.h"
#include "base/Failure.h"
#include "weather/WeatherText.h"

#include <QDateTime>
#include <QLocale>
#include <QTest>

// A realistic answer of the service, with the temperature written as given.
static QString answerWith(const QString& temp, const QString& name = QStringLiteral("San Diego"))
{
    return QStringLiteral(
               "{\"coord\":{\"lon\":-117.16,\"lat\":32.72},\"weather\":[{\"id\":800,\"main\":\"Clear\","
               "\"description\":\"clear sky\",\"icon\":\"01d\"}],\"base\":\"stations\",\"main\":{\"temp\":") +
           temp +
           QStringLiteral(",\"feels_like\":289.5,\"temp_min\":288.7,\"temp_max\":291.9,\"pressure\":1015,"
                          "\"humidity\":60},\"visibility\":10000,\"id\":5391811,\"name\":\"") +
           name + QStringLiteral("\",\"cod\":200}");
}

class TestWeatherText : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        qunsetenv("TEPORA_SERVICE_URL");
    }

    void url_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("query");
        QTest::newRow("default location") << "San Diego CA"
                                          << "abc123"
                                          << "q=San%20Diego%20CA&APPID=abc123";
        QTest::newRow("comma kept") << "Paris, France"
                                    << "k"
                                    << "q=Paris,%20France&APPID=k";
        QTest::newRow("empty key") << "London"
                                   << ""
                                   << "q=London&APPID=";
        QTest::newRow("spaces only") << "   "
                                     << "k"
                                     << "q=%20%20%20&APPID=k";
        // Characters that would change the request are escaped, not sent raw.
        QTest::newRow("ampersand") << "Paris&units=metric"
                                   << "k"
                                   << "q=Paris%26units%3Dmetric&APPID=k";
        QTest::newRow("hash and plus") << "A#b+c"
                                       << "k#1"
                                       << "q=A%23b%2Bc&APPID=k%231";
        QTest::newRow("utf-8") << QString::fromUtf8("Zürich") << "k"
                               << "q=Z%C3%BCrich&APPID=k";
        QTest::newRow("unreserved") << "a-b.c_d~e"
                                    << "K-9"
                                    << "q=a-b.c_d~e&APPID=K-9";
    }
    void url()
    {
        QFETCH(QString, location);
        QFETCH(QString, key);
        QFETCH(QString, query);
        QCOMPARE(weatherUrl("https://api.openweathermap.org", location, key),
                 "https://api.openweathermap.org/data/2.5/weather?" + query);
    }

    void serviceIsHttpsUnlessOverridden()
    {
        QCOMPARE(serviceBaseUrl(), QStringLiteral("https://api.openweathermap.org"));
        qputenv("TEPORA_SERVICE_URL", "http://127.0.0.1:8080/");
        QCOMPARE(serviceBaseUrl(), QStringLiteral("http://127.0.0.1:8080"));
    }

    void markers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("invalidKey");
        QTest::addColumn<bool>("unknownCity");
        QTest::newRow("401") << "{\"cod\":401, \"message\": \"Invalid API key. Please see "
                                "https://openweathermap.org/faq#error401 for more info.\"}"
                             << true << false;
        QTest::newRow("401 lower case") << "invalid api key" << true << false;
        QTest::newRow("404") << "{\"cod\":\"404\",\"message\":\"city not found\"}" << false << true;
        QTest::newRow("404 upper case") << "CITY NOT FOUND" << false << true;
        QTest::newRow("both") << "Invalid API key; city not found" << true << true;
        QTest::newRow("good answer") << answerWith("290.15") << false << false;
        QTest::newRow("empty") << "" << false << false;
    }
    void markers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, invalidKey);
        QFETCH(bool, unknownCity);
        QCOMPARE(hasInvalidKeyMarker(answer), invalidKey);
        QCOMPARE(hasUnknownCityMarker(answer), unknownCity);
    }

    void readsTemperatureAndName_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<double>("kelvin");
        QTest::addColumn<QString>("name");
        QTest::newRow("point, C locale") << "C" << answerWith("290.15") << 290.15 << "San Diego";
        QTest::newRow("point, comma locale") << "de_DE" << answerWith("290.15") << 290.15 << "San Diego";
        QTest::newRow("whole number") << "C" << answerWith("273") << 273.0 << "San Diego";
        QTest::newRow("space before number") << "C"
                                             << "\"temp\": 281.4, \"name\": \"Paris\" ," << 281.4 << "Paris";
        QTest::newRow("marker in capitals")
            << "C"
            << "\"TEMP\":250.5,\"NAME\":\"Oslo\",\"cod\":200" << 250.5 << "Oslo";
        QTest::newRow("temp_min first is not temp")
            << "C"
            << "{\"temp_min\":1,\"temp\":300,\"name\":\"X\",}" << 300.0 << "X";
        QTest::newRow("temp last in its object")
            << "C"
            << "{\"main\":{\"pressure\":1015,\"temp\":290.15},\"name\":\"Oslo\",\"cod\":200}" << 290.15
            << "Oslo";
        QTest::newRow("blanks around the colon")
            << "C"
            << "{\"main\":{\"temp\" : 281.4 ,\"humidity\":60},\"name\":\"Paris\",}" << 281.4 << "Paris";
        QTest::newRow("tab and newline before the colon")
            << "C"
            << "{\"temp\"\t\n:290}, \"name\":\"X\",}" << 290.0 << "X";
        QTest::newRow("temp as a value first")
            << "C"
            << "{\"x\":\"temp\", \"temp\" :270,\"name\":\"X\",}" << 270.0 << "X";
    }
    void readsTemperatureAndName()
    {
        QFETCH(QString, locale);
        QFETCH(QString, answer);
        QFETCH(double, kelvin);
        QFETCH(QString, name);
        QLocale::setDefault(QLocale(locale));
        const auto text = temperatureText(answer);
        QVERIFY(text);
        QCOMPARE(kelvinFromText(*text), kelvin);
        QCOMPARE(placeName(answer), std::optional<QString>(name));
    }

    void commaWrittenNumberReadsInBothLocales()
    {
        QLocale::setDefault(QLocale::c());
        QCOMPARE(kelvinFromText("290,15"), 290.15);
        QLocale::setDefault(QLocale("de_DE"));
        QCOMPARE(kelvinFromText("290,15"), 290.15);
        QCOMPARE(DecimalSeparator(), QStringLiteral(","));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(DecimalSeparator(), QStringLiteral("."));
    }

    void missingPiecesGiveNothing_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("empty") << "";
        QTest::newRow("html") << "<html><body>Please log in</body></html>";
        QTest::newRow("value without an end") << "{\"temp\":290.15";
        QTest::newRow("key without a colon") << "{\"temp\" 290.15, \"x\":1}";
    }
    void missingPiecesGiveNothing()
    {
        QFETCH(QString, answer);
        QVERIFY(!temperatureText(answer));
        QVERIFY(!placeName(answer));
    }

    void numberThatIsNoNumberIsATypeMismatch()
    {
        const auto text = temperatureText("{\"temp\":\"warm\",\"name\":\"X\",");
        QVERIFY(text);
        QVERIFY_THROWS_EXCEPTION(Failure, kelvinFromText(*text));
    }

    void conversion_data()
    {
        QTest::addColumn<double>("kelvin");
        QTest::addColumn<int>("unit");
        QTest::addColumn<double>("reading");
        QTest::newRow("worked example F") << 290.15 << int(TempUnit::Fahrenheit) << 63.0;
        QTest::newRow("worked example C") << 290.15 << int(TempUnit::Celsius) << 17.0;
        QTest::newRow("273.5 C is 0.5 -> 0") << 273.5 << int(TempUnit::Celsius) << 0.0;
        QTest::newRow("274.5 C is 1.5 -> 2") << 274.5 << int(TempUnit::Celsius) << 2.0;
        QTest::newRow("offset is 273 not 273.15") << 273.0 << int(TempUnit::Fahrenheit) << 32.0;
        QTest::newRow("no unit") << 290.15 << int(TempUnit::None) << 0.0;
        QTest::newRow("cold F") << 250.0 << int(TempUnit::Fahrenheit) << -9.0;
        // Numbers no temperature has: never taken for a rejected key, never
        // shown as garbage digits, never a reading that rings the alarm.
        QTest::newRow("lands on the key sentinel") << -4727.0 << int(TempUnit::Celsius) << NoReadingTemp;
        QTest::newRow("below the sentinels") << -9000.0 << int(TempUnit::Fahrenheit) << NoReadingTemp;
        QTest::newRow("just above the sentinels") << -4726.0 << int(TempUnit::Celsius) << NoReadingTemp;
        QTest::newRow("negative kelvin") << -5.0 << int(TempUnit::Fahrenheit) << NoReadingTemp;
        QTest::newRow("0 K") << 0.0 << int(TempUnit::Fahrenheit) << NoReadingTemp;
        QTest::newRow("1 K, as from \"1,290.15\"") << 1.0 << int(TempUnit::Fahrenheit) << NoReadingTemp;
        QTest::newRow("just below 150 K") << 149.99 << int(TempUnit::Celsius) << NoReadingTemp;
        QTest::newRow("150 K") << 150.0 << int(TempUnit::Celsius) << -123.0;
        QTest::newRow("400 K") << 400.0 << int(TempUnit::Celsius) << 127.0;
        QTest::newRow("above 400 K") << 400.01 << int(TempUnit::Celsius) << NoReadingTemp;
        QTest::newRow("3000 K") << 3000.0 << int(TempUnit::Fahrenheit) << NoReadingTemp;
        QTest::newRow("too large to show") << 1e19 << int(TempUnit::Fahrenheit) << NoReadingTemp;
        QTest::newRow("overflows to infinity") << 1e308 << int(TempUnit::Fahrenheit) << NoReadingTemp;
    }
    void conversion()
    {
        QFETCH(double, kelvin);
        QFETCH(int, unit);
        QFETCH(double, reading);
        QCOMPARE(readingFromKelvin(kelvin, TempUnit(unit)), reading);
    }

    // Names come from the service and are shown as they come: no control or
    // direction-changing characters, short enough to leave the reading in view.
    void placeNameIsOneShortLine_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("shown");
        const QString a62(62, QLatin1Char('a'));
        const QString a63 = a62 + 'a';
        QTest::newRow("plain") << "Zürich"
                               << "Zürich";
        QTest::newRow("controls") << "San\tDiego\r\n\u0007X\u0085"
                                  << "SanDiegoX";
        QTest::newRow("line separators") << "A\u2028B\u2029C"
                                         << "ABC";
        QTest::newRow("bidi overrides") << "\u202Egnp.exe\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069x"
                                        << "gnp.exex";
        QTest::newRow("arabic kept") << "القاهرة"
                                     << "القاهرة";
        QTest::newRow("64 fit") << a63 + "b" << a63 + "b";
        QTest::newRow("65 are cut") << a63 + "bc" << a63 + "…";
        QTest::newRow("no half surrogate pair") << a62 + "😀😀" << a62 + "…";
        QTest::newRow("blank before the cut") << a62 + "  bbbbb" << a62 + "…";
        QTest::newRow("removed ones do not count") << QString(64, QChar(0x202E)) + "Oslo"
                                                   << "Oslo";
    }
    void placeNameIsOneShortLine()
    {
        QFETCH(QString, written);
        QFETCH(QString, shown);
        QCOMPARE(placeName("{\"name\":\"" + written + "\",\"cod\":200}"), std::optional<QString>(shown));
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("seconds"); // -1: nothing
        QTest::newRow("seconds") << QByteArray("120") << qint64(120);
        QTest::newRow("blanks") << QByteArray(" 7 ") << qint64(7);
        QTest::newRow("capped at an hour") << QByteArray("86400") << qint64(3600);
        QTest::newRow("too many digits") << QByteArray("99999999999999999999999") << qint64(3600);
        QTest::newRow("http date") << QByteArray("Wed, 21 Oct 2015 07:30:00 GMT") << qint64(120);
        QTest::newRow("date far ahead") << QByteArray("Thu, 22 Oct 2015 07:28:00 GMT") << qint64(3600);
        QTest::newRow("date passed") << QByteArray("Wed, 21 Oct 2015 07:00:00 GMT") << qint64(0);
        QTest::newRow("asctime date") << QByteArray("Wed Oct 21 07:28:30 2015") << qint64(30);
        QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
        QTest::newRow("fraction") << QByteArray("1.5") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
        QTest::newRow("words") << QByteArray("later") << qint64(-1);
    }
    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, seconds);
        const QDateTime now(QDate(2015, 10, 21), QTime(7, 28), Qt::UTC);
        QCOMPARE(retryAfterSeconds(value, now).value_or(-1), seconds);
    }

    void messagesAndSuffixes()
    {
        QCOMPARE(invalidKeyMessage("Getting Started / Enter Your API Key"),
                 QStringLiteral(
                     "Your API Key is not correct. Please click on the Getting Started / Enter Your API "
                     "Key button to learn more."));
        QCOMPARE(
            unknownCityMessage(),
            QStringLiteral("Your location is not correct. Please go to the https://openweathermap.org/find "
                           "to learn how city should be written."));
        QCOMPARE(unitSuffix(TempUnit::Fahrenheit), QString::fromUtf8(" °F"));
        QCOMPARE(unitSuffix(TempUnit::Celsius), QString::fromUtf8(" °C"));
        QCOMPARE(unitSuffix(TempUnit::None), QString());
    }
};

QTEST_GUILESS_MAIN(TestWeatherText)
#include "test_weathertext.moc"
