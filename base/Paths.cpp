// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

bool PathExists(const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString programDir()
{
    return QCoreApplication::applicationDirPath();
}

QString dataFilePath(const QString& programFolder, const QString& name)
{
    const QString beside = programFolder + QLatin1Char('/') + name;
    if (PathExists(beside)) {
        return beside;
    }
    const QString installed = QDir::cleanPath(programFolder + QStringLiteral("/../share/tepora/") + name);
    if (PathExists(installed)) {
        return installed;
    }
    return beside;
}
