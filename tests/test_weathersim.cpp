// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestEnv.h"
#include "WeatherSim.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

using Fault = WeatherSim::Fault;

namespace
{

const QByteArray kBadKeyBody =
    R"({"cod":401, "message": "Invalid API key. Please see https://openweathermap.org/faq#error401 for more info."})";
const QByteArray kJsonType = "application/json; charset=utf-8";
constexpr qsizetype kMiB = 1024 * 1024;

struct Fetched {
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray type;
    qint64 length = -1;
    QByteArray body;
    qint64 ms = 0;

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    double temp() const
    {
        return json()[QStringLiteral("main")].toObject()[QStringLiteral("temp")].toDouble();
    }
};

QString weatherPath(const QString& query, const QString& key)
{
    return QStringLiteral("/data/2.5/weather?q=") + QString::fromLatin1(QUrl::toPercentEncoding(query)) +
           QStringLiteral("&APPID=") + key;
}

int openSockets(const WeatherSim& sim)
{
    return int(sim.findChildren<QTcpSocket*>().size());
}

bool isJson(const QByteArray& body)
{
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError;
}

} // namespace

class TestWeatherSim : public QObject
{
    Q_OBJECT

    QNetworkAccessManager m_nam;

    Fetched fetch(const QString& url, int transferTimeout = 5000)
    {
        QNetworkRequest request{QUrl(url)};
        request.setTransferTimeout(transferTimeout);
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<QNetworkReply> reply(m_nam.get(request));
        Fetched f;
        // Collected as it arrives, so a cut-off answer still shows what came.
        connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] { f.body += reply->readAll(); });
        QSignalSpy done(reply.get(), &QNetworkReply::finished);
        f.finished = done.wait(transferTimeout + 5000);
        f.ms = clock.elapsed();
        if (reply->isOpen())
            f.body += reply->readAll();
        f.error = reply->error();
        f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        f.type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        f.length = length.isValid() ? length.toLongLong() : -1;
        return f;
    }

    QString kind(const Fetched& f)
    {
        if (f.type.startsWith("text/html"))
            return QStringLiteral("html");
        if (f.body.contains('\0'))
            return QStringLiteral("garbage");
        if (f.status == 200 && f.body.contains("\"temp\":"))
            return QStringLiteral("weather");
        return QStringLiteral("other");
    }

    // Starts the real program and gives back its base URL from the line it prints.
    void startProgram(QProcess& program, const QStringList& args, QString& base)
    {
        program.start(testBinaryDir() + QStringLiteral("/tepora-weather-sim"), args);
        QVERIFY2(program.waitForStarted(5000), qPrintable(program.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 5000);
        const QString line = QString::fromUtf8(program.readLine());
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral(R"(^listening on (http://127\.0\.0\.1:(\d+))\n$)")).match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QVERIFY(match.captured(2).toInt() > 0);
        base = match.captured(1);
    }

    void stopProgram(QProcess& program)
    {
        program.terminate();
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardOutput(), QByteArray()); // one line only
    }

private slots:
    void initTestCase() { m_nam.setProxy(QNetworkProxy::NoProxy); }

    void knownPlaceAnswersWithTemperatureAndName_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("kelvin");
        QTest::addColumn<QByteArray>("tempText");
        QTest::newRow("space") << "San Diego CA"
                               << "San Diego CA"
                               << "San Diego" << 290.15 << QByteArray("\"temp\":290.15,");
        QTest::newRow("comma") << "Paris, France"
                               << "Paris, France"
                               << "Paris" << 282.5 << QByteArray("\"temp\":282.5,");
        QTest::newRow("case and blanks") << "Oslo"
                                         << "  oSLO "
                                         << "Oslo" << 268.0 << QByteArray("\"temp\":268,");
        QTest::newRow("non-ascii, rounded") << "Tromsø"
                                            << "TROMSØ"
                                            << "Tromsø" << 263.456 << QByteArray("\"temp\":263.46,");
    }

    void knownPlaceAnswersWithTemperatureAndName()
    {
        QFETCH(QString, query);
        QFETCH(QString, asked);
        QFETCH(QString, name);
        QFETCH(double, kelvin);
        QFETCH(QByteArray, tempText);
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Elsewhere"), QStringLiteral("Elsewhere"), 250);
        sim.setPlace(query, name, kelvin);

        const Fetched f = fetch(sim.baseUrl() + weatherPath(asked, QStringLiteral("k")));
        QVERIFY(f.finished);
        QCOMPARE(f.error, QNetworkReply::NoError);
        QCOMPARE(f.status, 200);
        QCOMPARE(f.type, kJsonType);
        QCOMPARE(f.length, f.body.size());
        QVERIFY2(f.body.contains(tempText), f.body.constData());
        const QJsonObject json = f.json();
        QCOMPARE(json[QStringLiteral("name")].toString(), name);
        QCOMPARE(json[QStringLiteral("cod")].toInt(), 200);
        QVERIFY(qAbs(f.temp() - kelvin) < 0.006);
        for (const char* key :
             {"coord", "base", "visibility", "wind", "clouds", "dt", "sys", "timezone", "id"})
            QVERIFY2(json.contains(QLatin1String(key)), key);
        QVERIFY(!json[QStringLiteral("weather")].toArray().isEmpty());
        const QJsonObject main = json[QStringLiteral("main")].toObject();
        for (const char* key : {"feels_like", "temp_min", "temp_max", "pressure", "humidity"})
            QVERIFY2(main.contains(QLatin1String(key)), key);
    }

    void requestsAreRecordedExactly()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        QSignalSpy seen(&sim, &WeatherSim::requestReceived);
        const QString first = QStringLiteral("/data/2.5/weather?q=San%20Diego%20CA&APPID=abc");
        const QString second = QStringLiteral("/data/2.5/weather?q=Paris,%20France&APPID=");
        QCOMPARE(fetch(sim.baseUrl() + first).status, 404);
        QCOMPARE(fetch(sim.baseUrl() + second).status, 404);
        QCOMPARE(sim.requests(), (QStringList{first, second}));
        QCOMPARE(sim.requestCount(), 2);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[1][0].toString(), second);
        sim.clearRequests();
        QCOMPARE(sim.requestCount(), 0);
        QVERIFY(sim.requests().isEmpty());
    }

    void plusIsNotASpace()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("a+b"), QStringLiteral("Plus"), 280);
        QCOMPARE(fetch(sim.baseUrl() + "/data/2.5/weather?q=a+b&APPID=k").status, 200);
        QCOMPARE(fetch(sim.baseUrl() + "/data/2.5/weather?q=a%2Bb&APPID=k").json()["name"].toString(),
                 QStringLiteral("Plus"));
        QCOMPARE(fetch(sim.baseUrl() + "/data/2.5/weather?q=a%20b&APPID=k").status, 404);
        sim.removePlace(QStringLiteral(" A+B "));
        QCOMPARE(fetch(sim.baseUrl() + "/data/2.5/weather?q=a+b&APPID=k").status, 404);
    }

    void rejectedKeyGets401BeforeThePlaceIsLookedAt_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("wrong key") << weatherPath(QStringLiteral("London"), QStringLiteral("bad"));
        QTest::newRow("wrong key, unknown place")
            << weatherPath(QStringLiteral("Atlantis"), QStringLiteral("bad"));
        QTest::newRow("key in other case") << weatherPath(QStringLiteral("London"), QStringLiteral("GOOD"));
        QTest::newRow("empty key") << weatherPath(QStringLiteral("London"), QString());
        QTest::newRow("no key") << QStringLiteral("/data/2.5/weather?q=London");
    }

    void rejectedKeyGets401BeforeThePlaceIsLookedAt()
    {
        QFETCH(QString, path);
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("London"), QStringLiteral("London"), 285);
        sim.setAcceptedKeys({QStringLiteral("good"), QStringLiteral("other")});
        const Fetched f = fetch(sim.baseUrl() + path);
        QVERIFY(f.finished);
        QCOMPARE(f.status, 401);
        QCOMPARE(f.type, kJsonType);
        QCOMPARE(f.body, kBadKeyBody);
    }

    void acceptedKeys()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("London"), QStringLiteral("London"), 285);
        QCOMPARE(fetch(sim.baseUrl() + weatherPath(QStringLiteral("London"), QString())).status, 200);
        QCOMPARE(fetch(sim.baseUrl() + "/data/2.5/weather?q=London").status, 200);
        sim.setAcceptedKeys({QStringLiteral("good"), QStringLiteral("other")});
        QCOMPARE(fetch(sim.baseUrl() + weatherPath(QStringLiteral("London"), QStringLiteral("good"))).status,
                 200);
        QCOMPARE(fetch(sim.baseUrl() + weatherPath(QStringLiteral("London"), QStringLiteral("other"))).status,
                 200);
        QCOMPARE(
            fetch(sim.baseUrl() + weatherPath(QStringLiteral("Atlantis"), QStringLiteral("good"))).status,
            404);
        sim.setAcceptedKeys({});
        QCOMPARE(fetch(sim.baseUrl() + weatherPath(QStringLiteral("London"), QStringLiteral("any"))).status,
                 200);
    }

    void unknownPlaceAndUnknownPathGet404()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("London"), QStringLiteral("London"), 285);
        const Fetched place =
            fetch(sim.baseUrl() + weatherPath(QStringLiteral("Londonderry"), QStringLiteral("k")));
        QCOMPARE(place.status, 404);
        QCOMPARE(place.type, kJsonType);
        QCOMPARE(place.body, QByteArray(R"({"cod":"404","message":"city not found"})"));

        const Fetched path = fetch(sim.baseUrl() + "/data/2.5/forecast?q=London&APPID=k");
        QCOMPARE(path.status, 404);
        QVERIFY(isJson(path.body));
        QCOMPARE(path.json()["cod"].toString(), QStringLiteral("404"));
        QVERIFY(!path.body.contains("city not found"));
        QCOMPARE(sim.requestCount(), 2);
    }

    void slowAnswerComesAfterTheDelayWithoutHoldingUpOthers()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268.15);
        sim.setSlowDelay(800);
        sim.setFaultSequence({Fault::Slow, Fault::None});
        const QUrl url(sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k")));
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<QNetworkReply> slow(m_nam.get(QNetworkRequest(url)));
        QTRY_COMPARE(sim.requestCount(), 1);
        std::unique_ptr<QNetworkReply> quick(m_nam.get(QNetworkRequest(url)));
        QTRY_VERIFY(quick->isFinished());
        QVERIFY(!slow->isFinished());
        QCOMPARE(quick->error(), QNetworkReply::NoError);
        QTRY_VERIFY_WITH_TIMEOUT(slow->isFinished(), 5000);
        QVERIFY(clock.elapsed() >= 800);
        QCOMPARE(slow->error(), QNetworkReply::NoError);
        const QByteArray body = slow->readAll();
        QVERIFY2(body.contains("\"temp\":268.15,"), body.constData());
    }

    void noAnswerMakesTheClientTimeOut()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        sim.setFault(Fault::NoAnswer);
        const Fetched f =
            fetch(sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k")), 400);
        QVERIFY(f.finished);
        QCOMPARE(f.error, QNetworkReply::OperationCanceledError);
        QVERIFY2(f.ms >= 360, qPrintable(QString::number(f.ms))); // the client's timer is coarse (5 %)
        QVERIFY(f.body.isEmpty());
        QCOMPARE(sim.requestCount(), 1);
        QTRY_COMPARE(openSockets(sim), 0); // freed once the client gave up
    }

    void noAnswerHoldsTheConnectionUntilTheSimGoes()
    {
        auto sim = std::make_unique<WeatherSim>();
        QVERIFY(sim->listen());
        sim->setFault(Fault::NoAnswer);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, sim->port());
        QVERIFY(client.waitForConnected(3000));
        client.write("GET /data/2.5/weather?q=Oslo&APPID=k HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_COMPARE(sim->requestCount(), 1);
        QSignalSpy readable(&client, &QTcpSocket::readyRead);
        QVERIFY(!readable.wait(300));
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(openSockets(*sim), 1);
        sim.reset();
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(client.readAll().isEmpty());
    }

    void dropCutsTheBodyInHalf()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        sim.setFault(Fault::Drop);
        const Fetched f = fetch(sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k")));
        QVERIFY(f.finished);
        QVERIFY(f.error != QNetworkReply::NoError);
        QCOMPARE(f.status, 200);
        QVERIFY(f.length > 100);
        QCOMPARE(f.body.size(), f.length / 2);
        QVERIFY(f.body.startsWith("{\"coord\":"));
        QVERIFY(!isJson(f.body));
        QTRY_COMPARE(openSockets(sim), 0);
    }

    void htmlIsALoginPage()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        sim.setFault(Fault::Html);
        const Fetched f = fetch(sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k")));
        QCOMPARE(f.error, QNetworkReply::NoError);
        QCOMPARE(f.status, 200);
        QVERIFY(f.type.startsWith("text/html"));
        QVERIFY(f.body.contains("<html>"));
        QVERIFY(!f.body.contains("\"temp\""));
        QVERIFY(!isJson(f.body));
    }

    void garbageIsTheSameRandomBytesEachTime()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        sim.setFault(Fault::Garbage);
        const QString url = sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k"));
        const Fetched first = fetch(url);
        const Fetched second = fetch(url);
        QCOMPARE(first.error, QNetworkReply::NoError);
        QCOMPARE(first.status, 200);
        QVERIFY(first.body.size() >= 200 && first.body.size() <= 1000);
        QCOMPARE(first.length, first.body.size());
        QVERIFY(first.body.contains('\0'));
        QVERIFY(!isJson(first.body));
        QCOMPARE(second.body, first.body);
        QSet<char> distinct(first.body.cbegin(), first.body.cend());
        QVERIFY(distinct.size() > 100);
    }

    void hugeHidesTheTemperatureBeyondTwoMiB()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268.15);
        sim.setFault(Fault::Huge);
        const Fetched f = fetch(sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k")));
        QCOMPARE(f.error, QNetworkReply::NoError);
        QCOMPARE(f.status, 200);
        QCOMPARE(f.body.size(), 3 * kMiB);
        QCOMPARE(f.length, 3 * kMiB);
        QVERIFY(f.body.startsWith("{\""));
        QVERIFY(!f.body.first(kMiB).contains("temp"));
        QVERIFY(f.body.indexOf("\"temp\":") >= 2 * kMiB);
        QCOMPARE(f.temp(), 268.15); // whole, it is still the right answer
    }

    // Answers that try the client: the head says what comes, the body keeps
    // coming for as long as the client reads.
    void hostileAnswers_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<qsizetype>("bodyAtLeast"); // bytes after the head
        QTest::addColumn<int>("msAtLeast");
        QTest::newRow("trickle") << Fault::Trickle << QByteArray("HTTP/1.1 200 OK")
                                 << QByteArray("Content-Length: 100000") << qsizetype(4) << 3 * 50;
        QTest::newRow("endless") << Fault::Endless << QByteArray("HTTP/1.1 200 OK")
                                 << QByteArray("Transfer-Encoding: chunked") << 4 * kMiB << 0;
        QTest::newRow("redirect loop")
            << Fault::RedirectLoop << QByteArray("HTTP/1.1 302 Found")
            << QByteArray("Location: /data/2.5/weather?q=Oslo&APPID=k") << qsizetype(0) << 0;
        QTest::newRow("429") << Fault::TooManyRequests << QByteArray("HTTP/1.1 429 Too Many Requests")
                             << QByteArray("Retry-After: 7") << qsizetype(10) << 0;
        QTest::newRow("markup reason")
            << Fault::BadRequest << QByteArray("HTTP/1.1 400 Bad <b>Request</b> <font color=red size=6>")
            << QByteArray("Content-Length: ") << qsizetype(10) << 0;
    }
    void hostileAnswers()
    {
        QFETCH(Fault, fault);
        QFETCH(QByteArray, statusLine);
        QFETCH(QByteArray, header);
        QFETCH(qsizetype, bodyAtLeast);
        QFETCH(int, msAtLeast);
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        sim.setTrickleInterval(50);
        sim.setRetryAfter("7");
        sim.setFault(fault);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(client.waitForConnected(3000));
        client.write("GET /data/2.5/weather?q=Oslo&APPID=k HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray received;
        qsizetype headEnd = -1;
        QElapsedTimer clock;
        const auto enough = [&] {
            received += client.readAll();
            headEnd = received.indexOf("\r\n\r\n");
            if (headEnd >= 0 && !clock.isValid())
                clock.start();
            return headEnd >= 0 && received.size() - headEnd - 4 >= bodyAtLeast;
        };
        QVERIFY(QTest::qWaitFor(enough, 10000));
        QVERIFY(clock.elapsed() >= msAtLeast);
        const QByteArray head = received.first(headEnd);
        QVERIFY2(head.startsWith(statusLine), head.constData());
        QVERIFY2(head.contains("\r\n" + header), head.constData());
        client.abort();
        QTRY_COMPARE(openSockets(sim), 0);
    }

    void faultSequenceCyclesOnePerRequest()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        const QString url = sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k"));
        sim.setFault(Fault::Html);
        sim.setFaultSequence({Fault::Garbage, Fault::None, Fault::Html});
        QStringList kinds;
        for (int i = 0; i < 7; ++i)
            kinds << kind(fetch(url));
        QCOMPARE(kinds, (QStringList{"garbage", "weather", "html", "garbage", "weather", "html", "garbage"}));
        sim.setFaultSequence({});
        QCOMPARE(kind(fetch(url)), QStringLiteral("html")); // back to the persistent one
        sim.setFaultSequence({Fault::Garbage, Fault::Html});
        sim.setFault(Fault::None);
        QCOMPARE(kind(fetch(url)), QStringLiteral("weather"));
        QCOMPARE(kind(fetch(url)), QStringLiteral("weather"));
    }

    void simSetChangesTheNextAnswer()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("San Diego CA"), QStringLiteral("San Diego"), 290.15);
        const Fetched set = fetch(sim.baseUrl() + "/sim/set?q=san%20diego%20ca&kelvin=301.25");
        QCOMPARE(set.status, 200);
        QCOMPARE(set.body, QByteArray("ok"));
        const Fetched after =
            fetch(sim.baseUrl() + weatherPath(QStringLiteral("San Diego CA"), QStringLiteral("k")));
        QCOMPARE(after.temp(), 301.25);
        QCOMPARE(after.json()["name"].toString(), QStringLiteral("San Diego"));

        QCOMPARE(fetch(sim.baseUrl() + "/sim/set?q=Reykjavik&kelvin=270.5").status, 200);
        const Fetched added =
            fetch(sim.baseUrl() + weatherPath(QStringLiteral("reykjavik"), QStringLiteral("k")));
        QCOMPARE(added.json()["name"].toString(), QStringLiteral("Reykjavik"));
        QCOMPARE(added.temp(), 270.5);

        QCOMPARE(fetch(sim.baseUrl() + "/sim/set?q=Reykjavik&kelvin=warm").status, 400);
        QCOMPARE(sim.requests(),
                 (QStringList{weatherPath(QStringLiteral("San Diego CA"), QStringLiteral("k")),
                              weatherPath(QStringLiteral("reykjavik"), QStringLiteral("k"))}));
    }

    void driftMovesTemperaturesUnlessSet()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        sim.setDrift(3, 500);
        const QString url = sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k"));
        QList<double> temps{fetch(url).temp()};
        QTRY_VERIFY((temps << fetch(url).temp(), temps.last() != temps.first()));
        for (double t : temps)
            QVERIFY2(t >= 264.99 && t <= 271.01, qPrintable(QString::number(t)));
        QCOMPARE(fetch(sim.baseUrl() + "/sim/set?q=Oslo&kelvin=270").status, 200);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(fetch(url).temp(), 270.0);
    }

    void requestInPiecesIsAnsweredOnceComplete()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268.15);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(client.waitForConnected(3000));
        QSignalSpy received(&sim, &WeatherSim::requestReceived);
        const QByteArray request = "GET /data/2.5/weather?q=Oslo&APPID=k HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                   "User-Agent: pieces\r\n\r\n";
        // Cut inside the request line and inside the final blank line.
        const qsizetype cuts[] = {0, 9, request.size() - 3, request.size()};
        for (int i = 0; i < 3; ++i) {
            client.write(request.sliced(cuts[i], cuts[i + 1] - cuts[i]));
            QVERIFY(client.waitForBytesWritten(3000));
            if (i < 2)
                QVERIFY(!received.wait(150));
        }
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received[0][0].toString(), QStringLiteral("/data/2.5/weather?q=Oslo&APPID=k"));
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState); // the server closes
        const QByteArray response = client.readAll();
        const qsizetype end = response.indexOf("\r\n\r\n");
        QVERIFY(end > 0);
        const QByteArray head = response.first(end + 2);
        const QByteArray body = response.sliced(end + 4);
        QVERIFY2(head.startsWith("HTTP/1.1 200 OK\r\n"), head.constData());
        QVERIFY(head.contains("\r\nConnection: close\r\n"));
        QVERIFY(head.contains("\r\nContent-Type: application/json; charset=utf-8\r\n"));
        QVERIFY(head.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
        QVERIFY(body.contains("\"temp\":268.15,"));
    }

    void clientLeavingMidRequestFreesTheConnection()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        sim.setPlace(QStringLiteral("Oslo"), QStringLiteral("Oslo"), 268);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(client.waitForConnected(3000));
        client.write("GET /data/2.5/weather?q=Oslo");
        QVERIFY(client.waitForBytesWritten(3000));
        QTRY_COMPARE(openSockets(sim), 1);
        client.abort();
        QTRY_COMPARE(openSockets(sim), 0);
        QCOMPARE(sim.requestCount(), 0);
        QCOMPARE(fetch(sim.baseUrl() + weatherPath(QStringLiteral("Oslo"), QStringLiteral("k"))).status, 200);
    }

    void manyConcurrentRequests()
    {
        WeatherSim sim;
        QVERIFY(sim.listen());
        const int count = 40;
        for (int i = 0; i < count; ++i)
            sim.setPlace(QStringLiteral("Place %1").arg(i), QStringLiteral("P%1").arg(i), 250 + i);
        std::vector<std::unique_ptr<QNetworkReply>> replies;
        for (int i = 0; i < count; ++i) {
            const QUrl url(sim.baseUrl() +
                           weatherPath(QStringLiteral("Place %1").arg(i), QStringLiteral("k")));
            replies.emplace_back(m_nam.get(QNetworkRequest(url)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(replies.begin(), replies.end(), [](const auto& r) { return r->isFinished(); }),
            10000);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(replies[i]->error(), QNetworkReply::NoError);
            const QJsonObject json = QJsonDocument::fromJson(replies[i]->readAll()).object();
            QCOMPARE(json["name"].toString(), QStringLiteral("P%1").arg(i));
            QCOMPARE(json["main"].toObject()["temp"].toDouble(), 250.0 + i);
        }
        QCOMPARE(sim.requestCount(), count);
        // A connection the client opened ahead and never used is the client's to close.
        m_nam.clearConnectionCache();
        QTRY_COMPARE(openSockets(sim), 0);
    }

    void programServesBuiltInPlacesAndStopsOnTerm()
    {
        QProcess program;
        QString base;
        startProgram(program,
                     {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--key"),
                      QStringLiteral("secret"), QStringLiteral("--key"), QStringLiteral("second")},
                     base);
        if (QTest::currentTestFailed())
            return;
        const Fetched f = fetch(base + weatherPath(QStringLiteral("San Diego CA"), QStringLiteral("secret")));
        QCOMPARE(f.status, 200);
        QCOMPARE(f.json()["name"].toString(), QStringLiteral("San Diego"));
        QVERIFY2(f.temp() > 286 && f.temp() < 294, qPrintable(QString::number(f.temp())));
        QCOMPARE(fetch(base + weatherPath(QStringLiteral("paris, france"), QStringLiteral("second")))
                     .json()["name"]
                     .toString(),
                 QStringLiteral("Paris"));
        QCOMPARE(fetch(base + weatherPath(QStringLiteral("San Diego CA"), QStringLiteral("wrong"))).status,
                 401);
        QCOMPARE(fetch(base + "/sim/set?q=San%20Diego%20CA&kelvin=300").body, QByteArray("ok"));
        QCOMPARE(fetch(base + weatherPath(QStringLiteral("San Diego CA"), QStringLiteral("secret"))).temp(),
                 300.0);
        stopProgram(program);
    }

    void requestLogLeavesOutTheKey()
    {
        QProcess program;
        QString base;
        startProgram(program, {QStringLiteral("--log-requests")}, base);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(fetch(base + weatherPath(QStringLiteral("San Diego CA"), QStringLiteral("secret"))).status,
                 200);
        QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 5000);
        const QString line = QString::fromUtf8(program.readLine());
        QVERIFY2(
            QRegularExpression(
                QStringLiteral(R"(^request \d{13} /data/2\.5/weather\?q=San%20Diego%20CA&APPID=\(key\)\n$)"))
                .match(line)
                .hasMatch(),
            qPrintable(line));
        stopProgram(program);
    }

    void programTakesPlacesFromTheCommandLine()
    {
        QProcess program;
        QString base;
        startProgram(program, {QStringLiteral("--place"), QStringLiteral("Tromsø, NO=Tromsø:260.5")}, base);
        if (QTest::currentTestFailed())
            return;
        const Fetched f = fetch(base + weatherPath(QStringLiteral("tromsø, no"), QString()));
        QCOMPARE(f.status, 200);
        QCOMPARE(f.json()["name"].toString(), QStringLiteral("Tromsø"));
        QVERIFY2(f.temp() > 257 && f.temp() < 264, qPrintable(QString::number(f.temp())));
        QCOMPARE(fetch(base + weatherPath(QStringLiteral("San Diego CA"), QString())).status, 404);
        stopProgram(program);
    }
};

QTEST_GUILESS_MAIN(TestWeatherSim)
#include "test_weathersim.moc"
