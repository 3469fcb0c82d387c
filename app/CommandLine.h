// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>

#include <optional>

// The program takes no arguments of its own but --help and --version. Each
// check returns the status to end with at once, or nothing to go on.

// Before QApplication exists, so that help and version need no display and
// touch neither settings nor network. Anything else passes: Qt has yet to take
// its own options (-platform, -session...).
std::optional<int> answerHelpOrVersion(int argc, char** argv);

// Once QApplication has taken Qt's options: whatever is left is a mistake,
// reported in one short message on stderr (status 2).
std::optional<int> rejectOtherArguments(const QStringList& arguments);
