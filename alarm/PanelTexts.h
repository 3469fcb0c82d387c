// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Texts of the alarm settings panel; CR LF line breaks as everywhere in the
// program's boxes.

// The "?" beside the directions. The example numbers are fixed on purpose:
// they explain the idea, not the user's own target.
QString directionHelpText(const QString& risesCaption, const QString& fallsCaption);

// The "?" beside "Test Alarm".
QString testAlarmHelpText();

// The prompt of "Change Location".
QString locationPrompt();

// The target the user typed reads as a number.
bool targetIsNumber(const QString& targetText);

// Said after the reading while the target is no number (the alarm is off
// then); empty when it is one.
QString targetNote(const QString& targetText);
