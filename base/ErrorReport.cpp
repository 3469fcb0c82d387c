// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/ErrorReport.h"

#include "base/Modal.h"
#include "base/Secrets.h"

#include <QList>
#include <QSet>

#ifndef TEPORA_SUPPORT_ADDRESS
#define TEPORA_SUPPORT_ADDRESS "support@ravensel.example"
#endif

namespace
{

QSet<QString>& openReports()
{
    static QSet<QString> open;
    return open;
}

// Steps whose last run failed and was reported.
QSet<QString>& standingFaults()
{
    static QSet<QString> standing;
    return standing;
}

int g_userRequests = 0;
int g_polls = 0;
// Steps that went right, and that failed, in the poll under way.
QSet<QString> g_pollSucceeded;
QSet<QString> g_pollFailed;

QString reportKey(const QString& window, const QString& operation, int step)
{
    return window + QLatin1Char('.') + operation + QLatin1Char('.') + QString::number(step);
}

} // namespace

QString supportAddress()
{
    return QStringLiteral(TEPORA_SUPPORT_ADDRESS);
}

QString errorReportText(const QString& description, const QString& window, const QString& operation, int step)
{
    return withoutSecrets(description) + QStringLiteral("\r\n") + QStringLiteral("in Tepora2021/08/31.") +
           window + QLatin1Char('.') + operation + QLatin1Char(' ') + QStringLiteral("at line ") +
           QString::number(step) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") + supportAddress();
}

namespace
{

struct PendingReport {
    QString key;
    QString text;
};

QList<PendingReport>& pendingReports()
{
    static QList<PendingReport> pending;
    return pending;
}

bool g_reportShowing = false;

// One box at a time; the next comes when the user has closed the last.
void showNextReport()
{
    if (g_reportShowing || pendingReports().isEmpty()) {
        return;
    }
    const PendingReport next = pendingReports().takeFirst();
    g_reportShowing = true;
    Modal::instance().reportBox(QStringLiteral("Application Error"), next.text, [key = next.key] {
        openReports().remove(key);
        g_reportShowing = false;
        showNextReport();
    });
}

} // namespace

void showErrorReport(const QString& description, const QString& window, const QString& operation, int step)
{
    const QString key = reportKey(window, operation, step);
    if (g_polls > 0) {
        g_pollFailed.insert(key);
    }
    if (openReports().contains(key)) {
        return;
    }
    const bool repeated = standingFaults().contains(key);
    standingFaults().insert(key);
    if (repeated && !UserRequestScope::active()) {
        return;
    }
    openReports().insert(key);
    pendingReports().append({key, errorReportText(description, window, operation, step)});
    showNextReport();
}

int openErrorReports()
{
    return static_cast<int>(openReports().size());
}

void Procedure::report(const QString& description) const
{
    showErrorReport(description, m_window, m_operation, m_step);
}

void forgetReportedFaults()
{
    standingFaults().clear();
}

void Procedure::stepSucceeded() const
{
    if (g_polls > 0) {
        g_pollSucceeded.insert(reportKey(m_window, m_operation, m_step));
    } else if (!standingFaults().isEmpty()) {
        standingFaults().remove(reportKey(m_window, m_operation, m_step));
    }
}

UserRequestScope::UserRequestScope()
{
    ++g_userRequests;
}

UserRequestScope::~UserRequestScope()
{
    --g_userRequests;
}

bool UserRequestScope::active()
{
    return g_userRequests > 0;
}

PollScope::PollScope()
{
    ++g_polls;
}

PollScope::~PollScope()
{
    if (--g_polls > 0) {
        return;
    }
    for (const QString& key : std::as_const(g_pollSucceeded)) {
        if (!g_pollFailed.contains(key)) {
            standingFaults().remove(key);
        }
    }
    g_pollSucceeded.clear();
    g_pollFailed.clear();
}
