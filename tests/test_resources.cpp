// SPDX-License-Identifier: GPL-3.0-or-later

#include "IcoWriter.h"
#include "TestEnv.h"
#include "base/CursorFile.h"
#include "resources/AppIcon.h"

#include <QBuffer>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

// Sums the heap requests made while a HeapProbe is alive, so that a test can
// see what loading costs. glibc's own entry points do the work. Not under the
// sanitizers, which own malloc themselves.
#if defined(__SANITIZE_ADDRESS__)
#define TEPORA_NO_HEAP_PROBE
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEPORA_NO_HEAP_PROBE
#endif
#endif

namespace
{
std::atomic<bool> g_probing{false};
std::atomic<size_t> g_requested{0};

void noteRequest(size_t bytes)
{
    if (g_probing.load(std::memory_order_relaxed))
        g_requested.fetch_add(bytes, std::memory_order_relaxed);
}

struct HeapProbe {
    HeapProbe()
    {
        g_requested = 0;
        g_probing = true;
    }
    ~HeapProbe() { g_probing = false; }
    size_t requested() const { return g_requested; }
};
} // namespace

#ifndef TEPORA_NO_HEAP_PROBE
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t bytes)
{
    noteRequest(bytes);
    return __libc_malloc(bytes);
}
void* calloc(size_t count, size_t bytes)
{
    noteRequest(count * bytes);
    return __libc_calloc(count, bytes);
}
void* realloc(void* old, size_t bytes)
{
    noteRequest(bytes);
    return __libc_realloc(old, bytes);
}
}
#endif

namespace
{

// Where the generator puts the hotspot: the tip of the index finger.
const QPoint kHandHotspot(10, 1);

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray handCursorBytes()
{
    return readAll(testBinaryDir() + QStringLiteral("/HAND-M.CUR"));
}

void put16(QByteArray& b, int at, quint32 v)
{
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}

void put32(QByteArray& b, int at, quint32 v)
{
    put16(b, at, v & 0xffff);
    put16(b, at + 2, v >> 16);
}

quint32 le16(const QByteArray& b, int at)
{
    return uchar(b[at]) | uchar(b[at + 1]) << 8;
}

quint32 le32(const QByteArray& b, int at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

// Offsets in a one-entry cursor file.
constexpr int kEntry = 6;
constexpr int kDib = 22;

bool isLightCyan(QRgb c)
{
    return qRed(c) > 190 && qGreen(c) > 230 && qBlue(c) > 230 && qAlpha(c) == 255;
}
bool isBlue(QRgb c)
{
    return qBlue(c) > 170 && qRed(c) < 90 && qGreen(c) < 120 && qAlpha(c) == 255;
}
bool isBlack(QRgb c)
{
    return qRed(c) < 50 && qGreen(c) < 50 && qBlue(c) < 50 && qAlpha(c) == 255;
}

int countPixels(const QImage& img, bool (*test)(QRgb))
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += test(img.pixel(x, y)) ? 1 : 0;
    return n;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void handCursorFileHeader()
    {
        const QByteArray b = handCursorBytes();
        QVERIFY2(b.size() > kDib + 40, "HAND-M.CUR is missing beside the program");
        QCOMPARE(le16(b, 0), 0u);
        QCOMPARE(le16(b, 2), 2u); // cursor, not icon
        QCOMPARE(le16(b, 4), 1u);
        QCOMPARE(uchar(b[kEntry]), uchar(32));
        QCOMPARE(uchar(b[kEntry + 1]), uchar(32));
        QCOMPARE(le16(b, kEntry + 4), quint32(kHandHotspot.x()));
        QCOMPARE(le16(b, kEntry + 6), quint32(kHandHotspot.y()));
        QCOMPARE(le32(b, kEntry + 12), quint32(kDib));
        QCOMPARE(qsizetype(le32(b, kEntry + 8)) + kDib, b.size());
        QCOMPARE(le32(b, kDib + 4), 32u);
        QCOMPARE(le32(b, kDib + 8), 64u); // picture and mask
        QCOMPARE(le16(b, kDib + 14), 32u);
        QCOMPARE(cursorHotspot(b), std::optional<QPoint>(kHandHotspot));
    }

    void handCursorPicture()
    {
        const auto picture = decodeCursor(handCursorBytes());
        QVERIFY(picture);
        const QImage& img = picture->image;
        QCOMPARE(img.size(), QSize(32, 32));
        QCOMPARE(picture->hotspot, kHandHotspot);
        int white = 0, black = 0, clear = 0, topRow = -1;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QRgb c = img.pixel(x, y);
                if (qAlpha(c) == 0) {
                    ++clear;
                    continue;
                }
                if (topRow < 0)
                    topRow = y;
                white += c == qRgb(255, 255, 255);
                black += c == qRgb(0, 0, 0);
            }
        }
        QVERIFY(white > 100);
        QVERIFY(black > 50);
        QVERIFY(clear > 300);
        // The hotspot is on the fingertip: the highest point of the hand.
        QCOMPARE(qAlpha(img.pixel(kHandHotspot)), 255);
        QCOMPARE(topRow, kHandHotspot.y());
        QCOMPARE(qAlpha(img.pixel(kHandHotspot - QPoint(0, 1))), 0);

        // Qt's own reader sees the same picture (it only drops the hotspot).
        QBuffer buffer;
        buffer.setData(handCursorBytes());
        QImageReader reader(&buffer, "ico");
        const QImage viaQt = reader.read().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(viaQt.size(), img.size());
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                QCOMPARE(viaQt.pixel(x, y), img.pixel(x, y));
    }

    void handCursorLoadsAsQCursor()
    {
        const auto cursor = loadCursorFile(testBinaryDir() + QStringLiteral("/HAND-M.CUR"));
        QVERIFY(cursor);
        QCOMPARE(cursor->hotSpot(), kHandHotspot);
        const QImage img = cursor->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(img.size(), QSize(32, 32));
        QVERIFY(countPixels(img, [](QRgb c) { return qAlpha(c) == 255; }) > 150);
        QVERIFY(countPixels(img, [](QRgb c) { return qAlpha(c) == 0; }) > 300);
    }

    void missingOrUnreadableFilesGiveNothing()
    {
        QTemporaryDir dir;
        QVERIFY(!loadCursorFile(dir.filePath(QStringLiteral("none.cur"))));
        QVERIFY(!loadCursorFile(dir.path()));
        QVERIFY(!loadCursorFile(QString()));
        QFile junk(dir.filePath(QStringLiteral("junk.cur")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("\0\0\2\0\1\0 not really a cursor", 27);
        junk.close();
        QVERIFY(!loadCursorFile(junk.fileName()));
    }

    void malformedCursorsAreRejected_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = handCursorBytes();
        QVERIFY(!good.isEmpty());
        const auto changed = [&](auto edit) {
            QByteArray b = good;
            edit(b);
            return b;
        };
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated header") << good.left(5);
        QTest::newRow("truncated directory") << good.left(kEntry + 10);
        QTest::newRow("truncated picture") << good.left(good.size() - 1);
        QTest::newRow("reserved not 0") << changed([](QByteArray& b) { put16(b, 0, 1); });
        QTest::newRow("type 1 icon") << changed([](QByteArray& b) { put16(b, 2, 1); });
        QTest::newRow("type 3") << changed([](QByteArray& b) { put16(b, 2, 3); });
        QTest::newRow("no entries") << changed([](QByteArray& b) { put16(b, 4, 0); });
        QTest::newRow("huge count") << changed([](QByteArray& b) { put16(b, 4, 0xffff); });
        QTest::newRow("offset beyond the end")
            << changed([](QByteArray& b) { put32(b, kEntry + 12, 0x7fffff00); });
        QTest::newRow("offset wraps") << changed([](QByteArray& b) { put32(b, kEntry + 12, 0xffffffff); });
        QTest::newRow("offset in directory") << changed([](QByteArray& b) { put32(b, kEntry + 12, 4); });
        QTest::newRow("size beyond the end")
            << changed([](QByteArray& b) { put32(b, kEntry + 8, 0xffffffff); });
        QTest::newRow("size 0") << changed([](QByteArray& b) { put32(b, kEntry + 8, 0); });
        QTest::newRow("size too small for the bitmap")
            << changed([](QByteArray& b) { put32(b, kEntry + 8, 100); });
        QTest::newRow("hotspot outside") << changed([](QByteArray& b) { put16(b, kEntry + 4, 32); });
        QTest::newRow("DIB header size huge") << changed([](QByteArray& b) { put32(b, kDib, 0x7fffffff); });
        QTest::newRow("DIB header size small") << changed([](QByteArray& b) { put32(b, kDib, 12); });
        QTest::newRow("DIB width 0") << changed([](QByteArray& b) { put32(b, kDib + 4, 0); });
        QTest::newRow("DIB width negative") << changed([](QByteArray& b) { put32(b, kDib + 4, 0xffffffe0); });
        QTest::newRow("DIB width huge") << changed([](QByteArray& b) { put32(b, kDib + 4, 100000); });
        QTest::newRow("DIB height odd") << changed([](QByteArray& b) { put32(b, kDib + 8, 63); });
        QTest::newRow("DIB height huge") << changed([](QByteArray& b) { put32(b, kDib + 8, 0x7ffffffe); });
        QTest::newRow("DIB top-down") << changed([](QByteArray& b) { put32(b, kDib + 8, quint32(-64)); });
        QTest::newRow("DIB 16 bits") << changed([](QByteArray& b) { put16(b, kDib + 14, 16); });
        QTest::newRow("DIB compressed") << changed([](QByteArray& b) { put32(b, kDib + 16, 1); });
        QTest::newRow("DIB palette huge") << changed([](QByteArray& b) {
            put16(b, kDib + 14, 8);
            put32(b, kDib + 32, 0xffffffff);
        });
        // A PNG entry that claims an enormous picture.
        QByteArray png(
            "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\x7f\xff\xff\xff\x7f\xff\xff\xff\x08\x06\0\0\0\0\0\0\0", 33);
        QByteArray pngCursor = good.left(kDib) + png;
        put32(pngCursor, kEntry + 8, png.size());
        QTest::newRow("PNG too large") << pngCursor;
    }
    void malformedCursorsAreRejected()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!decodeCursor(bytes));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.cur"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QVERIFY(!loadCursorFile(path));
    }

    // Loading costs about what the file holds: not the most a cursor may be,
    // nor the megabytes a few kilobytes of compressed PNG text inflate to.
    void cursorCostFollowsTheFileSize_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("hand") << handCursorBytes();
        QImage img(48, 48, QImage::Format_ARGB32);
        img.fill(Qt::blue);
        img.setText(QStringLiteral("Comment"), QString(7000000, QLatin1Char('a')));
        QTest::newRow("PNG with inflating text") << iconFileBytes(2, {{img, {1, 1}, true}});
    }
    void cursorCostFollowsTheFileSize()
    {
#ifdef TEPORA_NO_HEAP_PROBE
        QSKIP("the sanitizers own malloc");
#endif
        QFETCH(QByteArray, bytes);
        QVERIFY(bytes.size() < 64 * 1024);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("c.cur")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        QVERIFY(loadCursorFile(testBinaryDir() + QStringLiteral("/HAND-M.CUR"))); // first use sets Qt up
        size_t cost = 0;
        {
            HeapProbe probe;
            QVERIFY(loadCursorFile(file.fileName()));
            cost = probe.requested();
        }
        qInfo("%zu bytes of heap for a %lld-byte cursor", cost, qlonglong(bytes.size()));
        QVERIFY(cost < 256 * 1024);
    }

    void directoryProblemsHideTheHotspot()
    {
        QVERIFY(!cursorHotspot(QByteArray()));
        QByteArray b = handCursorBytes();
        put16(b, 2, 1);
        QVERIFY(!cursorHotspot(b));
        b = handCursorBytes();
        put16(b, kEntry + 6, 32); // below the picture
        QVERIFY(!cursorHotspot(b));
        b = handCursorBytes();
        put32(b, kEntry + 12, quint32(b.size())); // picture after the end
        QVERIFY(!cursorHotspot(b));
    }

    void everyTruncationIsRejected()
    {
        const QByteArray good = handCursorBytes();
        for (qsizetype n = 0; n < good.size(); ++n)
            QVERIFY2(!decodeCursor(good.left(n)), qPrintable(QString::number(n)));
    }

    void randomDamageNeverCrashes()
    {
        const QByteArray good = handCursorBytes();
        QRandomGenerator random(20240611);
        for (int round = 0; round < 3000; ++round) {
            QByteArray b = good;
            const int hits = 1 + int(random.bounded(4));
            for (int i = 0; i < hits; ++i) {
                // Mostly the headers, where the sizes and offsets live.
                const int at =
                    random.bounded(4) ? int(random.bounded(kDib + 40)) : int(random.bounded(b.size()));
                b[at] = char(random.bounded(256));
            }
            const auto picture = decodeCursor(b);
            if (picture) {
                QVERIFY(!picture->image.isNull());
                QVERIFY(picture->image.width() <= 256 && picture->image.height() <= 256);
                QVERIFY(picture->image.rect().contains(picture->hotspot));
            }
        }
    }

    void writtenCursorsReadBack_data()
    {
        QTest::addColumn<bool>("png");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("hotspot");
        QTest::newRow("DIB 32x32") << false << QSize(32, 32) << QPoint(0, 0);
        QTest::newRow("DIB 17x5") << false << QSize(17, 5) << QPoint(16, 4);
        QTest::newRow("DIB 256") << false << QSize(256, 256) << QPoint(128, 200);
        QTest::newRow("PNG 48") << true << QSize(48, 48) << QPoint(47, 3);
    }
    void writtenCursorsReadBack()
    {
        QFETCH(bool, png);
        QFETCH(QSize, size);
        QFETCH(QPoint, hotspot);
        QImage img(size, QImage::Format_ARGB32);
        QRandomGenerator random(size.width() * 1000 + size.height());
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                img.setPixel(x, y,
                             random.bounded(3)
                                 ? qRgba(random.bounded(256), random.bounded(256), random.bounded(256), 255)
                                 : 0u);
        const QByteArray bytes = iconFileBytes(2, {{img, hotspot, png}});
        const auto picture = decodeCursor(bytes);
        QVERIFY(picture);
        QCOMPARE(picture->hotspot, hotspot);
        QCOMPARE(picture->image, img);
    }

    void largestEntryIsChosen()
    {
        QImage small(16, 16, QImage::Format_ARGB32);
        small.fill(Qt::red);
        QImage large(32, 32, QImage::Format_ARGB32);
        large.fill(Qt::blue);
        const QByteArray bytes = iconFileBytes(2, {{small, {1, 2}, false}, {large, {3, 4}, false}});
        QCOMPARE(cursorHotspot(bytes), std::optional<QPoint>(QPoint(3, 4)));
        const auto picture = decodeCursor(bytes);
        QVERIFY(picture);
        QCOMPARE(picture->image.size(), QSize(32, 32));
        QCOMPARE(picture->image.pixel(5, 5), QColor(Qt::blue).rgba());
    }

    void classicPaletteCursorUsesTheMask()
    {
        // 1 bit per pixel, 2 x 2: white/black on top, black/white below,
        // the bottom-right pixel masked out.
        QByteArray b(6 + 16 + 40 + 8 + 8 + 8, '\0');
        put16(b, 2, 2);
        put16(b, 4, 1);
        b[kEntry] = 2;
        b[kEntry + 1] = 2;
        put16(b, kEntry + 4, 1);
        put16(b, kEntry + 6, 0);
        put32(b, kEntry + 8, 40 + 8 + 8 + 8);
        put32(b, kEntry + 12, kDib);
        put32(b, kDib, 40);
        put32(b, kDib + 4, 2);
        put32(b, kDib + 8, 4);
        put16(b, kDib + 12, 1);
        put16(b, kDib + 14, 1);
        const int palette = kDib + 40;
        put32(b, palette, 0x000000);
        put32(b, palette + 4, 0xffffff);
        const int bits = palette + 8;
        b[bits] = char(0x40);     // bottom row: black, white
        b[bits + 4] = char(0x80); // top row: white, black
        const int mask = bits + 8;
        b[mask] = char(0x40); // bottom row: right pixel transparent
        const auto picture = decodeCursor(b);
        QVERIFY(picture);
        QCOMPARE(picture->hotspot, QPoint(1, 0));
        QCOMPARE(picture->image.pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(picture->image.pixel(1, 0), qRgb(0, 0, 0));
        QCOMPARE(picture->image.pixel(0, 1), qRgb(0, 0, 0));
        QCOMPARE(qAlpha(picture->image.pixel(1, 1)), 0);
    }

    void applicationIconHasItsSizes()
    {
        QVERIFY(QFile::exists(QStringLiteral(":/icons/tepora-16.png")));
        const QIcon icon = applicationIcon();
        QVERIFY(!icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        for (int s : {16, 24, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
    }

    void applicationIconLooks_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
        QTest::newRow("256") << 256;
    }
    void applicationIconLooks()
    {
        QFETCH(int, size);
        const QImage img =
            applicationIcon().pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(img.size(), QSize(size, size));
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
            QVERIFY2(isLightCyan(img.pixel(corner)), qPrintable(QString::number(img.pixel(corner), 16)));
        const int area = size * size;
        QVERIFY(countPixels(img, isBlue) > area / 12);
        QVERIFY(countPixels(img, isBlack) > area / 20);
        QVERIFY(countPixels(img, isLightCyan) > area / 3);
        // The letter sits in the middle: the centre column holds blue.
        bool blueInMiddle = false;
        for (int y = 0; y < size; ++y)
            blueInMiddle =
                blueInMiddle || isBlue(img.pixel(size / 2 - 1, y)) || isBlue(img.pixel(size / 2, y));
        QVERIFY(blueInMiddle);
    }

    void alarmSoundIsAShortMp3()
    {
        const QByteArray b = readAll(testBinaryDir() + QStringLiteral("/reveille.mp3"));
        QVERIFY2(b.size() > 10 * 1024 && b.size() < 100 * 1024, qPrintable(QString::number(b.size())));
        qsizetype at = 0;
        if (b.startsWith("ID3") && b.size() > 10) {
            // Tag size: four 7-bit bytes.
            at = 10 + ((uchar(b[6]) << 21) | (uchar(b[7]) << 14) | (uchar(b[8]) << 7) | uchar(b[9]));
        }
        // Walk the MPEG-1 layer III frames: 1152 samples each.
        static const int kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
        int frames = 0;
        while (at + 4 <= b.size()) {
            const quint32 h = quint32(uchar(b[at])) << 24 | uchar(b[at + 1]) << 16 | uchar(b[at + 2]) << 8 |
                              uchar(b[at + 3]);
            QVERIFY2((h & 0xffe00000) == 0xffe00000, qPrintable(QStringLiteral("no frame at %1").arg(at)));
            QCOMPARE((h >> 19) & 3, 3u); // MPEG-1
            QCOMPARE((h >> 17) & 3, 1u); // layer III
            QCOMPARE((h >> 10) & 3, 0u); // 44.1 kHz
            QCOMPARE((h >> 6) & 3, 3u);  // mono
            const int rate = kbps[(h >> 12) & 15];
            QVERIFY(rate >= 32 && rate <= 128);
            at += 144 * rate * 1000 / 44100 + ((h >> 9) & 1);
            ++frames;
        }
        QCOMPARE(at, b.size()); // whole frames to the end
        const double seconds = frames * 1152 / 44100.0;
        QVERIFY2(seconds >= 3.0 && seconds <= 5.5, qPrintable(QString::number(seconds)));
    }
};

QTEST_MAIN(TestResources)
#include "test_resources.moc"
