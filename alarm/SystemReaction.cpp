// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/SystemReaction.h"

namespace
{

// A network that may reach the service; unknown is asked as always.
bool mayReach(Network network)
{
    return network == Network::Unknown || network == Network::Limited || network == Network::Online;
}

} // namespace

SystemReaction systemReaction(const SystemView& before, const SystemView& after)
{
    if (after.asleep) {
        // What the network does meanwhile is looked at on resume.
        return SystemReaction{.abandon = !before.asleep};
    }
    if (before.asleep) {
        // Offline, the status line says so at once; else the reading comes
        // once the network has had time to come back, or as soon as the
        // system says it is there.
        if (after.network == Network::Offline) {
            return SystemReaction{.refreshNow = true};
        }
        return SystemReaction{.refreshAfterResume = true};
    }
    if (after.network == before.network) {
        return {};
    }
    if (after.network == Network::Offline) {
        return SystemReaction{.abandon = true, .refreshNow = true};
    }
    // Back from no network or from connecting: read at once.
    const bool back = after.network == Network::Limited || after.network == Network::Online;
    const bool wasAway = before.network == Network::Offline || before.network == Network::Changing;
    return SystemReaction{.refreshNow = back && wasAway};
}

bool pollAsks(const SystemView& view, bool resumeRefreshDue)
{
    return !view.asleep && !resumeRefreshDue && mayReach(view.network);
}
