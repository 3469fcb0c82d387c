// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <memory>

class QSettings;

// Where this platform keeps the settings, behind one small interface so that
// the store itself has no platform branches.
namespace SettingsLocation
{

// The values of application "Ravensel", opened afresh; null when the store
// is there but cannot be read as text.
std::unique_ptr<QSettings> open();

// Readable text for the place: a file path or a registry path.
QString describe();

// The largest settings file read. The program's own is a few hundred bytes,
// and a read goes through the whole file, at every poll.
inline constexpr qint64 kMaxStoreBytes = 1024 * 1024;

// Why the store is neither read nor written in this run, for the user; empty
// while it is used. A store once refused stays so until the program ends,
// so that nothing is ever written over it.
QString refusal();

// Before a write: raises Failure::pathFileAccess() when writing would lose
// what is there; makes sure a new store is private to the user.
void prepareWrite();

// After a write: the store stays private to the user.
void finishWrite();

} // namespace SettingsLocation
