// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <QCoroTask>

#include <optional>
#include <utility>

class Latch;

// One GET over a socket of our own. Qt 6.4's QNetworkAccessManager reads a
// response head without limit on a thread we cannot stop, so a head that
// never ends held a core and grew memory long after the request was given up.
// Here every phase is bounded: the head, the body and the time (the caller's
// `stop`, which closes the connection at once).

struct HttpHead {
    int status = 0;
    QByteArray reason;
    QList<std::pair<QByteArray, QByteArray>> fields; // names in lower case

    // The last value of a field; empty when absent.
    QByteArray value(QByteArrayView name) const;
};

// A loopback address or "localhost": a service on this computer.
bool isThisComputer(const QString& host);

// The status line and fields of a head, without its closing blank line.
// Nothing when it is not HTTP/1.x.
std::optional<HttpHead> parseHead(QByteArrayView head);

// Takes a body in whatever framing the head names (length, chunked, or up to
// the close) and keeps at most `maxBytes` of it.
class BodyReader
{
public:
    BodyReader(const HttpHead& head, qint64 maxBytes);

    // Takes bytes from the front of `in`; false when the framing is broken.
    bool take(QByteArray& in);
    // The framing says the body is whole (or nothing more will be kept).
    bool complete() const { return m_state == State::Done || m_cut; }
    // The connection's close ends this body.
    bool endsAtClose() const { return m_state == State::UntilClose; }
    bool cut() const { return m_cut; }
    const QByteArray& body() const { return m_body; }

private:
    enum class State { Length, ChunkSize, ChunkData, ChunkDataEnd, Trailer, UntilClose, Done };

    void keep(QByteArrayView bytes);

    State m_state = State::UntilClose;
    qint64 m_left = 0;
    qint64 m_max;
    bool m_cut = false;
    QByteArray m_body;
};

struct HttpAnswer {
    HttpHead head;
    QByteArray body;
    bool cut = false; // the body went over the size given and was cut there
};

// Loads the TLS library on a thread of its own, so that the first https
// request does not wait for it; the rest of the start goes on meanwhile.
void prepareTls();

// Throws Failure with a plain description when the exchange fails, and
// Cancelled when `stop` opens first (the connection is closed then).
QCoro::Task<HttpAnswer> httpGet(QUrl url, const Latch& stop, qint64 maxBodyBytes);
