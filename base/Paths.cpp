#include "base/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

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

QString tempFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    return temp.isEmpty() ? QDir::tempPath() : QDir::cleanPath(temp);
}

QString converterPath()
{
#ifdef Q_OS_WIN
    return tempFolder() + QStringLiteral("/nconvert.exe");
#else
    return tempFolder() + QStringLiteral("/nconvert");
#endif
}

namespace {

bool canWriteIn(const QString& folder)
{
    // Ask the file system rather than the permission bits: read-only mounts
    // and ACLs only show when one tries.
    QTemporaryFile probe(folder + QStringLiteral("/.tepora-write-test-XXXXXX"));
    return probe.open();
}

} // namespace

QString iconFolder(const QString& programFolder)
{
    if (canWriteIn(programFolder)) {
        return programFolder;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/Ravensel/Tepora");
    QDir().mkpath(cache);
    return cache;
}
