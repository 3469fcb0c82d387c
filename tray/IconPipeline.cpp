#include "tray/IconPipeline.h"

#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/Paths.h"
#include "base/ProcessRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QResource>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString tempFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    return temp.isEmpty() ? QDir::tempPath() : QDir::cleanPath(temp);
}

bool canWriteIn(const QString& folder)
{
    // Ask the file system rather than the permission bits: read-only mounts
    // and ACLs only show when one tries.
    QTemporaryFile probe(folder + QStringLiteral("/.tepora-write-test-XXXXXX"));
    return probe.open();
}

} // namespace

IconPipeline::IconPipeline(const QString& programFolder, int converterTimeoutMs)
    : m_programFolder(programFolder), m_timeoutMs(converterTimeoutMs)
{
}

QByteArray IconPipeline::converterBytes()
{
    const QResource resource(QStringLiteral(":/tools/nconvert"));
    if (!resource.isValid()) {
        throw Failure(QStringLiteral("Resource not found"));
    }
    // Stored uncompressed, the bytes are read straight from the program's
    // image instead of being unpacked into a megabyte of heap.
    if (resource.compressionAlgorithm() == QResource::NoCompression) {
        return QByteArray::fromRawData(reinterpret_cast<const char*>(resource.data()), resource.size());
    }
    return resource.uncompressedData();
}

QString IconPipeline::converterPath()
{
#ifdef Q_OS_WIN
    return tempFolder() + QStringLiteral("/nconvert.exe");
#else
    return tempFolder() + QStringLiteral("/nconvert");
#endif
}

void IconPipeline::deployConverter(const QByteArray& bytes) const
{
    WriteNewFile(bytes, converterPath());
}

void IconPipeline::removeConverter() const
{
    RemoveFile(converterPath());
}

QString IconPipeline::folder() const
{
    if (m_folder.isEmpty()) {
        if (canWriteIn(m_programFolder)) {
            m_folder = m_programFolder;
        } else {
            m_folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                       QStringLiteral("/Ravensel/Tepora");
            QDir().mkpath(m_folder);
        }
    }
    return m_folder;
}

QIcon IconPipeline::convert(Procedure& p, const QImage& drawn) const
{
    const QString bmp = bitmapPath();
    const QString ico = iconPath();
    QIcon icon;
    p.run(114, [&] {
        if (!drawn.save(bmp, "BMP")) {
            throw Failure::pathFileAccess();
        }
    });
    p.run(116, [&] {
        // An icon left from an earlier refresh must never pass for this one.
        QFile::remove(ico);
        RunAndWait(converterPath(), {QStringLiteral("-out"), QStringLiteral("ico"), bmp}, 0, m_timeoutMs);
    });
    p.run(118, [&] {
        if (!PathExists(ico)) {
            throw Failure::fileNotFound();
        }
        const QByteArray format = QImageReader(ico).format();
        if (format.isEmpty()) {
            throw Failure(QStringLiteral("Invalid picture"));
        }
        // Judge the content, not the name: a renamed bitmap is still a bitmap.
        if (format == "ico") {
            icon = QIcon(ico);
        }
    });
    // Without the converter's icon the tray still gets this reading.
    return icon.isNull() ? QIcon(QPixmap::fromImage(drawn)) : icon;
}

void WriteNewFile(const QByteArray& bytes, const QString& path)
{
    QCoreApplication::processEvents();
    if (PathExists(path)) {
        return;
    }
    // Written under a temporary name and renamed, so a second copy of the
    // program never starts a half-written converter.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw Failure::pathFileAccess();
    }
    file.write(bytes);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                        QFile::WriteUser | QFile::ExeUser);
    if (!file.commit()) {
        throw Failure::pathFileAccess();
    }
}

void RemoveFile(const QString& path)
{
    QCoreApplication::processEvents();
    if (QFile::remove(path)) {
        return;
    }
    // A read-only file: make it writable and try once more.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::WriteUser);
    QFile::remove(path);
}
