// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/SettingsLocation.h"

#include "base/Failure.h"
#include "base/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

namespace
{

QString iniPath()
{
    // $XDG_CONFIG_HOME/Ravensel.ini, else ~/.config/Ravensel.ini; read afresh
    // every time so that a changed environment (tests) is honoured.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Ravensel.ini");
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

bool isUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// A line that is not UTF-8 comes from an editor that saved Latin-1; lines that
// are UTF-8 already stay as they are.
QByteArray fromLatin1Lines(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines) {
        if (!isUtf8(line)) {
            line = QString::fromLatin1(line).toUtf8();
        }
    }
    return lines.join('\n');
}

// QSettings reads the file as UTF-8 and would write back U+FFFD for every byte
// that is not, destroying those values (the key among them) at the first
// write of any other. Such a file is converted once, its bytes kept in
// "Ravensel.ini.bak". False when the file cannot be read as UTF-8.
bool readableAsUtf8(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return true;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // Sized by the file, not by the limit: a buffer of the limit's size at
    // every read kept the heap two megabytes larger for the whole run.
    QByteArray bytes;
    bytes.reserve(qMin(info.size(), SettingsLocation::kMaxStoreBytes) + 1);
    while (bytes.size() <= SettingsLocation::kMaxStoreBytes) {
        char chunk[4096];
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, got);
    }
    if (bytes.size() > SettingsLocation::kMaxStoreBytes) {
        return false;
    }
    if (isUtf8(bytes)) {
        return true;
    }
    const QString backup = path + QStringLiteral(".bak");
    if (!PrivateFiles::writeFile(backup, bytes) || !PrivateFiles::writeFile(path, fromLatin1Lines(bytes))) {
        return false;
    }
    qWarning("The settings file was not UTF-8: read it as Latin-1, kept the original in %s",
             qUtf8Printable(backup));
    return true;
}

} // namespace

namespace SettingsLocation
{

std::unique_ptr<QSettings> open()
{
    if (!readableAsUtf8(iniPath())) {
        return nullptr;
    }
    return std::make_unique<QSettings>(iniPath(), QSettings::IniFormat);
}

QString describe()
{
    return iniPath();
}

QString refusal()
{
    static QSet<QString> refused;
    const QString path = iniPath();
    if (!refused.contains(path)) {
        const QFileInfo info(path);
        if (!info.isFile() || info.size() <= kMaxStoreBytes) {
            return {};
        }
        refused.insert(path);
    }
    return QStringLiteral("The settings file is too large to be Tepora's (over 1 MiB): %1\n\n"
                          "It is left as it is. Tepora uses its default settings and saves no change "
                          "until it is started again.")
        .arg(path.left(512));
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
    if (!readableAsUtf8(path) || !PrivateFiles::makeFolder(info.absolutePath())) {
        throw Failure::pathFileAccess();
    }
    // The file holds the API key: only its owner may read it. QSettings writes
    // through QSaveFile, which keeps the permissions of the file it replaces,
    // so creating the file 0600 up front keeps every later version 0600 too.
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
