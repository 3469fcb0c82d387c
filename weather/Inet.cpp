#include "weather/Inet.h"

#include "base/Failure.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

Inet::Inet(QObject* parent) : QObject(parent)
{
    m_nam.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

QString Inet::OpenURL(const QString& url)
{
    if (m_busy) {
        throw Failure(QStringLiteral("Still executing last request"));
    }
    QNetworkRequest request{QUrl(url, QUrl::StrictMode)};
    request.setTransferTimeout(m_timeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tepora"));

    m_busy = true;
    QPointer<Inet> self(this);
    QNetworkReply* reply = m_nam.get(request);
    QByteArray body;
    bool cut = false;
    bool timedOut = false;
    QEventLoop loop;
    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body += reply->read(qMin(reply->bytesAvailable(), kMaxAnswerBytes - body.size()));
        if (body.size() >= kMaxAnswerBytes && !cut) {
            cut = true;
            reply->abort();
        }
    });
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
    if (!self) {
        throw Failure(QStringLiteral("Operation canceled"));
    }

    const bool finished = reply->isFinished();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const bool hasStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (finished && !cut && reply->isOpen()) {
        body += reply->read(qMin(reply->bytesAvailable(), kMaxAnswerBytes - body.size()));
    }
    reply->deleteLater();
    settle();

    if (!finished) {
        // The loop was left early: the program is closing.
        reply->abort();
        throw Failure(QStringLiteral("Operation canceled"));
    }
    if (cut) {
        return QString::fromUtf8(body);
    }
    // Statuses the service answers with a body (401, 404, ...) are answers;
    // failures below HTTP (network, protocol, time-out) are not.
    const bool httpAnswer = hasStatus && ((error >= QNetworkReply::ContentAccessDenied &&
                                           error <= QNetworkReply::UnknownContentError) ||
                                          (error >= QNetworkReply::InternalServerError &&
                                           error <= QNetworkReply::UnknownServerError));
    if (error != QNetworkReply::NoError && !httpAnswer) {
        if (timedOut) {
            throw Failure(QStringLiteral("The weather service did not answer within %1 seconds")
                              .arg(m_timeoutMs / 1000));
        }
        throw Failure(errorText);
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
