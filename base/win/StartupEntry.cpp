// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/modStartUp.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace
{

// The program's folder joined with the file name; QDir adds no second
// separator after a root folder.
QString programFilePath(const QString& fileName, const RunEntryPlace& place)
{
    return QDir(QFileInfo(place.programPath).absolutePath()).filePath(fileName);
}

// The current user's key: users may not write the machine-wide one.
const QString kRunKey =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

} // namespace

QString RunEntryPlace::defaultAutostartFolder()
{
    return {};
}

bool WriteRunEntry(const QString& fileName, const RunEntryPlace& place)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    run.setValue(fileName, QDir::toNativeSeparators(programFilePath(fileName, place)));
    run.sync();
    return run.status() == QSettings::NoError;
}

bool DeleteRunEntry(const QString& fileName, const RunEntryPlace&)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    if (!run.contains(fileName)) {
        return true;
    }
    run.remove(fileName);
    run.sync();
    return run.status() == QSettings::NoError && !run.contains(fileName);
}
