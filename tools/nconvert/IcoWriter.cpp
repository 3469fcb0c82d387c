// SPDX-License-Identifier: GPL-3.0-or-later

#include "IcoWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace
{

constexpr int kDirSize = 6;
constexpr int kEntrySize = 16;
constexpr int kInfoHeaderSize = 40;

void put16(QByteArray& out, quint16 v)
{
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, quint32 v)
{
    put16(out, quint16(v & 0xffff));
    put16(out, quint16(v >> 16));
}

// BITMAPINFOHEADER, bottom-up BGRA rows, then the 1-bit AND mask (set = transparent).
// The height field counts both bitmaps, hence twice the picture height.
QByteArray dib(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width();
    const int h = img.height();
    const int maskStride = (w + 31) / 32 * 4;

    QByteArray out;
    out.reserve(kInfoHeaderSize + w * h * 4 + maskStride * h);
    put32(out, kInfoHeaderSize);
    put32(out, quint32(w));
    put32(out, quint32(2 * h));
    put16(out, 1);  // planes
    put16(out, 32); // bits per pixel
    put32(out, 0);  // BI_RGB
    put32(out, quint32(w * h * 4 + maskStride * h));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);

    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
            out.append(char(qAlpha(line[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

QByteArray png(const QImage& img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return bytes;
}

} // namespace

QByteArray iconFileBytes(quint16 type, const QList<IconImage>& images)
{
    if (images.isEmpty() || images.size() > 0xffff)
        return {};
    QList<QByteArray> bodies;
    for (const IconImage& i : images) {
        const QImage& img = i.image;
        if (img.isNull() || img.width() > kMaxIconSide || img.height() > kMaxIconSide)
            return {};
        bodies.append(i.png ? png(img) : dib(img));
        if (bodies.last().isEmpty())
            return {};
    }

    QByteArray out;
    put16(out, 0);
    put16(out, type);
    put16(out, quint16(images.size()));
    quint32 offset = kDirSize + kEntrySize * images.size();
    for (qsizetype n = 0; n < images.size(); ++n) {
        const IconImage& i = images[n];
        // 0 stands for 256 in the one-byte size fields.
        out.append(char(i.image.width() & 0xff));
        out.append(char(i.image.height() & 0xff));
        out.append('\0'); // colour count: no palette
        out.append('\0');
        if (type == 2) {
            put16(out, quint16(i.hotspot.x()));
            put16(out, quint16(i.hotspot.y()));
        } else {
            put16(out, 1);
            put16(out, 32);
        }
        put32(out, quint32(bodies[n].size()));
        put32(out, offset);
        offset += quint32(bodies[n].size());
    }
    for (const QByteArray& body : bodies)
        out.append(body);
    return out;
}

QByteArray icoBytes(const QList<QImage>& images)
{
    QList<IconImage> entries;
    for (const QImage& img : images)
        entries.append({img, {}, img.width() == kMaxIconSide && img.height() == kMaxIconSide});
    return iconFileBytes(1, entries);
}

QByteArray curBytes(const QImage& image, QPoint hotspot)
{
    if (!QRect(QPoint(0, 0), image.size()).contains(hotspot))
        return {};
    return iconFileBytes(2, {{image, hotspot, false}});
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error =
                QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

bool writeIco(const QImage& image, const QString& path, QString* error)
{
    if (image.isNull() || image.width() > kMaxIconSide || image.height() > kMaxIconSide) {
        if (error)
            *error = QStringLiteral("an icon holds 1 to %1 pixels on a side, the picture is %2 x %3")
                         .arg(kMaxIconSide)
                         .arg(image.width())
                         .arg(image.height());
        return false;
    }
    // A DIB even at 256 px: one-picture icons should read everywhere.
    return writeFileAtomically(path, iconFileBytes(1, {{image, {}, false}}), error);
}

QString icoPathFor(const QString& bitmapPath)
{
    // The folder part stays exactly as given (relative stays relative).
    const qsizetype slash = bitmapPath.lastIndexOf(QLatin1Char('/'));
    return bitmapPath.left(slash + 1) + QFileInfo(bitmapPath).completeBaseName() + QStringLiteral(".ico");
}

bool convertToIco(const QString& bitmapPath, QString* error)
{
    const QFileInfo info(bitmapPath);
    if (!info.isFile()) {
        if (error)
            *error = QStringLiteral("%1: no such file").arg(QDir::toNativeSeparators(bitmapPath));
        return false;
    }
    QImageReader reader(bitmapPath);
    // The name can lie (a PNG called .bmp); the content decides.
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(bitmapPath), reader.errorString());
        return false;
    }
    return writeIco(image, icoPathFor(bitmapPath), error);
}
