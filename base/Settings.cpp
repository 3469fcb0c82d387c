#include "base/Settings.h"

#include "base/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

namespace {

const QString kSection = QStringLiteral("Tepora");

#ifdef Q_OS_WIN
// Where the program always kept its values on Windows.
const QString kRegistryPath =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Ravensel");

std::unique_ptr<QSettings> openStore()
{
    return std::make_unique<QSettings>(kRegistryPath, QSettings::NativeFormat);
}
#else
QString iniPath()
{
    // $XDG_CONFIG_HOME/Ravensel.ini, else ~/.config/Ravensel.ini; read afresh
    // every time so that a changed environment (tests) is honoured.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Ravensel.ini");
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

// The file holds the API key: only its owner may read it. QSettings writes
// through QSaveFile, which keeps the permissions of the file it replaces, so
// creating the file 0600 up front keeps every later version 0600 too.
void ensurePrivateFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.exists()) {
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly)) {
            file.close();
        }
    } else if (file.permissions() & ~(kOwnerOnly | QFile::ReadUser | QFile::WriteUser)) {
        file.setPermissions(kOwnerOnly);
    }
}

std::unique_ptr<QSettings> openStore()
{
    return std::make_unique<QSettings>(iniPath(), QSettings::IniFormat);
}
#endif

QString keyPath(const QString& key)
{
    return kSection + QLatin1Char('/') + key;
}

} // namespace

QString GetSetting(const QString& key, const QString& defaultValue)
{
    auto store = openStore();
    const QVariant value = store->value(keyPath(key));
    if (!value.isValid() || store->status() == QSettings::AccessError) {
        return defaultValue;
    }
    // A hand-edited file can hold a list ("a, b"); read it back as the text it was.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QStringLiteral(", "));
    }
    return value.toString();
}

QString GetSetting(const QString& key, int defaultValue)
{
    return GetSetting(key, QString::number(defaultValue));
}

void SaveSetting(const QString& key, const QString& text)
{
#ifndef Q_OS_WIN
    // A file we cannot read would be written back holding this one key only:
    // refuse rather than lose the others.
    const QFileInfo info(iniPath());
    if (info.exists() && !info.isReadable()) {
        throw Failure::pathFileAccess();
    }
    ensurePrivateFile(iniPath());
#endif
    auto store = openStore();
    // The same text again (every load writes back what it read) is no change:
    // the file is not rewritten.
    const QVariant stored = store->value(keyPath(key));
    if (stored.typeId() == QMetaType::QString && stored.toString() == text && store->status() == QSettings::NoError) {
        return;
    }
    store->setValue(keyPath(key), text);
    store->sync();
    if (store->status() == QSettings::AccessError) {
        throw Failure::pathFileAccess();
    }
#ifndef Q_OS_WIN
    QFile file(iniPath());
    if (file.permissions() & ~(kOwnerOnly | QFile::ReadUser | QFile::WriteUser)) {
        file.setPermissions(kOwnerOnly);
    }
#endif
}

QString settingsLocation()
{
#ifdef Q_OS_WIN
    return kRegistryPath + QLatin1Char('\\') + kSection;
#else
    return iniPath();
#endif
}
