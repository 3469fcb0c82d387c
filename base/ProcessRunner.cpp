// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/ProcessRunner.h"

#include "base/Clock.h"
#include "base/Failure.h"
#include "base/Latch.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopedPointer>
#include <QStandardPaths>

int normalisedWindowStyle(int windowStyle)
{
    return (windowStyle < 0 || windowStyle > 6) ? 6 : windowStyle;
}

QCoro::Task<std::int32_t> RunAndWait(QString command, int windowStyle, int timeoutMs, const Latch* stop)
{
    QStringList arguments = QProcess::splitCommand(command);
    if (arguments.isEmpty()) {
        co_return kRunAndWaitNotStarted;
    }
    const QString program = arguments.takeFirst();
    co_return co_await RunAndWait(program, arguments, windowStyle, timeoutMs, stop);
}

QCoro::Task<std::int32_t> RunAndWait(QString program, QStringList arguments, int windowStyle, int timeoutMs,
                                     const Latch* stop)
{
    (void)normalisedWindowStyle(windowStyle); // console tools open no window here
    // QProcess leaks a pipe on every failed start; a converter that has gone
    // missing would cost one descriptor per poll.
    const QFileInfo file(program.contains(QLatin1Char('/')) ? program
                                                            : QStandardPaths::findExecutable(program));
    if (stop && stop->isOpen()) {
        throw Cancelled();
    }
    if (!file.isFile() || !file.isExecutable()) {
        co_return kRunAndWaitNotStarted;
    }

    // Resumed from the process's own signal: it goes once that has returned.
    const QScopedPointer<QProcess, QScopedPointerDeleteLater> owned(new QProcess);
    QProcess& process = *owned;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());

    Latch ended;
    bool failedToStart = false;
    QObject::connect(&process, &QProcess::finished, &ended, &Latch::open);
    QObject::connect(&process, &QProcess::errorOccurred, &ended, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failedToStart = true;
            ended.open();
        }
    });
    Clock::instance().after(timeoutMs, &ended, [&ended] { ended.open(); });
    if (stop) {
        QObject::connect(stop, &Latch::opened, &ended, &Latch::open);
    }

    process.start();
    if (!failedToStart && process.state() != QProcess::NotRunning) {
        co_await ended.wait();
    }
    if (failedToStart) {
        co_return kRunAndWaitNotStarted;
    }
    if (process.state() != QProcess::NotRunning) {
        // Killed and reaped here: a few milliseconds at most, and the process
        // object must not outlive this frame with a child still running.
        process.kill();
        process.waitForFinished(1000);
        if (stop && stop->isOpen()) {
            throw Cancelled();
        }
        co_return -1;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        co_return -1;
    }
    co_return process.exitCode();
}
