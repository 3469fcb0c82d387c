// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Convert.h"

#include "base/Failure.h"

#include <QLocale>

#include <cfenv>
#include <cmath>
#include <limits>

double toDouble(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    const double value = QLocale().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value)) {
        throw Failure::typeMismatch();
    }
    return value;
}

std::int32_t toLong(const QString& text)
{
    const double rounded = roundHalfEven(toDouble(text));
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max()) {
        throw Failure::overflow();
    }
    return static_cast<std::int32_t>(rounded);
}

double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode; make sure it is to-nearest-even.
    const int previous = std::fegetround();
    if (previous != FE_TONEAREST) {
        std::fesetround(FE_TONEAREST);
    }
    const double rounded = std::nearbyint(value);
    if (previous != FE_TONEAREST) {
        std::fesetround(previous);
    }
    return rounded == 0.0 ? 0.0 : rounded; // no "-0"
}

QString generalNumber(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    if (value == 0.0) {
        value = 0.0; // drop a negative zero
    }
    return locale.toString(value, 'g', 15);
}
