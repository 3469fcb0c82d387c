// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScriptedModal.h"
#include "TestEnv.h"
#include "WeatherSim.h"

#include "base/Failure.h"
#include "base/Settings.h"
#include "base/SettingsText.h"
#include "weather/Inet.h"
#include "weather/WeatherQuery.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

#include <QCoroTask>
#include <QTimer>

using Fault = WeatherSim::Fault;

namespace
{

const QString kCaption = QStringLiteral("Getting Started / Enter Your API Key");
// Easy to find wherever it must not be.
const QString kSecretKey = QStringLiteral("SECRETKEY0xC0FFEE");

// The test service on loopback, the program pointed at it, settings in a
// throw-away folder and every box recorded.
struct Service {
    TestEnv env;
    ScriptedModal modal;
    WeatherSim sim;
    Inet inet;

    explicit Service(const QString& key = QStringLiteral("good"), bool tls = false)
    {
        const QString folder = qEnvironmentVariable("TEPORA_TEST_BINARY_DIR") + QStringLiteral("/tls/");
        if (tls &&
            !sim.useTls(folder + QStringLiteral("server.pem"), folder + QStringLiteral("server.key"))) {
            qFatal("weather sim has no certificate");
        }
        if (!sim.listen()) {
            qFatal("weather sim cannot listen");
        }
        qputenv("TEPORA_SERVICE_URL", sim.baseUrl().toUtf8());
        SaveSetting(QStringLiteral("APIKey"), key);
        sim.setPlace(QStringLiteral("San Diego CA"), QStringLiteral("San Diego"), 290.15);
    }
    ~Service() { qunsetenv("TEPORA_SERVICE_URL"); }

    double read(const QString& location, TempUnit unit, bool quiet, QString& cityName)
    {
        const Reading reading =
            QCoro::waitFor(readWeather(inet, WeatherInputs{location, unit, kCaption}, quiet));
        cityName = reading.cityName;
        return reading.temperature;
    }
};

} // namespace

class TestGetWeather : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void reading_data()
    {
        QTest::addColumn<double>("kelvin");
        QTest::addColumn<TempUnit>("unit");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("expected");
        QTest::newRow("worked example, F") << 290.15 << TempUnit::Fahrenheit << "C" << 63.0;
        QTest::newRow("worked example, C") << 290.15 << TempUnit::Celsius << "C" << 17.0;
        QTest::newRow("comma locale") << 290.15 << TempUnit::Celsius << "de_DE" << 17.0;
        QTest::newRow("C 0.5 to even 0") << 273.5 << TempUnit::Celsius << "C" << 0.0;
        QTest::newRow("C 1.5 to even 2") << 274.5 << TempUnit::Celsius << "C" << 2.0;
        QTest::newRow("C -0.5 to even 0") << 272.5 << TempUnit::Celsius << "C" << 0.0;
        QTest::newRow("F 36.5 to even 36") << 275.5 << TempUnit::Fahrenheit << "C" << 36.0;
        QTest::newRow("F 45.5 to even 46") << 280.5 << TempUnit::Fahrenheit << "C" << 46.0;
        QTest::newRow("no unit") << 290.15 << TempUnit::None << "C" << 0.0;
    }
    void reading()
    {
        QFETCH(double, kelvin);
        QFETCH(TempUnit, unit);
        QFETCH(QString, locale);
        QFETCH(double, expected);
        QLocale::setDefault(QLocale(locale));
        Service s;
        s.sim.setPlace(QStringLiteral("San Diego CA"), QStringLiteral("San Diego"), kelvin);
        QString city = QStringLiteral("stale");
        QCOMPARE(s.read(QStringLiteral("San Diego CA"), unit, false, city), expected);
        QCOMPARE(city, QStringLiteral("San Diego"));
        QVERIFY(s.modal.shown.isEmpty());
    }

    void requestSent_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("request");
        QTest::newRow("spaces") << "San Diego CA"
                                << "good"
                                << "/data/2.5/weather?q=San%20Diego%20CA&APPID=good";
        QTest::newRow("comma kept") << "Paris, France"
                                    << "good"
                                    << "/data/2.5/weather?q=Paris,%20France&APPID=good";
        QTest::newRow("empty key") << "San Diego CA"
                                   << ""
                                   << "/data/2.5/weather?q=San%20Diego%20CA&APPID=";
        // A location must not be able to add parameters of its own.
        QTest::newRow("ampersand") << "Paris&units=metric"
                                   << "good"
                                   << "/data/2.5/weather?q=Paris%26units%3Dmetric&APPID=good";
        QTest::newRow("utf-8") << QString::fromUtf8("Zürich") << "k y"
                               << "/data/2.5/weather?q=Z%C3%BCrich&APPID=k%20y";
    }
    void requestSent()
    {
        QFETCH(QString, location);
        QFETCH(QString, key);
        QFETCH(QString, request);
        Service s(key);
        QString city;
        s.read(location, TempUnit::Celsius, true, city);
        QCOMPARE(s.sim.requests(), QStringList{request});
    }

    void serviceErrors_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<double>("expected");
        QTest::addColumn<QString>("message");
        const QString badKey = invalidKeyMessage(kCaption);
        const QString badCity = unknownCityMessage();
        QTest::newRow("401 quiet") << "San Diego CA"
                                   << "bad" << true << InvalidKeyTemp << "";
        QTest::newRow("401 loud") << "San Diego CA"
                                  << "bad" << false << InvalidKeyTemp << badKey;
        QTest::newRow("401 before 404") << "Sna Diego"
                                        << "bad" << false << InvalidKeyTemp << badKey;
        QTest::newRow("404 quiet") << "Sna Diego"
                                   << "good" << true << UnknownCityTemp << "";
        QTest::newRow("404 loud") << "Sna Diego"
                                  << "good" << false << UnknownCityTemp << badCity;
    }
    void serviceErrors()
    {
        QFETCH(QString, location);
        QFETCH(QString, key);
        QFETCH(bool, quiet);
        QFETCH(double, expected);
        QFETCH(QString, message);
        Service s(key);
        s.sim.setAcceptedKeys({QStringLiteral("good")});
        QString city;
        QCOMPARE(s.read(location, TempUnit::Fahrenheit, quiet, city), expected);
        QCOMPARE(city, location);
        QVERIFY(s.modal.errorReports().isEmpty());
        const auto boxes = s.modal.messages();
        if (message.isEmpty()) {
            QVERIFY(boxes.isEmpty());
        } else {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].title, QStringLiteral("Tepora"));
            QCOMPARE(boxes[0].text, message);
            QCOMPARE(boxes[0].icon, Modal::Icon::NoIcon);
        }
    }

    // A transfer that fails is reported even in quiet mode; an answer that is
    // no weather is no failure of the transfer. Neither is a reading. Every
    // transfer ends within its time, few requests, its connection closed, and
    // nothing shown says the key.
    void faults_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("reported"); // the report's first line (%1: the service); empty: none
        const QString late = QStringLiteral("The weather service did not answer within 1 seconds");
        QTest::newRow("no answer") << Fault::NoAnswer << late;
        QTest::newRow("slow") << Fault::Slow << late;
        QTest::newRow("dropped") << Fault::Drop << "Connection closed";
        QTest::newRow("html") << Fault::Html << "";
        QTest::newRow("garbage") << Fault::Garbage << "";
        QTest::newRow("huge") << Fault::Huge << "";
        QTest::newRow("trickle") << Fault::Trickle << late;
        QTest::newRow("endless") << Fault::Endless << "";
        const QString headless = QStringLiteral("The weather service sent a header over 64 KiB");
        QTest::newRow("endless status line") << Fault::EndlessStatus << headless;
        QTest::newRow("endless header line") << Fault::EndlessHeaderLine << headless;
        QTest::newRow("endless header lines") << Fault::EndlessHeaders << headless;
        QTest::newRow("redirect loop") << Fault::RedirectLoop << "Too many redirects";
        QTest::newRow("redirect to another host") << Fault::RedirectAway << "Insecure redirect";
        QTest::newRow("400 says the address")
            << Fault::BadRequest
            << "Error transferring %1/data/2.5/weather - server replied: Bad <b>Request</b> <font color=red "
               "size=6>CALL +1-555-0100 NOW</font> for key …";
    }
    void faults()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, reported);
        QTest::failOnWarning(QRegularExpression(kSecretKey));
        Service s(kSecretKey);
        s.inet.setTimeoutMs(1000);
        s.sim.setSlowDelay(5000);
        s.sim.setTrickleInterval(100);
        s.sim.setFault(fault);
        QString city;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, true, city), NoReadingTemp);
        QVERIFY2(clock.elapsed() < 4000, "the transfer time-out was not kept");
        // At most 5 redirects, not Qt's default 50. The sim closes every
        // connection, and Qt sends a request again when that close races it,
        // so allow each one a second try.
        QVERIFY2(s.sim.requestCount() <= 2 * (1 + 5), qPrintable(QString::number(s.sim.requestCount())));
        // The connection goes with the transfer, whatever phase it was in.
        QTRY_COMPARE(s.sim.openConnections(), 0);
        QCOMPARE(city, QStringLiteral("San Diego CA"));
        QVERIFY(s.modal.messages().isEmpty());
        QVERIFY(!s.inet.StillExecuting());
        const auto reports = s.modal.errorReports();
        if (reported.isEmpty()) {
            QVERIFY(reports.isEmpty());
        } else {
            QCOMPARE(reports.size(), 1);
            QVERIFY2(!reports[0].text.contains(kSecretKey), qPrintable(reports[0].text));
            QCOMPARE(reports[0].text.section(QStringLiteral("\r\n"), 0, 0),
                     QString(reported).replace("%1", s.sim.baseUrl()));
            QVERIFY2(
                reports[0].text.contains(QStringLiteral("in Tepora2021/08/31.Form1.getWeather at line 104")),
                qPrintable(reports[0].text));
        }
        // The next poll works again.
        s.sim.setFault(Fault::None);
        s.modal.clear();
        QCOMPARE(s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, true, city), 63.0);
        QVERIFY(s.modal.shown.isEmpty());
    }

    // Over https the service is trusted the ordinary way: SSL_CERT_FILE names
    // the authority, as for any program on OpenSSL. An authority nobody
    // named, or a named one that did not sign the chain (then the system's
    // are asked too), is refused, the key never sent.
    void overHttps()
    {
        Service s(kSecretKey, true);
        QVERIFY(s.sim.baseUrl().startsWith(QStringLiteral("https://")));
        const QByteArray folder = qEnvironmentVariable("TEPORA_TEST_BINARY_DIR").toUtf8() + "/tls/";
        QString city;
        int reports = 0;
        int requests = 0;
        for (const QByteArray& named : {QByteArray("server.pem"), QByteArray("ca.pem"), QByteArray()}) {
            named.isEmpty() ? qunsetenv("SSL_CERT_FILE") : qputenv("SSL_CERT_FILE", folder + named);
            const bool trusted = named == "ca.pem";
            reports += trusted ? 0 : 1;
            requests += trusted ? 1 : 0;
            QCOMPARE(s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, true, city),
                     trusted ? 63.0 : NoReadingTemp);
            QCOMPARE(s.sim.requestCount(), requests);
            QCOMPARE(s.modal.errorReports().size(), reports);
        }
    }

    // Going to sleep gives up the transfer under way: it ends at once with
    // its connection and is reported nowhere; the next request goes out.
    void abandonedTransfer()
    {
        Service s;
        s.sim.setFault(Fault::NoAnswer);
        const auto abandon = connect(
            &s.sim, &WeatherSim::requestReceived, &s.inet, [&] { s.inet.abandon(); }, Qt::QueuedConnection);
        // waitFor never returns from a task that throws: the throw is caught inside.
        bool cancelled = false;
        QCoro::waitFor([&]() -> QCoro::Task<> {
            try {
                co_await readWeather(
                    s.inet, WeatherInputs{QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, kCaption},
                    false);
            } catch (const Cancelled&) {
                cancelled = true;
            }
        }());
        QVERIFY(cancelled);
        QVERIFY(!s.inet.StillExecuting());
        QTRY_COMPARE(s.sim.openConnections(), 0);
        QVERIFY(s.modal.shown.isEmpty());
        disconnect(abandon);
        s.sim.setFault(Fault::None);
        s.inet.abandon(); // nothing in flight: no effect on the next
        QString city;
        QCOMPARE(s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, false, city), 63.0);
        QVERIFY(s.modal.shown.isEmpty());
    }

    // The key goes out in clear only to this computer.
    void plainHttpOnlyToThisComputer()
    {
        Service s(kSecretKey);
        qputenv("TEPORA_SERVICE_URL", "http://192.0.2.1:9");
        QString city;
        QCOMPARE(s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, true, city), NoReadingTemp);
        const auto reports = s.modal.errorReports();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].text.section(QStringLiteral("\r\n"), 0, 0),
                 QStringLiteral("The weather service at 192.0.2.1 must be reached over https"));
    }

    // 429: until the time the service asked for has passed, polls send
    // nothing and are no reading; nothing is reported.
    void askedToWait_data()
    {
        QTest::addColumn<QByteArray>("retryAfter"); // "date": an HTTP date 4 s ahead, in whole seconds
        QTest::addColumn<int>("minMs");
        QTest::newRow("seconds") << QByteArray("1") << 900;
        QTest::newRow("http date") << QByteArray("date") << 1000;
        QTest::newRow("none") << QByteArray() << 0;
    }
    void askedToWait()
    {
        QFETCH(QByteArray, retryAfter);
        QFETCH(int, minMs);
        if (retryAfter == "date") {
            const QDateTime soon = QDateTime::currentDateTimeUtc().addSecs(4);
            retryAfter = QLocale::c().toString(soon, "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1();
        }
        Service s;
        s.sim.setFault(Fault::TooManyRequests);
        s.sim.setRetryAfter(retryAfter);
        QString city;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, false, city), AskedToWaitTemp);
        s.sim.setFault(Fault::None);
        if (minMs > 0) {
            QCOMPARE(s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, false, city),
                     AskedToWaitTemp);
            QCOMPARE(s.sim.requestCount(), 1);
        }
        double reading = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                reading = s.read(QStringLiteral("San Diego CA"), TempUnit::Fahrenheit, false, city);
                return reading != AskedToWaitTemp;
            },
            8000));
        QCOMPARE(reading, 63.0);
        QVERIFY(clock.elapsed() >= minMs);
        QCOMPARE(s.sim.requestCount(), 2);
        QVERIFY(s.modal.shown.isEmpty());
    }

    // A reading asked for while another one waits for its answer sends
    // nothing, waits for the first to end and reads nothing itself.
    void nestedCallWhileBusy()
    {
        Service s;
        s.sim.setFault(Fault::Slow);
        s.sim.setSlowDelay(300);
        bool nestedDone = false;
        bool outerDoneFirst = false;
        double nested = 0;
        double outer = 0;
        QString nestedCity;
        connect(&s.sim, &WeatherSim::requestReceived, this, [&] {
            QTimer::singleShot(0, this, [&] {
                QVERIFY(s.inet.StillExecuting());
                nested = s.read(QStringLiteral("San Diego CA"), TempUnit::Celsius, false, nestedCity);
                outerDoneFirst = outer != 0;
                nestedDone = true;
            });
        });
        // A hang here is what the watchdog turns into a failure.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [] { qFatal("nested reading never returned"); });
        watchdog.start(20000);
        QString city;
        outer = s.read(QStringLiteral("San Diego CA"), TempUnit::Celsius, false, city);
        watchdog.stop();
        QCOMPARE(outer, 17.0);
        QCOMPARE(city, QStringLiteral("San Diego"));
        QVERIFY(nestedDone);
        QVERIFY(!outerDoneFirst);
        QCOMPARE(nested, NoReadingTemp);
        QCOMPARE(nestedCity, QStringLiteral("San Diego CA"));
        QCOMPARE(s.sim.requestCount(), 1);
        QVERIFY(s.modal.shown.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestGetWeather)
#include "test_getweather.moc"
