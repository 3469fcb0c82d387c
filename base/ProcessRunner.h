// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <cstdint>

class Latch;

// The result of a command line that could not be started: error 53 (file not
// found) minus 2147221504.
constexpr std::int32_t kRunAndWaitNotStarted = -2147221451;

// Starts a command line (program path and arguments, double quotes group) and
// gives the process's exit code once it has ended. A process still running
// after `timeoutMs` is killed and gives -1: a hung converter must not hold
// every later refresh. When `stop` opens it is killed and Cancelled raised.
// `windowStyle` follows the old show-window numbers: missing (-1), below 0 or
// above 6 becomes 6; the value only matters where windows have such styles.
QCoro::Task<std::int32_t> RunAndWait(QString command, int windowStyle = -1, int timeoutMs = 10000,
                                     const Latch* stop = nullptr);

// The same for a program and its arguments as they are: nothing is split or
// unquoted, so any character in a path is safe.
QCoro::Task<std::int32_t> RunAndWait(QString program, QStringList arguments, int windowStyle = -1,
                                     int timeoutMs = 10000, const Latch* stop = nullptr);

// The style RunAndWait uses for a given request.
int normalisedWindowStyle(int windowStyle);
