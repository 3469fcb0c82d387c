// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/PanelTexts.h"

#include "base/Convert.h"
#include "base/Failure.h"

namespace
{
const QString kCrLf = QStringLiteral("\r\n");
const QString kDegreesF = QString(QChar(176)) + QLatin1Char('F');
} // namespace

QString directionHelpText(const QString& risesCaption, const QString& fallsCaption)
{
    return risesCaption + QStringLiteral(" means:") + kCrLf +
           QStringLiteral("If the actual temperature outside rises from 69") + kDegreesF +
           QStringLiteral(" to target temperature of 70") + kDegreesF +
           QStringLiteral(" then the alarm will go off.") + kCrLf + kCrLf + fallsCaption +
           QStringLiteral(" means:") + kCrLf +
           QStringLiteral("If the actual temperature outside drops from 69") + kDegreesF +
           QStringLiteral(" to target temperature of 68") + kDegreesF +
           QStringLiteral(" then the alarm will go off.");
}

QString testAlarmHelpText()
{
    return QStringLiteral(
        "This is what the alarm will look like when it goes off in case you are wondering.");
}

QString locationPrompt()
{
    // The parenthesis stays open, as it always has.
    return QStringLiteral("Please enter your location: ") + kCrLf + kCrLf +
           QStringLiteral("(For example: Londonderry, US or San Diego or Paris, France");
}

bool targetIsNumber(const QString& targetText)
{
    try {
        toDouble(targetText);
        return true;
    } catch (const Failure&) {
        return false;
    }
}

QString targetNote(const QString& targetText)
{
    if (targetIsNumber(targetText)) {
        return QString();
    }
    // What the user typed, kept short: the line has room for one sentence.
    QString shown = targetText.simplified();
    if (shown.size() > 12) {
        shown = shown.left(11) + QStringLiteral("…");
    }
    return QStringLiteral(" The alarm is off: the target \"%1\" is not a number.").arg(shown);
}
