// SPDX-License-Identifier: GPL-3.0-or-later

#include "IcoWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

// Non-premultiplied R, G, B, A bytes, top row first, as the layout wants them.
std::vector<std::uint8_t> rgba(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(img.width()) * std::size_t(img.height()) * 4);
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            out.push_back(std::uint8_t(qRed(line[x])));
            out.push_back(std::uint8_t(qGreen(line[x])));
            out.push_back(std::uint8_t(qBlue(line[x])));
            out.push_back(std::uint8_t(qAlpha(line[x])));
        }
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
    std::vector<ico::Entry> entries;
    entries.reserve(std::size_t(images.size()));
    for (const IconImage& i : images) {
        const QImage& img = i.image;
        if (img.isNull() || img.width() > kMaxIconSide || img.height() > kMaxIconSide)
            return {};
        ico::Entry e;
        e.width = img.width();
        e.height = img.height();
        if (i.png) {
            e.png = png(img).toStdString();
            if (e.png.empty())
                return {};
        } else {
            e.rgba = rgba(img);
        }
        e.hotspotX = quint16(i.hotspot.x());
        e.hotspotY = quint16(i.hotspot.y());
        entries.push_back(std::move(e));
    }
    const std::string bytes = ico::fileBytes(type, entries);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
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
    return QFile::decodeName(
        QByteArray::fromStdString(ico::pathFor(QFile::encodeName(bitmapPath).toStdString())));
}
