// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A stand-in for the OpenWeatherMap current-weather service on 127.0.0.1.
// Hand-written HTTP on QTcpServer so faults can be produced byte by byte.
class WeatherSim : public QObject
{
    Q_OBJECT

public:
    // Trickle: a big Content-Length, then one byte per trickle interval.
    // Endless: a chunked body that never ends. RedirectLoop: 302 back to the
    // same request. TooManyRequests: 429 with the Retry-After set below.
    // BadRequest: 400 whose reason phrase is markup and says the key.
    // RedirectAway: 302 to the same request on another host name
    // ("localhost"). EndlessStatus, EndlessHeaderLine, EndlessHeaders: the
    // head never ends.
    enum class Fault {
        None,
        Slow,
        NoAnswer,
        Drop,
        Html,
        Garbage,
        Huge,
        Trickle,
        Endless,
        RedirectLoop,
        TooManyRequests,
        BadRequest,
        RedirectAway,
        EndlessStatus,
        EndlessHeaderLine,
        EndlessHeaders
    };
    Q_ENUM(Fault)

    explicit WeatherSim(QObject* parent = nullptr);
    ~WeatherSim() override;

    // Speaks https with this certificate (PEM, the server's first, then any
    // between it and its authority) and RSA key; before listen().
    bool useTls(const QString& certificateFile, const QString& keyFile);
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString baseUrl() const;

    // The query is matched case-insensitively after trimming.
    void setPlace(const QString& query, const QString& name, double kelvin);
    void removePlace(const QString& query);

    // Empty: every key is accepted, the empty one too.
    void setAcceptedKeys(const QStringList& keys);

    void setFault(Fault fault);
    // One fault per request, round and round; an empty list falls back to setFault.
    void setFaultSequence(const QList<Fault>& faults);
    void setSlowDelay(int ms);
    void setTrickleInterval(int ms) { m_trickleInterval = ms; }
    // The Retry-After value of TooManyRequests; empty sends none.
    void setRetryAfter(const QByteArray& value) { m_retryAfter = value; }

    // Temperatures swing by +-amplitude over the period, each place with its own
    // phase; places set through /sim/set hold their value. Amplitude 0 = off.
    void setDrift(double amplitudeKelvin, int periodMs);

    QStringList requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    // Connections a client still holds open.
    int openConnections() const;
    void clearRequests() { m_requests.clear(); }

signals:
    void requestReceived(const QString& pathAndQuery);

private:
    struct Place {
        QString name;
        double kelvin = 0;
        double phase = 0;
        bool held = false;
    };
    struct Answer {
        Answer(int status = 200, QByteArray type = {}, QByteArray body = {}, QByteArray reason = {},
               QByteArray headers = {})
            : status(status), type(std::move(type)), body(std::move(body)), reason(std::move(reason)),
              headers(std::move(headers))
        {
        }
        int status;
        QByteArray type;
        QByteArray body;
        QByteArray reason;  // empty: the usual phrase for the status
        QByteArray headers; // extra header lines, each ending in CR LF
    };

    void onConnection();
    void handle(QTcpSocket* socket, const QByteArray& head);
    Answer weatherAnswer(const QByteArray& target) const;
    Answer controlAnswer(const QByteArray& target);
    Answer faultAnswer(Fault fault, const Answer& normal, const QByteArray& target) const;
    Fault nextFault();
    double temperature(const Place& place) const;
    void send(QTcpSocket* socket, const Answer& answer, Fault fault) const;
    static void sendEndless(QTcpSocket* socket, const QByteArray& head);
    static void sendForever(QTcpSocket* socket, const QByteArray& start, const QByteArray& unit);

    QTcpServer* m_server;
    bool m_tls = false;
    QHash<QString, Place> m_places;
    QStringList m_keys;
    Fault m_fault = Fault::None;
    QList<Fault> m_sequence;
    qsizetype m_sequenceIndex = 0;
    int m_slowDelay = 2000;
    int m_trickleInterval = 200;
    QByteArray m_retryAfter = "1";
    double m_driftAmplitude = 0;
    int m_driftPeriod = 1;
    QElapsedTimer m_clock;
    QStringList m_requests;
};
