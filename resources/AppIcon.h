// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>

// The blue "R" on light cyan at every drawn size (16 to 256 px), from the
// resources compiled into tepora_gui.
QIcon applicationIcon();
