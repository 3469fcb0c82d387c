// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per user. The first copy holds a lock file and listens on
// a local socket beside it; a later start asks that copy to show its window
// instead of running a second monitor. The lock records its owner's process,
// so a crashed copy's leftovers never block the next start.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // folder: where the lock and socket go; a folder only this user may
    // enter (the user's runtime folder). Empty: no guard, every start runs.
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The user's runtime folder; empty when there is none that is safe.
    static QString defaultFolder();

    enum class Start {
        First,     // this copy runs; later starts reach it through showRequested
        Forwarded, // another copy runs and has been asked to show its window
        NoAnswer,  // another copy holds the lock but did not answer in time
    };
    // Takes the lock, or hands the start to the running copy, with the XDG
    // activation token this start was given (if any) so that the window may
    // take the focus. A copy that is just ending lets go of the lock within
    // timeoutMs; this copy then runs.
    Start claim(int timeoutMs = 5000, const QString& activationToken = QString());

signals:
    // A later start asked for the main window; the token is empty or one
    // that isActivationToken accepts.
    void showRequested(const QString& activationToken);

private:
    bool listen();
    bool askRunningCopy(const QByteArray& request, int timeoutMs);
    void serve();

    QString m_folder;
    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};
