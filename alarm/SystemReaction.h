// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/SystemState.h"

// How the monitor follows the machine's sleep and its network.

// What the system says at one moment.
struct SystemView {
    bool asleep = false;
    Network network = Network::Unknown;
    bool operator==(const SystemView&) const = default;
};

// What the monitor does when the system's word changes.
struct SystemReaction {
    bool abandon = false;            // the transfer under way ends now, unreported
    bool refreshNow = false;         // a quiet refresh at once (offline it only says the reading waits)
    bool refreshAfterResume = false; // a quiet refresh kResumeDelayMs from now
    bool operator==(const SystemReaction&) const = default;
};

// The network comes back a few seconds after a resume: a request at once
// would fail.
inline constexpr int kResumeDelayMs = 5000;

SystemReaction systemReaction(const SystemView& before, const SystemView& after);

// Whether a poll asks the service now. `resumeRefreshDue`: the refresh after
// a resume is still to come, and a tick before it would only fail.
bool pollAsks(const SystemView& view, bool resumeRefreshDue);
