// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/Inet.h"

#include "base/Failure.h"
#include "weather/WeatherText.h"

#include <QDateTime>
#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace
{

// How far the transfer thread may read ahead of us; without a limit it reads
// an endless body into memory as fast as the network delivers it.
constexpr qint64 kReadAheadBytes = 64 * 1024;
constexpr qsizetype kMaxDescriptionChars = 300;

// Qt writes the address into some of its error texts; the query holds the key.
QString withoutQueries(QString text, const QList<QUrl>& urls)
{
    for (const QUrl& url : urls) {
        if (!url.hasQuery()) {
            continue;
        }
        const QString bare = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                                 .toString(QUrl::FullyEncoded);
        for (const QString& written :
             {url.toString(), url.toString(QUrl::FullyEncoded), url.toDisplayString()}) {
            text.replace(written, bare);
        }
        for (const QString& query :
             {url.query(), url.query(QUrl::FullyEncoded), url.query(QUrl::FullyDecoded)}) {
            text.replace(query, QStringLiteral("…"));
        }
    }
    return text;
}

} // namespace

Inet::Inet(QObject* parent) : QObject(parent), m_nam(this)
{
    // The key is in the query: it never follows a redirect to another host.
    m_nam.setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
}

QString Inet::OpenURL(const QString& url)
{
    if (m_busy) {
        throw Failure(QStringLiteral("Still executing last request"));
    }
    // The service asked to wait: asking again before then only prolongs it
    // and risks the key being blocked.
    m_askedToWait = !m_waitUntil.hasExpired();
    if (m_askedToWait) {
        return QString();
    }
    const QUrl target(url, QUrl::StrictMode);
    QNetworkRequest request{target};
    request.setTransferTimeout(m_timeoutMs);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tepora"));

    m_busy = true;
    QPointer<Inet> self(this);
    QPointer<QNetworkReply> reply = m_nam.get(request);
    reply->setReadBufferSize(kReadAheadBytes);
    QByteArray body;
    bool cut = false;
    bool timedOut = false;
    QEventLoop loop;
    const auto take = [&] {
        body += reply->read(qMin(reply->bytesAvailable(), kMaxAnswerBytes - body.size()));
        if (body.size() >= kMaxAnswerBytes && !cut) {
            cut = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::readyRead, &loop, take);
    // Qt's transfer time-out restarts with every byte; a trickling answer
    // would hold the connection for ever. This one counts from the start.
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    deadline.start(m_timeoutMs);
    // Idle as soon as the answer is in, not when this loop returns: a reading
    // nested in the loop waits for idle, and this loop cannot return before it.
    auto settle = [&] {
        if (m_busy) {
            m_busy = false;
            emit idle();
        }
    };
    connect(reply, &QNetworkReply::finished, &loop, [&] {
        settle();
        loop.quit();
    });
    connect(reply, &QNetworkReply::errorOccurred, &loop, [&](QNetworkReply::NetworkError code) {
        // The transfer time-out surfaces as a cancel; tell it apart from a real one.
        if (code == QNetworkReply::OperationCanceledError && !cut) {
            timedOut = true;
        }
    });
    if (!reply->isFinished()) {
        loop.exec();
    }
    deadline.stop();
    if (!self || !reply) {
        throw Failure(QStringLiteral("Operation canceled"));
    }

    const bool finished = reply->isFinished();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = withoutQueries(reply->errorString(), {target, reply->url()});
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.toInt() == 429) {
        m_askedToWait = true;
        if (const auto seconds =
                retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc())) {
            m_waitUntil.setRemainingTime(*seconds * 1000);
        }
    }
    if (finished && !cut && reply->isOpen()) {
        take();
    }
    if (!finished) {
        // The loop was left early: the program is closing.
        reply->abort();
    }
    // Freed here, whatever event loop this runs in: a deleteLater from a
    // nested loop can wait until the program ends.
    delete reply.data();
    settle();

    if (!finished) {
        throw Failure(QStringLiteral("Operation canceled"));
    }
    if (cut) {
        return QString::fromUtf8(body);
    }
    // Statuses the service answers with a body (401, 404, ...) are answers;
    // failures below HTTP (network, protocol, time-out) are not.
    const bool httpAnswer =
        status.isValid() &&
        ((error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
         (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError));
    if (error != QNetworkReply::NoError && !httpAnswer) {
        if (timedOut) {
            throw Failure(QStringLiteral("The weather service did not answer within %1 seconds")
                              .arg(m_timeoutMs / 1000));
        }
        throw Failure(oneLine(errorText, kMaxDescriptionChars));
    }
    return QString::fromUtf8(body);
}

void Inet::waitUntilIdle()
{
    if (!m_busy) {
        return;
    }
    QEventLoop loop;
    connect(this, &Inet::idle, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}
