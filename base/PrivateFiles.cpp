// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <filesystem>

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

namespace
{

std::filesystem::path nativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions)
{
    // Beside the target, so that the rename stays on one file system and
    // readers see the old file or the new one, never half of one.
    const QString temporary =
        path + QStringLiteral(".%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    const bool written =
        file.setPermissions(permissions) && file.write(bytes) == bytes.size() && file.flush();
    file.close();
    std::error_code error;
    if (written && file.error() == QFileDevice::NoError) {
        std::filesystem::rename(nativePath(temporary), nativePath(path), error);
        if (!error) {
            return true;
        }
    }
    QFile::remove(temporary);
    return false;
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
