// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

#include <functional>

class QObject;

// Everything the program times goes through here: deadlines, the balloon's
// stay, the converter's time-out, how long the service asked us to wait.
// Tests install a clock they move by hand instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds on a clock that never goes back.
    virtual qint64 nowMs() const = 0;
    // Runs `action` once after `ms`, unless `context` is gone by then; the
    // wait ends with the context, so a gone one costs no wake-up.
    virtual void after(int ms, QObject* context, std::function<void()> action) = 0;

    static Clock& instance();
    // Replaces the clock (tests); nullptr goes back to the system's. The
    // caller keeps ownership.
    static void install(Clock* clock);
};
