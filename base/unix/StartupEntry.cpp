// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/modStartUp.h"

#include "base/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace
{

// The program's folder joined with the file name; QDir adds no second
// separator after a root folder.
QString programFilePath(const QString& fileName, const RunEntryPlace& place)
{
    return QDir(QFileInfo(place.programPath).absolutePath()).filePath(fileName);
}

const QString kEntryName = QStringLiteral("tepora.desktop");

QString entryPath(const RunEntryPlace& place)
{
    return QDir(place.autostartFolder).filePath(kEntryName);
}

// One argument of an Exec line: quoted when it holds a reserved character,
// with '"', '`', '$' and '\' escaped inside the quotes, and '%' doubled so
// that no field code is read into it.
QString execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    static const QString escapedInQuotes = QStringLiteral("\"`$\\");
    const bool quote =
        std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString out;
    for (const QChar c : argument) {
        if (quote && escapedInQuotes.contains(c)) {
            out += QLatin1Char('\\');
        }
        out += c;
    }
    out.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return quote ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

// The escapes every string value of a desktop entry takes, applied over the
// quoting above.
QString escapeStringValue(const QString& value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray desktopEntry(const QString& programPath)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Tepora\n"
                                        "Comment=Current temperature in the system tray\n"
                                        "Exec=%1\n"
                                        "Icon=tepora\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeStringValue(execArgument(programPath)));
    return text.toUtf8();
}

} // namespace

QString RunEntryPlace::defaultAutostartFolder()
{
    // $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

bool WriteRunEntry(const QString& fileName, const RunEntryPlace& place)
{
    if (!PrivateFiles::makeFolder(place.autostartFolder)) {
        return false;
    }
    // Written whole or not at all: a half-written entry could start anything.
    // The session only reads it; 0644 whatever the umask, so that no one else
    // can change what it starts.
    QSaveFile file(entryPath(place));
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther) &&
           file.write(desktopEntry(programFilePath(fileName, place))) >= 0 && file.commit();
}

bool DeleteRunEntry(const QString&, const RunEntryPlace& place)
{
    const QFileInfo entry(entryPath(place));
    if (!entry.exists() && !entry.isSymLink()) {
        return true;
    }
    return QFile::remove(entry.filePath());
}
