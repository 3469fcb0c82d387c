#include "tray/Converter.h"

#include "base/Failure.h"
#include "base/Paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QResource>
#include <QSaveFile>

QByteArray converterBytes()
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
