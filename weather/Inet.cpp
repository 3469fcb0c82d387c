// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/Inet.h"

#include "base/Clock.h"
#include "base/Failure.h"
#include "weather/WeatherText.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QNetworkRequest>
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

Inet::~Inet()
{
    // A request still awaited ends now, while this object is whole.
    cancel();
}

QCoro::Task<QString> Inet::OpenURL(QString url)
{
    if (m_busy) {
        throw Failure(QStringLiteral("Still executing last request"));
    }
    if (m_cancelled.isOpen()) {
        throw Cancelled();
    }
    // The service asked to wait: asking again before then only prolongs it
    // and risks the key being blocked.
    m_askedToWait = m_waitUntilMs >= 0 && Clock::instance().nowMs() < m_waitUntilMs;
    if (m_askedToWait) {
        co_return QString();
    }
    const QUrl target(url, QUrl::StrictMode);
    QNetworkRequest request{target};
    request.setTransferTimeout(m_timeoutMs);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tepora"));

    m_busy = true;
    QNetworkReply* reply = m_nam.get(request);
    reply->setReadBufferSize(kReadAheadBytes);
    QByteArray body;
    bool cut = false;
    bool timedOut = false;
    Latch done;
    const auto take = [&] {
        body += reply->read(qMin(reply->bytesAvailable(), kMaxAnswerBytes - body.size()));
        if (body.size() >= kMaxAnswerBytes && !cut) {
            cut = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::readyRead, &done, take);
    // Qt's transfer time-out restarts with every byte; a trickling answer
    // would hold the connection for ever. This one counts from the start.
    Clock::instance().after(m_timeoutMs, &done, [&] {
        timedOut = true;
        reply->abort();
    });
    connect(&m_cancelled, &Latch::opened, &done, [reply] { reply->abort(); });
    // Idle as soon as the answer is in: a reading waiting for idle goes on
    // before this one's caller has even resumed.
    const auto settle = [this] {
        if (m_busy) {
            m_busy = false;
            emit idle();
        }
    };
    connect(reply, &QNetworkReply::finished, &done, [&] {
        settle();
        done.open();
    });
    connect(reply, &QNetworkReply::errorOccurred, &done, [&](QNetworkReply::NetworkError code) {
        // The transfer time-out surfaces as a cancel; tell it apart from a real one.
        if (code == QNetworkReply::OperationCanceledError && !cut && !m_cancelled.isOpen()) {
            timedOut = true;
        }
    });
    if (!reply->isFinished()) {
        co_await done.wait();
    }

    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = withoutQueries(reply->errorString(), {target, reply->url()});
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.toInt() == 429) {
        m_askedToWait = true;
        if (const auto seconds =
                retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc())) {
            m_waitUntilMs = Clock::instance().nowMs() + *seconds * 1000;
        }
    }
    if (!cut && reply->isOpen()) {
        take();
    }
    // This runs inside the reply's own finished signal: it goes once that
    // has returned, and is no longer counted among the transfer's children.
    reply->setParent(nullptr);
    reply->deleteLater();
    settle();

    if (m_cancelled.isOpen()) {
        throw Cancelled();
    }
    if (cut) {
        co_return QString::fromUtf8(body);
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
    co_return QString::fromUtf8(body);
}

QCoro::Task<> Inet::waitUntilIdle()
{
    while (m_busy) {
        co_await emitted(this, &Inet::idle);
    }
}

void Inet::cancel()
{
    m_cancelled.open();
}
