// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace PrivateFiles
{

bool makeFolder(const QString& path)
{
    const QString target = QDir::cleanPath(QDir(path).absolutePath());
#ifdef Q_OS_WIN
    // New folders take the profile's ACL, which is the user's already.
    QDir().mkpath(target);
#else
    // mkpath() would make each missing part 0777 less the umask.
    QString part;
    for (const QString& name : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        part += QLatin1Char('/') + name;
        if (!QFileInfo(part).isDir()) {
            QDir().mkdir(part, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
#endif
    return QFileInfo(target).isDir();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // On Linux the copy being written has no name until the commit, so no one
    // else can open it before its mode is set here.
    return file.open(QIODevice::WriteOnly) && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
           file.write(bytes) == bytes.size() && file.commit();
}

bool isOwnFile(const QString& path)
{
    const QFileInfo info(path);
#ifdef Q_OS_WIN
    return info.isFile();
#else
    return info.isFile() && info.ownerId() == ::geteuid();
#endif
}

} // namespace PrivateFiles
