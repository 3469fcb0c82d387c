// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Where the start-up entry goes and which program it starts. The defaults are
// the running program and the user's autostart folder; tests point both
// elsewhere.
struct RunEntryPlace {
    QString programPath = defaultProgramPath();
    QString autostartFolder = defaultAutostartFolder(); // not used on Windows

    static QString defaultProgramPath();
    static QString defaultAutostartFolder();
};

// Makes the program start when the user logs in, or stops that. Both act on
// the running program's own file and report whether they succeeded, so the
// caller can tell the user and undo the choice.
[[nodiscard]] bool AddToStartup(const RunEntryPlace& place = {});
[[nodiscard]] bool RemoveFromStartup(const RunEntryPlace& place = {});

// The user's own start-up entry, one per program: on Windows a value named
// `fileName` under the current user's Run key; elsewhere "tepora.desktop" in
// the autostart folder. The entry starts the file `fileName` in the folder of
// `place.programPath`. Each platform has its own file for these.

// Creates or replaces the entry. False when it could not be written.
[[nodiscard]] bool WriteRunEntry(const QString& fileName, const RunEntryPlace& place = {});

// Deletes the entry; true when there was none. False when it is still there.
[[nodiscard]] bool DeleteRunEntry(const QString& fileName, const RunEntryPlace& place = {});
