// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// The program's own folders and files are the user's alone (0700, 0600)
// whatever the umask: they hold the API key and pictures that are run
// through the converter.
namespace PrivateFiles
{

// Makes `path` a folder, creating each missing part 0700. Folders that exist
// already keep their mode: they may not be ours. False when `path` is not a
// folder afterwards.
bool makeFolder(const QString& path);

// Writes `bytes` to `path` whole or not at all, readable by the user alone from
// the first byte. A file that is there stays as it was when the write fails.
bool writeFile(const QString& path, const QByteArray& bytes);

// As writeFile, for files made again at every refresh and worth nothing after
// a crash (pictures, the converter): not forced out to the disk, which would
// stall the program and wake the disk once a minute. `path` must be in one of
// the user's own folders.
bool replaceFile(const QString& path, const QByteArray& bytes,
                 QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner);

// True for a regular file (links followed) that belongs to the user: the only
// kind of thing whose mode the program may change.
bool isOwnFile(const QString& path);

} // namespace PrivateFiles
