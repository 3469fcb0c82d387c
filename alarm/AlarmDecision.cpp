// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/AlarmDecision.h"

#include "weather/WeatherText.h"

bool targetReached(double cur, double target, Direction direction, double lastAlarmTemp)
{
    if (cur <= InvalidKeyTemp || cur == lastAlarmTemp) {
        return false;
    }
    switch (direction) {
    case Direction::Rises:
        return target <= cur;
    case Direction::Falls:
        return target >= cur;
    case Direction::Both:
        return (target <= cur && cur >= lastAlarmTemp) || (target >= cur && cur <= lastAlarmTemp);
    case Direction::None:
        break;
    }
    return false;
}
