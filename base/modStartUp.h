#pragma once

#include "base/RegStuff.h"

// Makes the program start when the user logs in, or stops that. Both act on
// the running program's own file and report whether they succeeded, so the
// caller can tell the user and undo the choice.
[[nodiscard]] bool AddToStartup(const RunEntryPlace& place = {});
[[nodiscard]] bool RemoveFromStartup(const RunEntryPlace& place = {});
