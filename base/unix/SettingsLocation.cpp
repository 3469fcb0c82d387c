#include "base/SettingsLocation.h"

#include "base/Failure.h"
#include "base/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString iniPath()
{
    // $XDG_CONFIG_HOME/Ravensel.ini, else ~/.config/Ravensel.ini; read afresh
    // every time so that a changed environment (tests) is honoured.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Ravensel.ini");
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

void keepPrivate(const QString& path)
{
    // A folder or someone else's file in its place is left alone.
    if (!PrivateFiles::isOwnFile(path)) {
        return;
    }
    QFile file(path);
    if (file.permissions() & ~(kOwnerOnly | QFile::ReadUser | QFile::WriteUser)) {
        file.setPermissions(kOwnerOnly);
    }
}

} // namespace

namespace SettingsLocation {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(iniPath(), QSettings::IniFormat);
}

QString describe()
{
    return iniPath();
}

void prepareWrite()
{
    const QString path = iniPath();
    const QFileInfo info(path);
    // A folder in the file's place is not ours to change. A file we cannot
    // read would be written back holding this one key only. Either way:
    // refuse rather than lose what is there.
    if (info.exists() && (!info.isFile() || !info.isReadable())) {
        throw Failure::pathFileAccess();
    }
    // The file holds the API key: only its owner may read it. QSettings writes
    // through QSaveFile, which keeps the permissions of the file it replaces,
    // so creating the file 0600 up front keeps every later version 0600 too.
    PrivateFiles::makeFolder(info.absolutePath());
    QFile file(path);
    if (!file.exists()) {
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly)) {
            file.close();
        }
    } else {
        keepPrivate(path);
    }
}

void finishWrite()
{
    keepPrivate(iniPath());
}

} // namespace SettingsLocation
