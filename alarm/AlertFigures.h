// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/TempUnit.h"

#include <QString>

// What an alert shows: the place, the target and the reading that reached it.
struct AlertFigures {
    QString location;
    double target = 0;
    double current = 0;
    TempUnit unit = TempUnit::None;
};
