// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/Inet.h"

#include "base/Clock.h"
#include "base/Failure.h"
#include "weather/WeatherText.h"

#include "weather/HttpGet.h"

#include <QDateTime>
#include <QUrl>

namespace
{

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

Inet::Inet(QObject* parent) : QObject(parent) {}

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
    const QUrl first(url, QUrl::StrictMode);
    if (!first.isValid() ||
        (first.scheme() != QLatin1String("http") && first.scheme() != QLatin1String("https"))) {
        throw Failure(QStringLiteral("Protocol \"%1\" is unknown").arg(oneLine(first.scheme(), 20)));
    }
    // The key is in the query: in clear it goes only as far as this computer.
    if (first.scheme() == QLatin1String("http") && !isThisComputer(first.host())) {
        throw Failure(QStringLiteral("The weather service at %1 must be reached over https")
                          .arg(oneLine(first.host(), 100)));
    }

    m_busy = true;
    // One deadline for the whole transfer, redirects included: the service
    // trickling bytes cannot stretch it.
    Latch stop;
    m_inFlight = &stop;
    bool timedOut = false;
    connect(&m_cancelled, &Latch::opened, &stop, [&stop] { stop.open(); });
    Clock::instance().after(m_timeoutMs, &stop, [&] {
        timedOut = true;
        stop.open();
    });
    QUrl target = first;
    std::optional<HttpAnswer> answer;
    QString failure;
    for (int redirects = 0; !answer && failure.isEmpty(); ++redirects) {
        try {
            HttpAnswer got = co_await httpGet(target, stop, kMaxAnswerBytes);
            const QByteArray location = got.head.value("location");
            const int status = got.head.status;
            const bool redirect =
                (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
                !location.isEmpty();
            if (!redirect) {
                answer = std::move(got);
                break;
            }
            const QUrl next = target.resolved(QUrl::fromEncoded(location, QUrl::StrictMode));
            // The key is in the query: it never follows a redirect to another place.
            if (!next.isValid() || next.scheme() != target.scheme() || next.host() != target.host() ||
                next.port() != target.port()) {
                failure = QStringLiteral("Insecure redirect");
            } else if (redirects >= kMaxRedirects) {
                failure = QStringLiteral("Too many redirects");
            }
            target = next;
        } catch (const Failure& failed) {
            failure = failed.description();
        } catch (const Cancelled&) {
            if (!timedOut) {
                settle();
                throw;
            }
            failure = QStringLiteral("The weather service did not answer within %1 seconds")
                          .arg(m_timeoutMs / 1000);
        }
    }
    settle();
    if (!failure.isEmpty()) {
        throw Failure(oneLine(withoutQueries(failure, {first, target}), kMaxDescriptionChars));
    }
    const int status = answer->head.status;
    if (status == 429) {
        m_askedToWait = true;
        if (const auto seconds =
                retryAfterSeconds(answer->head.value("retry-after"), QDateTime::currentDateTimeUtc())) {
            m_waitUntilMs = Clock::instance().nowMs() + *seconds * 1000;
        }
    }
    // Statuses the service answers with a body (401, 404, 429, ...) are
    // answers; a request it calls malformed is a failure of the transfer.
    if (status == 400 || status == 418) {
        const QString where =
            target.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString();
        throw Failure(oneLine(QStringLiteral("Error transferring %1 - server replied: %2")
                                  .arg(where, QString::fromUtf8(answer->head.reason)),
                              kMaxDescriptionChars));
    }
    co_return QString::fromUtf8(answer->body);
}

void Inet::settle()
{
    // Idle as soon as the answer is in: a reading waiting for idle goes on
    // before this one's caller has even resumed.
    if (m_busy) {
        m_busy = false;
        m_inFlight = nullptr;
        emit idle();
    }
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

void Inet::abandon()
{
    if (m_inFlight) {
        m_inFlight->open();
    }
}
