// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/ProcessRunner.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

int normalisedWindowStyle(int windowStyle)
{
    return (windowStyle < 0 || windowStyle > 6) ? 6 : windowStyle;
}

std::int32_t RunAndWait(const QString& command, int windowStyle, int timeoutMs)
{
    QStringList arguments = QProcess::splitCommand(command);
    if (arguments.isEmpty()) {
        return kRunAndWaitNotStarted;
    }
    const QString program = arguments.takeFirst();
    return RunAndWait(program, arguments, windowStyle, timeoutMs);
}

std::int32_t RunAndWait(const QString& program, const QStringList& arguments, int windowStyle, int timeoutMs)
{
    (void)normalisedWindowStyle(windowStyle); // console tools open no window here
    // QProcess leaks a pipe on every failed start; a converter that has gone
    // missing would cost one descriptor per poll.
    const QFileInfo file(program.contains(QLatin1Char('/')) ? program
                                                            : QStandardPaths::findExecutable(program));
    if (!file.isFile() || !file.isExecutable()) {
        return kRunAndWaitNotStarted;
    }

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());

    QEventLoop loop;
    bool failedToStart = false;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failedToStart = true;
            loop.quit();
        }
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);

    process.start();
    if (!failedToStart && process.state() != QProcess::NotRunning) {
        deadline.start(timeoutMs);
        loop.exec();
    }
    if (failedToStart) {
        return kRunAndWaitNotStarted;
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        return -1;
    }
    return process.exitCode();
}
