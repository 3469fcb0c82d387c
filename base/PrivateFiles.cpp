// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <filesystem>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace PrivateFiles
{

bool makeFolder(const QString& path)
{
    const QString target = QDir::cleanPath(QDir(path).absolutePath());
#ifdef Q_OS_WIN
    // New folders take the profile's ACL, which is the user's already.
    QDir().mkpath(target);
#else
    // mkpath() would make each missing part 0777 less the umask.
    QString part;
    for (const QString& name : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        part += QLatin1Char('/') + name;
        if (!QFileInfo(part).isDir()) {
            QDir().mkdir(part, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
#endif
    return QFileInfo(target).isDir();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // On Linux the copy being written has no name until the commit, so no one
    // else can open it before its mode is set here.
    return file.open(QIODevice::WriteOnly) && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
           file.write(bytes) == bytes.size() && file.commit();
}

namespace
{

std::filesystem::path nativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions)
{
    // Beside the target, so that the rename stays on one file system and
    // readers see the old file or the new one, never half of one.
    const QString temporary =
        path + QStringLiteral(".%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    const bool written =
        file.setPermissions(permissions) && file.write(bytes) == bytes.size() && file.flush();
    file.close();
    std::error_code error;
    if (written && file.error() == QFileDevice::NoError) {
        std::filesystem::rename(nativePath(temporary), nativePath(path), error);
        if (!error) {
            return true;
        }
    }
    QFile::remove(temporary);
    return false;
}

bool isOwnFile(const QString& path)
{
    const QFileInfo info(path);
#ifdef Q_OS_WIN
    return info.isFile();
#else
    return info.isFile() && info.ownerId() == ::geteuid();
#endif
}

#ifndef Q_OS_WIN

namespace
{

// Nobody but its owner may rename or replace what is in the folder.
bool closedToOthers(const struct stat& folder)
{
    return !(folder.st_mode & (S_IWGRP | S_IWOTH)) || (folder.st_mode & S_ISVTX);
}

// `path` (absolute) and every folder above it, each with links followed.
bool wayIsClosed(const QByteArray& path)
{
    struct stat st {
    };
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH))) {
        return false;
    }
    for (qsizetype cut = path.lastIndexOf('/'); cut >= 0;
         cut = cut > 0 ? path.lastIndexOf('/', cut - 1) : -1) {
        const QByteArray above = cut == 0 ? QByteArrayLiteral("/") : path.left(cut);
        if (::stat(above.constData(), &st) != 0 || (st.st_uid != 0 && st.st_uid != ::geteuid()) ||
            !closedToOthers(st)) {
            return false;
        }
    }
    return true;
}

} // namespace

#endif

bool isPrivateFolder(const QString& path)
{
#ifdef Q_OS_WIN
    // Folders under the profile take its ACL, which is the user's already.
    return QFileInfo(path).isDir();
#else
    if (path.isEmpty()) {
        return false;
    }
    // Both the way as named and where its links lead: someone who could
    // change either could put another folder in its place.
    const QString named = QDir::cleanPath(QDir(path).absolutePath());
    const QString real = QFileInfo(named).canonicalFilePath();
    return !real.isEmpty() && wayIsClosed(QFile::encodeName(named)) && wayIsClosed(QFile::encodeName(real));
#endif
}

OwnFile::OwnFile(const QString& path)
{
#ifdef Q_OS_WIN
    m_fd = ::_wopen(reinterpret_cast<const wchar_t*>(path.utf16()), _O_RDONLY | _O_BINARY);
    struct _stat64 st {
    };
#else
    // Without O_NONBLOCK a FIFO would hold the program in open() until someone writes to it.
    m_fd = ::open(QFile::encodeName(path).constData(),
                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st {
    };
#endif
    if (m_fd < 0) {
        m_missing = errno == ENOENT;
        return;
    }
#ifdef Q_OS_WIN
    const bool own = ::_fstat64(m_fd, &st) == 0 && (st.st_mode & _S_IFREG);
#else
    const bool own = ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
#endif
    if (!own) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = st.st_size;
    m_mode = st.st_mode;
}

OwnFile::~OwnFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool OwnFile::othersMayWrite() const
{
#ifdef Q_OS_WIN
    return false;
#else
    return m_mode & (S_IWGRP | S_IWOTH);
#endif
}

bool OwnFile::setPermissions(QFileDevice::Permissions permissions)
{
    if (!isOpen()) {
        return false;
    }
#ifdef Q_OS_WIN
    Q_UNUSED(permissions);
    return true;
#else
    mode_t mode = 0;
    const std::pair<QFileDevice::Permission, mode_t> bits[] = {
        {QFileDevice::ReadOwner, S_IRUSR},  {QFileDevice::WriteOwner, S_IWUSR},
        {QFileDevice::ExeOwner, S_IXUSR},   {QFileDevice::ReadGroup, S_IRGRP},
        {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
        {QFileDevice::ReadOther, S_IROTH},  {QFileDevice::WriteOther, S_IWOTH},
        {QFileDevice::ExeOther, S_IXOTH},
    };
    for (const auto& [permission, bit] : bits) {
        if (permissions & permission) {
            mode |= bit;
        }
    }
    if ((m_mode & 07777) == mode) {
        return true;
    }
    if (::fchmod(m_fd, mode) != 0) {
        return false;
    }
    m_mode = (m_mode & ~07777) | mode;
    return true;
#endif
}

std::optional<QByteArray> OwnFile::readAll(qint64 maxBytes)
{
    if (!isOpen() || m_size > maxBytes) {
        return std::nullopt;
    }
    // One byte more than fstat told: a file that changed while it was read is no answer.
    QByteArray bytes(m_size + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
#ifdef Q_OS_WIN
        const auto got = ::_read(m_fd, bytes.data() + filled, unsigned(bytes.size() - filled));
#else
        const auto got = ::read(m_fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
#endif
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    if (filled != m_size) {
        return std::nullopt;
    }
    bytes.truncate(filled);
    return bytes;
}

} // namespace PrivateFiles
