// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Which way the temperature must go to raise the alarm.
enum class Direction { None, Rises, Falls, Both };

// Whether a fresh reading `cur` reaches `target`, given the reading at which
// the alarm last fired. A reading equal to `lastAlarmTemp` never reaches; only
// Both looks at which way the temperature moved. Sentinel readings (-5000 and
// below) never reach.
bool targetReached(double cur, double target, Direction direction, double lastAlarmTemp);
