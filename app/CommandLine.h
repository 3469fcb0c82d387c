// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>

#include <optional>

// The program takes no arguments of its own but --help and --version, beside
// the options Qt takes itself (-platform, -session...). Checked before
// QApplication exists, so that help, version and mistakes need no display and
// touch neither settings nor network. Returns the status to end with at once
// (0 after help or version, 2 after a mistake reported on stderr), or nothing
// to go on.
std::optional<int> answerCommandLine(int argc, char** argv);
