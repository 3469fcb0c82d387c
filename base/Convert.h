// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>

// Text to number the way the user reads numbers: with the default locale
// (the user's, unless a test sets another), surrounding blanks ignored.
// A text that is no number raises Failure::typeMismatch().
double toDouble(const QString& text);

// As toDouble, rounded half to even into a signed 32-bit integer; a value
// outside that range raises Failure::overflow().
std::int32_t toLong(const QString& text);

// Rounds to a whole number, halves to the even neighbour (36.5 -> 36, 37.5 -> 38).
double roundHalfEven(double value);

// A number in its general form: up to 15 significant digits, no trailing zeros,
// no group separators, the user's decimal separator, a minus sign when negative.
QString generalNumber(double value);
