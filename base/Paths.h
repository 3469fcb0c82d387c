// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// True when the file system can tell the last-modification time of `path`.
// Never fails.
bool PathExists(const QString& path);

// The folder of the running program, without a trailing separator.
QString programDir();

// A read-only data file ("reveille.mp3", "HAND-M.CUR", "x/o.cjs"): beside the
// program first, then in the installed data folder (../share/tepora). The path
// beside the program when neither exists.
QString dataFilePath(const QString& programFolder, const QString& name);
