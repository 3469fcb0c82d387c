// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/Failure.h"

#include <QString>

#include <QCoroTask>

#include <exception>
#include <utility>

// The text of the "Application Error" box.
QString errorReportText(const QString& description, const QString& window, const QString& operation,
                        int step);

// Where reports ask the user to write to; one place for the whole program.
QString supportAddress();

// One run of a reporting operation. Each action runs under the number of its
// step; a failing action is reported once in the "Application Error" box and
// the operation goes on with its next action, as if the failing one had done
// nothing.
class Procedure
{
public:
    Procedure(QString window, QString operation)
        : m_window(std::move(window)), m_operation(std::move(operation))
    {
    }

    // Runs one action of a step. Several calls with the same number are the
    // actions of one step: a failure in one does not skip the others.
    template <class F> void run(int step, F&& action)
    {
        m_step = step;
        try {
            std::forward<F>(action)();
            stepSucceeded();
        } catch (const Failure& failure) {
            report(failure.description());
        } catch (const std::exception& failure) {
            report(QString::fromUtf8(failure.what()));
        }
    }

    // The same for an action that waits: it returns a task, awaited here.
    // The action object lives in this coroutine's frame until it is done.
    template <class F> QCoro::Task<> step(int step, F action)
    {
        m_step = step;
        try {
            co_await action();
            stepSucceeded();
        } catch (const Failure& failure) {
            report(failure.description());
        } catch (const std::exception& failure) {
            report(QString::fromUtf8(failure.what()));
        }
    }

    // The test of a conditional. When the test itself fails, the guarded
    // action runs as if the test had succeeded.
    template <class F> bool test(int step, F&& condition)
    {
        bool result = true;
        run(step, [&] { result = std::forward<F>(condition)(); });
        return result;
    }

    int currentStep() const { return m_step; }
    const QString& window() const { return m_window; }
    const QString& operation() const { return m_operation; }

    // Shows a report for a failure at the current step.
    void report(const QString& description) const;

private:
    void stepSucceeded() const;

    QString m_window;
    QString m_operation;
    int m_step = 100;
};

// Shows the "Application Error" box, unless a box for the same window,
// operation and step is still open or waiting. The box does not hold up the
// caller, so polling goes on while it waits for the user; reports that come
// meanwhile are shown one after the other.
void showErrorReport(const QString& description, const QString& window, const QString& operation, int step);

// Number of report boxes open or waiting now (tests, soak checks).
int openErrorReports();

// Forgets which faults have been reported (each test starts afresh).
void forgetReportedFaults();

// A fault that lasts (a damaged setting, a missing file, a service that is
// down) is reported once and then not again until its step has succeeded
// once more: polls must not bring up the same box every minute. While one of
// these lives, the user has just asked for something and sees every report.
class UserRequestScope
{
public:
    UserRequestScope();
    ~UserRequestScope();
    UserRequestScope(const UserRequestScope&) = delete;
    UserRequestScope& operator=(const UserRequestScope&) = delete;

    static bool active();
};

// One poll of the service. A step's standing fault ends only when the step
// went right all through a poll: a service failing every other request
// would otherwise get a box for each poll.
class PollScope
{
public:
    PollScope();
    ~PollScope();
    PollScope(const PollScope&) = delete;
    PollScope& operator=(const PollScope&) = delete;
};
