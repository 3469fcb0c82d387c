// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/SingleInstance.h"

#include "base/WindowRoutines.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace
{

// One line: "show", or "activate TOKEN" where the start had an activation
// token. A copy from before tokens answers only "show", so a start falls back
// to that when "activate" gets no answer.
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kActivatePrefix = QByteArrayLiteral("activate ");
const QByteArray kShowAnswer = QByteArrayLiteral("shown\n");
constexpr int kMaxRequestBytes = 9 + kMaxActivationTokenLength + 1;
constexpr int kRetryMs = 50;
constexpr int kRequestMs = 5000; // a client that says nothing is dropped then

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder), m_socketPath(folder + QStringLiteral("/tepora.socket")),
      m_lock(folder + QStringLiteral("/tepora.lock"))
{
    // Held for the whole run: only a dead owner makes it stale, never age.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
    }
}

QString SingleInstance::defaultFolder()
{
    // Qt checks that the folder is the user's and mode 0700, and makes one
    // when XDG_RUNTIME_DIR is not set; empty when that fails.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::Start SingleInstance::claim(int timeoutMs, const QString& activationToken)
{
    if (m_folder.isEmpty()) {
        qWarning("Tepora: no private runtime folder, so a second copy cannot be told apart");
        return Start::First;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        if (m_lock.tryLock(0)) {
            // The lock alone keeps other copies out; without the socket they
            // only cannot bring this one forward.
            if (!listen()) {
                qWarning("Tepora: cannot listen on %s", qPrintable(m_socketPath));
            }
            return Start::First;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            return Start::NoAnswer; // the folder cannot hold a lock
        }
        if (isActivationToken(activationToken) &&
            askRunningCopy(kActivatePrefix + activationToken.toLatin1() + '\n',
                           int(qMax<qint64>(0, deadline.remainingTime() / 2)))) {
            return Start::Forwarded;
        }
        if (askRunningCopy(kShowRequest, int(qMax<qint64>(0, deadline.remainingTime())))) {
            return Start::Forwarded;
        }
        if (deadline.hasExpired()) {
            return Start::NoAnswer;
        }
        // The owner is starting (not listening yet) or ending (lock not yet gone).
        QThread::msleep(kRetryMs);
    }
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Ours now that we hold the lock: whatever is there was left by a crash.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
    return true;
}

bool SingleInstance::askRunningCopy(const QByteArray& request, int timeoutMs)
{
    const QDeadlineTimer deadline(qMax(timeoutMs, 1));
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        return false;
    }
    socket.write(request);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) {
        return false;
    }
    QByteArray answer;
    while (answer.size() < kShowAnswer.size() && socket.waitForReadyRead(int(deadline.remainingTime()))) {
        answer += socket.read(kShowAnswer.size() - answer.size());
    }
    return answer == kShowAnswer;
}

void SingleInstance::serve()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kRequestMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Only ever one short line; anything else is not ours to read.
            if (!socket->canReadLine() && socket->bytesAvailable() < kMaxRequestBytes) {
                return;
            }
            // Qt reads one byte less than it is given.
            const QByteArray request = socket->readLine(kMaxRequestBytes + 1);
            if (request == kShowRequest) {
                emit showRequested(QString());
                socket->write(kShowAnswer);
            } else if (request.startsWith(kActivatePrefix) && request.endsWith('\n')) {
                const QString token = QString::fromLatin1(request.mid(kActivatePrefix.size()).chopped(1));
                // A token that cannot be one is dropped; the window still comes.
                emit showRequested(isActivationToken(token) ? token : QString());
                socket->write(kShowAnswer);
            }
            socket->disconnectFromServer();
        });
    }
}
