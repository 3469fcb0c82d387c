// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/CursorFile.h"

#include <QFile>
#include <QPixmap>

#include <algorithm>
#include <array>

namespace
{

constexpr qsizetype kDirSize = 6;
constexpr qsizetype kEntrySize = 16;
constexpr qsizetype kInfoHeaderSize = 40;
constexpr int kMaxSide = 256;
// Real cursors are a few kilobytes; anything far bigger is not worth reading.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

// Callers check the range first.
quint32 le16(const char* p)
{
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8;
}

quint32 le32(const char* p)
{
    return le16(p) | le16(p + 2) << 16;
}

struct Entry {
    int width = 0;
    int height = 0;
    QPoint hotspot;
    qsizetype offset = 0;
    qsizetype size = 0;
};

std::optional<Entry> chooseEntry(const QByteArray& bytes)
{
    if (bytes.size() < kDirSize)
        return std::nullopt;
    const char* d = bytes.constData();
    if (le16(d) != 0 || le16(d + 2) != 2)
        return std::nullopt;
    const qsizetype count = le16(d + 4);
    if (count == 0 || kDirSize + count * kEntrySize > bytes.size())
        return std::nullopt;

    const qsizetype dirEnd = kDirSize + count * kEntrySize;
    std::optional<Entry> best;
    for (qsizetype i = 0; i < count; ++i) {
        const char* e = d + kDirSize + i * kEntrySize;
        Entry entry;
        entry.width = uchar(e[0]) ? uchar(e[0]) : kMaxSide;
        entry.height = uchar(e[1]) ? uchar(e[1]) : kMaxSide;
        entry.hotspot = QPoint(int(le16(e + 4)), int(le16(e + 6)));
        const quint64 size = le32(e + 8);
        const quint64 offset = le32(e + 12);
        // One broken entry makes the whole file suspect.
        if (size == 0 || offset < quint64(dirEnd) || offset + size > quint64(bytes.size()))
            return std::nullopt;
        if (entry.hotspot.x() >= entry.width || entry.hotspot.y() >= entry.height)
            return std::nullopt;
        entry.offset = qsizetype(offset);
        entry.size = qsizetype(size);
        if (!best || qint64(entry.width) * entry.height > qint64(best->width) * best->height)
            best = entry;
    }
    return best;
}

bool isPng(const QByteArray& data)
{
    return data.startsWith("\x89PNG\r\n\x1a\n");
}

quint32 be32(const char* p)
{
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8 | uchar(p[3]);
}

// The PNG with only the chunks that make the picture, or empty when a chunk
// length runs past the data. Text and colour profiles are compressed: a few
// kilobytes of them inflate to megabytes, and a cursor needs none of them.
QByteArray pictureChunks(const QByteArray& data)
{
    static constexpr std::array<QByteArrayView, 5> kKept{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"};
    constexpr qsizetype kSignature = 8;
    constexpr qsizetype kFraming = 12; // length, type, CRC
    QByteArray out = data.left(kSignature);
    for (qsizetype at = kSignature; at + kFraming <= data.size();) {
        const quint32 length = be32(data.constData() + at);
        if (length > quint64(data.size() - at - kFraming))
            return {};
        const QByteArrayView type(data.constData() + at + 4, 4);
        const qsizetype chunk = kFraming + qsizetype(length);
        if (std::find(kKept.begin(), kKept.end(), type) != kKept.end())
            out.append(data.constData() + at, chunk);
        if (type == "IEND")
            return out;
        at += chunk;
    }
    return {};
}

// Looks at the IHDR size before decoding, so a hostile PNG cannot ask for a huge image.
QImage decodePng(const QByteArray& data)
{
    if (data.size() < 24 || data.mid(12, 4) != "IHDR")
        return {};
    const quint32 width = be32(data.constData() + 16);
    const quint32 height = be32(data.constData() + 20);
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide)
        return {};
    const QByteArray picture = pictureChunks(data);
    if (picture.isEmpty())
        return {};
    const QImage img = QImage::fromData(picture, "PNG");
    if (img.isNull() || img.width() != int(width) || img.height() != int(height))
        return {};
    return img.convertToFormat(QImage::Format_ARGB32);
}

// BITMAPINFOHEADER + optional palette + XOR bitmap + AND mask, rows bottom-up,
// height field doubled. BI_RGB only, which is all cursors use.
QImage decodeDib(const QByteArray& data)
{
    if (data.size() < kInfoHeaderSize)
        return {};
    const char* p = data.constData();
    const quint32 headerSize = le32(p);
    const qint32 width = qint32(le32(p + 4));
    const qint32 doubledHeight = qint32(le32(p + 8));
    const quint32 bpp = le16(p + 14);
    const quint32 compression = le32(p + 16);
    const quint32 coloursUsed = le32(p + 32);
    if (headerSize < kInfoHeaderSize || headerSize > quint32(data.size()))
        return {};
    if (width < 1 || width > kMaxSide || doubledHeight < 2 || doubledHeight > 2 * kMaxSide ||
        doubledHeight % 2 != 0)
        return {};
    if (compression != 0 || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32))
        return {};
    const int height = doubledHeight / 2;

    qint64 paletteSize = 0;
    if (bpp <= 8) {
        paletteSize = coloursUsed ? qint64(coloursUsed) : (qint64(1) << bpp);
        if (paletteSize > (qint64(1) << bpp))
            return {};
    }
    const qint64 paletteAt = headerSize;
    const qint64 xorStride = (qint64(width) * bpp + 31) / 32 * 4;
    const qint64 andStride = (qint64(width) + 31) / 32 * 4;
    const qint64 xorAt = paletteAt + paletteSize * 4;
    const qint64 andAt = xorAt + xorStride * height;
    if (andAt + andStride * height > data.size())
        return {};

    const auto* bytes = reinterpret_cast<const uchar*>(p);
    QImage img(width, height, QImage::Format_ARGB32);
    if (img.isNull())
        return {};
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const uchar* row = bytes + xorAt + xorStride * (height - 1 - y);
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb c;
            if (bpp == 32) {
                const uchar* px = row + x * 4;
                c = qRgba(px[2], px[1], px[0], px[3]);
                anyAlpha = anyAlpha || px[3] != 0;
            } else if (bpp == 24) {
                const uchar* px = row + x * 3;
                c = qRgb(px[2], px[1], px[0]);
            } else {
                const int perByte = 8 / int(bpp);
                const int shift = 8 - int(bpp) * (x % perByte + 1);
                const int index = (row[x / perByte] >> shift) & ((1 << bpp) - 1);
                if (index >= paletteSize)
                    return {};
                const uchar* entry = bytes + paletteAt + index * 4;
                c = qRgb(entry[2], entry[1], entry[0]);
            }
            line[x] = c;
        }
    }
    // With real alpha the mask is redundant; otherwise it alone says what shows.
    if (!anyAlpha) {
        for (int y = 0; y < height; ++y) {
            const uchar* row = bytes + andAt + andStride * (height - 1 - y);
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const bool transparent = row[x / 8] & (0x80 >> (x % 8));
                line[x] = transparent ? qRgba(0, 0, 0, 0) : (line[x] | 0xff000000u);
            }
        }
    }
    return img;
}

} // namespace

std::optional<QPoint> cursorHotspot(const QByteArray& fileBytes)
{
    const auto entry = chooseEntry(fileBytes);
    if (!entry)
        return std::nullopt;
    return entry->hotspot;
}

std::optional<CursorPicture> decodeCursor(const QByteArray& fileBytes)
{
    const auto entry = chooseEntry(fileBytes);
    if (!entry)
        return std::nullopt;
    // A view, not a copy: the entry lies inside fileBytes, which outlives it.
    const QByteArray data = QByteArray::fromRawData(fileBytes.constData() + entry->offset, entry->size);
    const QImage img = isPng(data) ? decodePng(data) : decodeDib(data);
    if (img.isNull() || !img.rect().contains(entry->hotspot))
        return std::nullopt;
    return CursorPicture{img, entry->hotspot};
}

std::optional<QCursor> loadCursorFile(const QString& path)
{
    QFile file(path);
    // A regular file only (a device or a pipe might never end), read to its
    // real size: asking for the most a cursor may hold would allocate that
    // much for every few-kilobyte file.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file.isSequential() ||
        file.size() > kMaxFileSize)
        return std::nullopt;
    const QByteArray bytes = file.read(file.size());
    const auto picture = decodeCursor(bytes);
    if (!picture)
        return std::nullopt;
    return QCursor(QPixmap::fromImage(picture->image), picture->hotspot.x(), picture->hotspot.y());
}
