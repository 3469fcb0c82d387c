// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/IconPipeline.h"

#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/Paths.h"
#include "base/PrivateFiles.h"
#include "base/ProcessRunner.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QResource>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace
{

constexpr QFile::Permissions kOwnFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kOwnProgram = kOwnFile | QFile::ExeOwner;
// A 16 to 48 pixel icon is a few kilobytes; anything near this is no icon of ours.
constexpr qint64 kMaxIconBytes = 1024 * 1024;

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Ravensel/Tepora");
}

// Where the converter goes. The program runs whatever file has its name
// there, so the folder must be one nobody else can write.
QString converterFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (PrivateFiles::isPrivateFolder(temp)) {
        return QDir::cleanPath(temp);
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (PrivateFiles::isPrivateFolder(runtime)) {
        return QDir::cleanPath(runtime) + QStringLiteral("/tepora");
    }
    return cacheFolder();
}

// Creates the folder (and its parents) for this user alone, or checks that an
// existing one is the user's alone, and so is the way to it. Its mode is never
// mended: whatever others put in it meanwhile would stay.
void makeOwnFolder(const QString& folder)
{
    if (!QFileInfo::exists(folder)) {
        PrivateFiles::makeFolder(folder);
    }
    if (!PrivateFiles::isPrivateFolder(folder)) {
        throw Failure::pathFileAccess();
    }
}

} // namespace

IconPipeline::IconPipeline(int converterTimeoutMs) : m_timeoutMs(converterTimeoutMs) {}

bool isUsersOwn(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return false;
    }
#ifdef Q_OS_UNIX
    if (info.ownerId() != ::getuid()) {
        return false;
    }
#endif
    return !(info.permissions() & (QFile::WriteGroup | QFile::WriteOther));
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
    return converterFolder() + QStringLiteral("/nconvert.exe");
#else
    return converterFolder() + QStringLiteral("/nconvert");
#endif
}

void IconPipeline::deployConverter(const QByteArray& bytes)
{
    const QString path = converterPath();
    makeOwnFolder(QFileInfo(path).path());
    // Renamed over whatever has the name, at every start: a copy left from an
    // earlier run, or put there by anyone, is never taken for this one.
    if (!PrivateFiles::replaceFile(path, bytes, kOwnProgram)) {
        throw Failure::pathFileAccess();
    }
    m_converter = bytes;
    m_converterPath = path;
}

void IconPipeline::removeConverter() const
{
    if (!m_converterPath.isEmpty()) {
        RemoveFile(m_converterPath);
    }
}

bool IconPipeline::converterIsOurs() const
{
    if (m_converter.isEmpty()) {
        return false;
    }
    const auto holdsOurBytes = [this] {
        PrivateFiles::OwnFile file(m_converterPath);
        return file.isOpen() && !file.othersMayWrite() && file.size() == m_converter.size() &&
               file.readAll(m_converter.size()) == m_converter;
    };
    if (holdsOurBytes()) {
        return true;
    }
    // Changed since start: written again, never run as found.
    return PrivateFiles::replaceFile(m_converterPath, m_converter, kOwnProgram) && holdsOurBytes();
}

QString IconPipeline::folder() const
{
    if (!m_folder) {
        try {
            makeOwnFolder(cacheFolder());
            m_folder = cacheFolder();
        } catch (const Failure&) {
            m_folder = QString();
        }
    }
    return *m_folder;
}

QCoro::Task<QIcon> IconPipeline::convert(Procedure& p, QImage drawn) const
{
    if (folder().isEmpty()) {
        // Told once: the tray shows every reading all the same, drawn here.
        if (!m_folderReported) {
            m_folderReported = true;
            p.run(114, [] {
                throw Failure(QStringLiteral("The folder for the icon files is not yours alone, so none are "
                                             "written: ") +
                              cacheFolder().left(512));
            });
        }
        co_return QIcon(QPixmap::fromImage(drawn));
    }
    const QString bmp = bitmapPath();
    const QString ico = iconPath();
    QIcon icon;
    bool written = false;
    p.run(114, [&] {
        // Whole or not at all: a full disk keeps the last good picture.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly) || !drawn.save(&buffer, "BMP") ||
            !PrivateFiles::replaceFile(bmp, bytes, kOwnFile)) {
            throw Failure::pathFileAccess();
        }
        written = true;
    });
    co_await p.step(116, [&]() -> QCoro::Task<> {
        // An icon left from an earlier refresh must never pass for this one.
        QFile::remove(ico);
        // Only the bytes deployed at start are run, and an older picture is
        // not converted for this reading.
        if (written && converterIsOurs()) {
            // Built apart: GCC 12 cannot take a braced list inside co_await.
            QStringList arguments;
            arguments << QStringLiteral("-out") << QStringLiteral("ico") << bmp;
            co_await RunAndWait(m_converterPath, arguments, 0, m_timeoutMs, &m_stop);
        }
    });
    p.run(118, [&] {
        // A link, a FIFO (which would hold the program in open() for good) or
        // someone else's file in the icon's place is never read.
        PrivateFiles::OwnFile file(ico);
        if (file.isMissing()) {
            throw Failure::fileNotFound();
        }
        // The converter leaves the mode to the umask; the file is the user's alone.
        if (!file.isOpen() || !file.setPermissions(kOwnFile)) {
            throw Failure::pathFileAccess();
        }
        std::optional<QByteArray> bytes = file.readAll(kMaxIconBytes);
        if (!bytes) {
            throw Failure(QStringLiteral("Invalid picture"));
        }
        QBuffer buffer(&*bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QByteArray format = reader.format();
        const QImage picture = reader.read();
        if (format.isEmpty() || picture.isNull()) {
            throw Failure(QStringLiteral("Invalid picture"));
        }
        // Judge the content, not the name: a renamed bitmap is still a bitmap.
        if (format == "ico") {
            // The picture just checked, not the file read a second time.
            icon = QIcon(QPixmap::fromImage(picture));
        }
    });
    // Without the converter's icon the tray still gets this reading.
    co_return icon.isNull() ? QIcon(QPixmap::fromImage(drawn)) : icon;
}

void WriteNewFile(const QByteArray& bytes, const QString& path)
{
    if (PathExists(path)) {
        return;
    }
    // Written under a temporary name and renamed, so a second copy of the
    // program never starts a half-written converter.
    if (!PrivateFiles::replaceFile(path, bytes,
                                   QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                                       QFile::WriteUser | QFile::ExeUser)) {
        throw Failure::pathFileAccess();
    }
}

void RemoveFile(const QString& path)
{
    if (QFile::remove(path)) {
        return;
    }
#ifdef Q_OS_WIN
    // A read-only file: make it writable and try once more. Elsewhere the
    // folder decides, and a mode changed by name would go through a link.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::WriteUser);
    QFile::remove(path);
#endif
}
