// SPDX-License-Identifier: GPL-3.0-or-later

#include "WeatherSim.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>
#include <numbers>
#include <optional>

namespace
{

const QByteArray kJson = "application/json; charset=utf-8";
const QByteArray kText = "text/plain; charset=utf-8";
constexpr qsizetype kMaxHead = 64 * 1024;
constexpr qsizetype kHugeSize = 3 * 1024 * 1024;
constexpr qsizetype kTrickleLength = 100000;
constexpr qsizetype kEndlessChunk = 64 * 1024;

QString placeKey(const QString& query)
{
    return query.trimmed().toCaseFolded();
}

QByteArray pathOf(const QByteArray& target)
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? target : target.first(mark);
}

// Decoded value of the first parameter called `name`; nothing when absent.
// '+' stays a plus, as the real service treats it.
std::optional<QString> param(const QByteArray& target, const QByteArray& name,
                             Qt::CaseSensitivity cs = Qt::CaseSensitive)
{
    const qsizetype mark = target.indexOf('?');
    if (mark < 0)
        return std::nullopt;
    for (const QByteArray& item : target.sliced(mark + 1).split('&')) {
        const qsizetype eq = item.indexOf('=');
        const QByteArray key = QByteArray::fromPercentEncoding(eq < 0 ? item : item.first(eq));
        if (key.compare(name, cs) == 0)
            return QString::fromUtf8(
                QByteArray::fromPercentEncoding(eq < 0 ? QByteArray() : item.sliced(eq + 1)));
    }
    return std::nullopt;
}

// Up to two decimals, C locale, no trailing zeros: 290.15, 282.5, 268.
QByteArray number(double value)
{
    QByteArray text = QByteArray::number(std::round(value * 100) / 100, 'f', 2);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text;
}

QByteArray jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2);
}

QByteArray weatherJson(const QString& name, double kelvin)
{
    const QByteArray now = QByteArray::number(QDateTime::currentSecsSinceEpoch());
    const QByteArray sunrise = QByteArray::number(QDateTime::currentSecsSinceEpoch() - 6 * 3600);
    const QByteArray sunset = QByteArray::number(QDateTime::currentSecsSinceEpoch() + 6 * 3600);
    const QByteArray id = QByteArray::number(1'000'000 + qHash(name, 0) % 5'000'000);
    return "{\"coord\":{\"lon\":-117.1573,\"lat\":32.7153},"
           "\"weather\":[{\"id\":802,\"main\":\"Clouds\",\"description\":\"scattered "
           "clouds\",\"icon\":\"03d\"}],"
           "\"base\":\"stations\","
           "\"main\":{\"temp\":" +
           number(kelvin) + ",\"feels_like\":" + number(kelvin - 0.55) +
           ",\"temp_min\":" + number(kelvin - 1.3) + ",\"temp_max\":" + number(kelvin + 1.2) +
           ",\"pressure\":1015,\"humidity\":60},"
           "\"visibility\":10000,\"wind\":{\"speed\":3.6,\"deg\":250},\"clouds\":{\"all\":40},"
           "\"dt\":" +
           now + ",\"sys\":{\"type\":2,\"id\":2003880,\"sunrise\":" + sunrise + ",\"sunset\":" + sunset +
           "},\"timezone\":0,\"id\":" + id + ",\"name\":" + jsonString(name) + ",\"cod\":200}";
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 302:
        return "Found";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Error";
    }
}

} // namespace

WeatherSim::WeatherSim(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_clock.start();
    // Not newConnection: an https connection is ours once its handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &WeatherSim::onConnection);
}

// Open sockets are children of the server and close with it.
WeatherSim::~WeatherSim() = default;

bool WeatherSim::useTls(const QString& certificateFile, const QString& keyFile)
{
    QFile certificate(certificateFile);
    QFile key(keyFile);
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificate.readAll(), QSsl::Pem);
    const QSslKey privateKey(key.readAll(), QSsl::Rsa, QSsl::Pem);
    if (chain.isEmpty() || privateKey.isNull()) {
        return false;
    }
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(privateKey);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients show no certificate
    auto* server = new QSslServer(this);
    server->setSslConfiguration(configuration);
    delete m_server;
    m_server = server;
    m_tls = true;
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &WeatherSim::onConnection);
    return true;
}

bool WeatherSim::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 WeatherSim::port() const
{
    return m_server->serverPort();
}

QString WeatherSim::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? "https" : "http").arg(port());
}

void WeatherSim::setPlace(const QString& query, const QString& name, double kelvin)
{
    const QString key = placeKey(query);
    // A new place gets a phase of its own (golden angle) so places drift apart.
    const double phase = m_places.contains(key) ? m_places[key].phase : m_places.size() * 2.39996;
    m_places.insert(key, Place{name, kelvin, phase, false});
}

void WeatherSim::removePlace(const QString& query)
{
    m_places.remove(placeKey(query));
}

void WeatherSim::setAcceptedKeys(const QStringList& keys)
{
    m_keys = keys;
}

void WeatherSim::setFault(Fault fault)
{
    m_fault = fault;
    m_sequence.clear();
}

void WeatherSim::setFaultSequence(const QList<Fault>& faults)
{
    m_sequence = faults;
    m_sequenceIndex = 0;
}

void WeatherSim::setSlowDelay(int ms)
{
    m_slowDelay = ms;
}

void WeatherSim::setDrift(double amplitudeKelvin, int periodMs)
{
    m_driftAmplitude = amplitudeKelvin;
    m_driftPeriod = qMax(1, periodMs);
}

void WeatherSim::onConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // The request may come in pieces; collect until the blank line.
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket, head = QByteArray(), done = false]() mutable {
                    const QByteArray data = socket->readAll();
                    if (done)
                        return;
                    head += data;
                    const qsizetype end = head.indexOf("\r\n\r\n");
                    if (end >= 0) {
                        done = true;
                        handle(socket, head.first(end));
                    } else if (head.size() > kMaxHead) {
                        done = true;
                        send(socket, {431, kText, "request head too large\n"}, Fault::None);
                    }
                });
    }
}

void WeatherSim::handle(QTcpSocket* socket, const QByteArray& head)
{
    const qsizetype eol = head.indexOf("\r\n");
    const QList<QByteArray> line = (eol < 0 ? head : head.first(eol)).split(' ');
    if (line.size() != 3 || !line[2].startsWith("HTTP/1.")) {
        send(socket, {400, kText, "bad request line\n"}, Fault::None);
        return;
    }
    const QByteArray target = line[1];
    // Control requests drive the standalone program; they are not part of the record nor faulted.
    if (pathOf(target) == "/sim/set") {
        send(socket, controlAnswer(target), Fault::None);
        return;
    }
    const QString recorded = QString::fromUtf8(target);
    m_requests << recorded;
    emit requestReceived(recorded);

    const Answer normal =
        line[0] == "GET" ? weatherAnswer(target) : Answer{405, kJson, R"({"cod":405,"message":"only GET"})"};
    const Fault fault = nextFault();
    if (fault == Fault::NoAnswer)
        return; // the socket stays open until the client leaves or the sim goes
    const Answer answer = faultAnswer(fault, normal, target);
    if (fault == Fault::Slow) {
        QTimer::singleShot(m_slowDelay, Qt::PreciseTimer, socket,
                           [this, socket, answer] { send(socket, answer, Fault::None); });
        return;
    }
    send(socket, answer, fault);
}

WeatherSim::Answer WeatherSim::weatherAnswer(const QByteArray& target) const
{
    if (pathOf(target) != "/data/2.5/weather")
        return {404, kJson, R"({"cod":"404","message":"Internal error"})"};
    // The real service checks the key before looking at the place.
    const QString key = param(target, "APPID", Qt::CaseInsensitive).value_or(QString());
    if (!m_keys.isEmpty() && !m_keys.contains(key))
        return {
            401, kJson,
            R"({"cod":401, "message": "Invalid API key. Please see https://openweathermap.org/faq#error401 for more info."})"};
    const std::optional<QString> query = param(target, "q");
    if (!query || query->trimmed().isEmpty())
        return {400, kJson, R"({"cod":"400","message":"Nothing to geocode"})"};
    const auto place = m_places.constFind(placeKey(*query));
    if (place == m_places.cend())
        return {404, kJson, R"({"cod":"404","message":"city not found"})"};
    return {200, kJson, weatherJson(place->name, temperature(*place))};
}

WeatherSim::Answer WeatherSim::controlAnswer(const QByteArray& target)
{
    const std::optional<QString> query = param(target, "q");
    bool ok = false;
    const double kelvin = param(target, "kelvin").value_or(QString()).toDouble(&ok);
    if (!query || placeKey(*query).isEmpty() || !ok || !std::isfinite(kelvin))
        return {400, kText, "need q and kelvin\n"};
    const QString key = placeKey(*query);
    if (!m_places.contains(key))
        setPlace(*query, query->trimmed(), kelvin);
    Place& place = m_places[key];
    place.kelvin = kelvin;
    place.held = true;
    return {200, kText, "ok"};
}

WeatherSim::Answer WeatherSim::faultAnswer(Fault fault, const Answer& normal, const QByteArray& target) const
{
    switch (fault) {
    case Fault::RedirectLoop:
        return {302, kText, "", {}, "Location: " + target + "\r\n"};
    case Fault::RedirectAway:
        return {
            302, kText, "", {}, "Location: http://localhost:" + QByteArray::number(port()) + target + "\r\n"};
    case Fault::TooManyRequests:
        return {429,
                kJson,
                R"({"cod":429, "message": "Your account is temporarily blocked due to exceeding of requests )"
                R"(limitation of your subscription type."})",
                {},
                m_retryAfter.isEmpty() ? QByteArray() : "Retry-After: " + m_retryAfter + "\r\n"};
    case Fault::BadRequest:
        return {400, kJson, R"({"cod":"400","message":"bad request"})",
                "Bad <b>Request</b> <font color=red size=6>CALL +1-555-0100 NOW</font> for key " +
                    param(target, "APPID", Qt::CaseInsensitive).value_or(QString()).toUtf8()};
    case Fault::Html:
        return {200, "text/html; charset=utf-8",
                "<!DOCTYPE html>\n<html><head><title>Network login</title></head>\n"
                "<body><h1>Sign in to continue</h1>\n"
                "<form method=\"post\" action=\"/login\"><input name=\"user\">"
                "<input name=\"password\" type=\"password\"><button>Sign in</button></form>\n"
                "</body></html>\n"};
    case Fault::Garbage: {
        QRandomGenerator random(20210831); // fixed seed: the same bytes every time
        QByteArray bytes(400, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = i % 37 == 5 ? '\0' : char(random.bounded(256));
        return {200, kJson, bytes};
    }
    case Fault::Huge: {
        // Padding first, so the temperature only comes after the first 2 MiB.
        const QByteArray start = R"({"base":"stations","padding":")";
        const QByteArray rest = "\"," + normal.body.sliced(qMin<qsizetype>(1, normal.body.size()));
        return {200, kJson, start + QByteArray(kHugeSize - start.size() - rest.size(), 'x') + rest};
    }
    default:
        return normal;
    }
}

WeatherSim::Fault WeatherSim::nextFault()
{
    if (m_sequence.isEmpty())
        return m_fault;
    return m_sequence[m_sequenceIndex++ % m_sequence.size()];
}

double WeatherSim::temperature(const Place& place) const
{
    if (place.held || m_driftAmplitude == 0)
        return place.kelvin;
    const double turn = double(m_clock.elapsed() % m_driftPeriod) / m_driftPeriod;
    return place.kelvin + m_driftAmplitude * std::sin(2 * std::numbers::pi * turn + place.phase);
}

void WeatherSim::send(QTcpSocket* socket, const Answer& answer, Fault fault) const
{
    const QByteArray framing = fault == Fault::Endless ? QByteArray("Transfer-Encoding: chunked")
                               : fault == Fault::Trickle
                                   ? "Content-Length: " + QByteArray::number(kTrickleLength)
                                   : "Content-Length: " + QByteArray::number(answer.body.size());
    const QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                            (answer.reason.isEmpty() ? reason(answer.status) : answer.reason) +
                            "\r\nServer: tepora-weather-sim\r\nContent-Type: " + answer.type + "\r\n" +
                            framing + "\r\n" + answer.headers + "Connection: close\r\n\r\n";
    if (fault == Fault::Endless) {
        sendEndless(socket, head);
        return;
    }
    if (fault == Fault::EndlessStatus) {
        sendForever(socket, "HTTP/1.1 200 ", "OK");
        return;
    }
    if (fault == Fault::EndlessHeaderLine) {
        sendForever(socket, "HTTP/1.1 200 OK\r\nX-Big: ", "x");
        return;
    }
    if (fault == Fault::EndlessHeaders) {
        sendForever(socket, "HTTP/1.1 200 OK\r\n", "X-More: x\r\n");
        return;
    }
    if (fault == Fault::Trickle) {
        // One byte at a time, each well within any transfer time-out, until the client leaves.
        socket->write(head);
        auto* timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, body = answer.body, sent = qsizetype(0)]() mutable {
            socket->write(sent < body.size() ? body.mid(sent, 1) : QByteArray(" "));
            ++sent;
        });
        timer->start(m_trickleInterval);
        return;
    }
    if (fault == Fault::Drop) {
        socket->write(head + answer.body.first(answer.body.size() / 2));
        // abort() throws away what is still buffered, so wait until it has left.
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
            if (socket->bytesToWrite() == 0)
                socket->abort();
        });
        return;
    }
    socket->write(head + answer.body);
    socket->disconnectFromHost();
}

void WeatherSim::sendForever(QTcpSocket* socket, const QByteArray& start, const QByteArray& unit)
{
    QByteArray block;
    while (block.size() < kEndlessChunk)
        block += unit;
    socket->write(start);
    const auto topUp = [socket, block] {
        while (socket->bytesToWrite() < 4 * kEndlessChunk)
            socket->write(block);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
    topUp();
}

int WeatherSim::openConnections() const
{
    int open = 0;
    for (const QTcpSocket* socket : m_server->findChildren<QTcpSocket*>())
        open += socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    return open;
}

void WeatherSim::sendEndless(QTcpSocket* socket, const QByteArray& head)
{
    // Kept topped up as fast as the client takes it, never more than a few chunks ahead.
    const QByteArray chunk =
        QByteArray::number(kEndlessChunk, 16) + "\r\n" + QByteArray(kEndlessChunk, 'x') + "\r\n";
    const QByteArray start = R"({"padding":")";
    socket->write(head + QByteArray::number(start.size(), 16) + "\r\n" + start + "\r\n");
    const auto topUp = [socket, chunk] {
        while (socket->bytesToWrite() < 4 * kEndlessChunk)
            socket->write(chunk);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
    topUp();
}
