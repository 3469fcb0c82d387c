#include "shell/ErrorReport.h"

#include "shell/Modal.h"

#include <QSet>

#ifndef TEPORA_SUPPORT_ADDRESS
#define TEPORA_SUPPORT_ADDRESS "support@ravensel.example"
#endif

namespace {

QSet<QString>& openReports()
{
    static QSet<QString> open;
    return open;
}

} // namespace

QString supportAddress()
{
    return QStringLiteral(TEPORA_SUPPORT_ADDRESS);
}

QString errorReportText(const QString& description, const QString& window, const QString& operation, int step)
{
    return description + QStringLiteral("\r\n") + QStringLiteral("in Tepora2021/08/31.") + window + QLatin1Char('.') +
           operation + QLatin1Char(' ') + QStringLiteral("at line ") + QString::number(step) +
           QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ") + supportAddress();
}

void showErrorReport(const QString& description, const QString& window, const QString& operation, int step)
{
    const QString key = window + QLatin1Char('.') + operation + QLatin1Char('.') + QString::number(step);
    if (openReports().contains(key)) {
        return;
    }
    openReports().insert(key);
    Modal::instance().messageBox(QStringLiteral("Application Error"),
                                 errorReportText(description, window, operation, step), Modal::Icon::Warning);
    openReports().remove(key);
}

int openErrorReports()
{
    return static_cast<int>(openReports().size());
}

void Procedure::report(const QString& description) const
{
    showErrorReport(description, m_window, m_operation, m_step);
}
