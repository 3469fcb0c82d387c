// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/TempUnit.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// Scheme, host and port of the weather service: TEPORA_SERVICE_URL when set
// (tests, demos, benchmarks), else the real service over https.
QString serviceBaseUrl();

// Location and key as UTF-8 percent-escapes; letters, digits, "-._~" and the
// comma stay as they are, so "San Diego CA" becomes "San%20Diego%20CA".
QString percentEncode(const QString& text);

// The current-weather request for one location and key.
QString weatherUrl(const QString& baseUrl, const QString& location, const QString& apiKey);

// The two error markers of the service, found in the answer in any letter case.
bool hasInvalidKeyMarker(const QString& answer);
bool hasUnknownCityMarker(const QString& answer);

// The text after `"temp":` up to the next comma or closing brace, if both are
// there. Whitespace around the colon is allowed too.
std::optional<QString> temperatureText(const QString& answer);

// The number text as kelvin, written with a point or a comma, read with the
// user's decimal separator. Raises Failure::typeMismatch() when it is no number.
double kelvinFromText(const QString& numberText);

// The place name after `"name":` up to the next comma, quotes removed and
// trimmed; nothing when the marker or the comma is missing. Shown as it comes
// from the service, so it goes through oneLine() with kMaxPlaceNameChars.
std::optional<QString> placeName(const QString& answer);
constexpr qsizetype kMaxPlaceNameChars = 64;

// Text from outside made fit to show on one line: control characters, line
// separators and bidirectional overrides removed, trimmed, and cut to at most
// `maxChars` characters ending in "…".
QString oneLine(const QString& text, qsizetype maxChars);

// How long a Retry-After header asks to wait, in seconds from `now`: a number
// of seconds or an HTTP date, at most an hour, never negative; nothing when
// the value is neither.
std::optional<qint64> retryAfterSeconds(const QByteArray& value, const QDateTime& now);

// Kelvin to the unit, offset 273; with no unit the value is 0.
double convertKelvin(double kelvin, TempUnit unit);

// The reading for a kelvin value: converted and rounded half to even. Kelvin
// below 150 or above 400 is no temperature found outdoors (a number cut
// short, such as "1,290.15" read as 1), and a result
// that would pass for one of the reasons above, or that is too large to show
// as a whole number, is no reading either (NoReadingTemp).
double readingFromKelvin(double kelvin, TempUnit unit);

// The decimal separator of the user's number format.
QString DecimalSeparator();

// The unit suffix: a space, a degree sign and F or C; empty with no unit.
QString unitSuffix(TempUnit unit);

// Messages for the two errors the service explains.
QString invalidKeyMessage(const QString& apiKeyButtonCaption);
QString unknownCityMessage();
QString citySearchPage();
