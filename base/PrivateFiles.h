// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

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

// True when `path` is a folder nobody else can change, nor the way to it: the
// folder is the user's and only the user may write to it, and every folder
// above it is the user's or root's and lets nobody else rename what is in it
// (writable by others only with the sticky bit, as /tmp). A file the program
// writes into any other folder could be swapped or read by someone else.
bool isPrivateFolder(const QString& path);

// A file opened to read without following a link in its place and without
// waiting on a FIFO or device there: open only when it is a regular file that
// belongs to the user.
class OwnFile
{
public:
    explicit OwnFile(const QString& path);
    ~OwnFile();
    OwnFile(const OwnFile&) = delete;
    OwnFile& operator=(const OwnFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Nothing of that name is there at all.
    bool isMissing() const { return m_missing; }
    qint64 size() const { return m_size; }
    // Someone besides the user may change it.
    bool othersMayWrite() const;
    // Set on the open file, so never on what a link points to.
    bool setPermissions(QFileDevice::Permissions permissions);
    // The whole file; nothing when it is over `maxBytes` or cannot be read.
    std::optional<QByteArray> readAll(qint64 maxBytes);

private:
    int m_fd = -1;
    bool m_missing = false;
    qint64 m_size = 0;
    unsigned m_mode = 0;
};

} // namespace PrivateFiles
