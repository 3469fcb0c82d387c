// SPDX-License-Identifier: GPL-3.0-or-later

#include "IcoWriter.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace
{

struct Run {
    int exitCode = -1;
    QString errors;
};

// The converter must work with no display at all, so it runs without one.
Run runNconvert(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(testBinaryDir() + QStringLiteral("/nconvert"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
}

QImage picture(const QString& kind)
{
    if (kind == QLatin1String("text")) {
        // Like the tray's temperature bitmaps: a number in colour on a plain ground.
        QImage img(28, 29, QImage::Format_RGB32);
        img.fill(QColor(250, 250, 240));
        QPainter p(&img);
        p.setPen(QColor(200, 20, 30));
        QFont f(QStringLiteral("Liberation Sans"));
        f.setPixelSize(16);
        f.setBold(true);
        p.setFont(f);
        p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("-7"));
        p.end();
        img.setPixel(0, 0, qRgb(0, 0, 255));
        img.setPixel(27, 0, qRgb(0, 255, 0));
        img.setPixel(0, 28, qRgb(255, 0, 255));
        img.setPixel(27, 28, qRgb(1, 2, 3));
        return img;
    }
    if (kind == QLatin1String("gradient")) {
        QImage img(16, 16, QImage::Format_RGB32);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                img.setPixel(x, y, qRgb(x * 16, y * 16, 255 - x * 8 - y * 8));
        return img;
    }
    if (kind == QLatin1String("dot")) {
        QImage img(1, 1, QImage::Format_RGB32);
        img.setPixel(0, 0, qRgb(12, 34, 56));
        return img;
    }
    if (kind == QLatin1String("widest")) {
        QImage img(256, 3, QImage::Format_RGB32);
        for (int x = 0; x < 256; ++x)
            for (int y = 0; y < 3; ++y)
                img.setPixel(x, y, qRgb(x, 255 - x, y * 100));
        return img;
    }
    return {};
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

quint32 le16(const QByteArray& b, int at)
{
    return uchar(b[at]) | uchar(b[at + 1]) << 8;
}

quint32 le32(const QByteArray& b, int at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

} // namespace

class TestNconvert : public QObject
{
    Q_OBJECT

private slots:
    void writesTheBitmapAsAnIconBesideIt_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("iconName");
        QTest::newRow("28x29 text") << "text"
                                    << "CurTemp.bmp"
                                    << "CurTemp.ico";
        QTest::newRow("16x16") << "gradient"
                               << "g.bmp"
                               << "g.ico";
        QTest::newRow("1x1") << "dot"
                             << "d.bmp"
                             << "d.ico";
        QTest::newRow("256 wide") << "widest"
                                  << "w.bmp"
                                  << "w.ico";
        QTest::newRow("dots and blanks in the name") << "text"
                                                     << "Cur Temp.v2 ü.bmp"
                                                     << "Cur Temp.v2 ü.ico";
        QTest::newRow("PNG called .bmp") << "gradient"
                                         << "png-inside.bmp"
                                         << "png-inside.ico";
    }
    void writesTheBitmapAsAnIconBesideIt()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, iconName);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString bmp = dir.filePath(name);
        const QImage source = picture(kind);
        const bool png = name.startsWith(QLatin1String("png"));
        QVERIFY(source.save(bmp, png ? "PNG" : "BMP"));
        if (!png) {
            // A plain Windows bitmap with 24 bits per pixel, as the tray writes.
            const QByteArray header = readAll(bmp);
            QVERIFY(header.startsWith("BM"));
            QCOMPARE(le16(header, 28), 24u);
        }

        const Run run = runNconvert({"-out", "ico", bmp});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.errors.isEmpty(), qPrintable(run.errors));

        // Nothing else left behind (no temporary files).
        QStringList both{iconName, name};
        both.sort();
        QCOMPARE(entries(dir.path()), both);
        const QString ico = dir.filePath(iconName);
        QImageReader reader(ico);
        QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
        QCOMPARE(reader.format(), QByteArray("ico"));
        QCOMPARE(reader.imageCount(), 1);
        const QImage icon = reader.read();
        QVERIFY2(!icon.isNull(), qPrintable(reader.errorString()));
        const QImage expected = QImage(bmp).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), source.size());
        const QImage got = icon.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < got.height(); ++y)
            for (int x = 0; x < got.width(); ++x)
                QVERIFY2(got.pixel(x, y) == expected.pixel(x, y),
                         qPrintable(QStringLiteral("pixel %1,%2: %3 instead of %4")
                                        .arg(x)
                                        .arg(y)
                                        .arg(got.pixel(x, y), 8, 16)
                                        .arg(expected.pixel(x, y), 8, 16)));
    }

    void replacesAnExistingIcon()
    {
        QTemporaryDir dir;
        const QString bmp = dir.filePath(QStringLiteral("CurTemp.bmp"));
        const QString ico = dir.filePath(QStringLiteral("CurTemp.ico"));
        QVERIFY(picture(QStringLiteral("gradient")).save(bmp, "BMP"));
        QVERIFY(writeBytes(ico, QByteArray(5000, 'x')));

        QCOMPARE(runNconvert({"-out", "ico", bmp}).exitCode, 0);
        QCOMPARE(QImage(ico).size(), QSize(16, 16));

        // And again with a different picture: the new one wins.
        QVERIFY(picture(QStringLiteral("text")).save(bmp, "BMP"));
        QCOMPARE(runNconvert({"-out", "ico", bmp}).exitCode, 0);
        QCOMPARE(QImage(ico).size(), QSize(28, 29));
        QCOMPARE(entries(dir.path()), QStringList({"CurTemp.bmp", "CurTemp.ico"}));
    }

    void badCommandLinesShowUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("only -out") << QStringList{"-out"};
        QTest::newRow("no path") << QStringList{"-out", "ico"};
        QTest::newRow("empty path") << QStringList{"-out", "ico", ""};
        QTest::newRow("other format") << QStringList{"-out", "png", "@"};
        QTest::newRow("upper case") << QStringList{"-out", "ICO", "@"};
        QTest::newRow("swapped") << QStringList{"ico", "-out", "@"};
        QTest::newRow("path first") << QStringList{"@", "-out", "ico"};
        QTest::newRow("two paths") << QStringList{"-out", "ico", "@", "@"};
        QTest::newRow("path only") << QStringList{"@"};
    }
    void badCommandLinesShowUsage()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        const QString bmp = dir.filePath(QStringLiteral("x.bmp"));
        QVERIFY(picture(QStringLiteral("dot")).save(bmp, "BMP"));
        args.replaceInStrings(QStringLiteral("@"), bmp);

        const Run run = runNconvert(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(QLatin1String("usage")), qPrintable(run.errors));
        QCOMPARE(entries(dir.path()), QStringList{"x.bmp"});
    }

    void unreadableInputsFailWithoutWriting_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: do not create
        QTest::newRow("missing") << "missing.bmp" << QByteArray();
        QTest::newRow("text named .bmp") << "text.bmp" << QByteArray("this is not a picture\n");
        QTest::newRow("empty") << "empty.bmp" << QByteArray("");
        QTest::newRow("header only") << "cut.bmp" << QByteArray("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14);
        QTest::newRow("folder") << "folder.bmp" << QByteArray("/");
        QTest::newRow("too big for an icon") << "big.bmp" << QByteArray("300x20");
        QTest::newRow("cut short") << "half.bmp" << QByteArray("cut");
        QTest::newRow("file over 4 MiB") << "long.bmp" << QByteArray("long");
    }
    void unreadableInputsFailWithoutWriting()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (content == "/")
            QVERIFY(QDir(dir.path()).mkdir(name));
        else if (content == "300x20") {
            QImage big(300, 20, QImage::Format_RGB32);
            big.fill(Qt::gray);
            QVERIFY(big.save(path, "BMP"));
        } else if (content == "cut") {
            // Written only half-way: the rows end early.
            QVERIFY(picture(QStringLiteral("text")).save(path, "BMP"));
            QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        } else if (content == "long") {
            // A picture an icon can hold, in a file too long to read at all.
            QVERIFY(picture(QStringLiteral("dot")).save(path, "PNG"));
            QFile f(path);
            QVERIFY(f.open(QIODevice::Append) && f.write(QByteArray(5 << 20, '\0')) == 5 << 20);
        } else if (!content.isNull())
            QVERIFY(writeBytes(path, content));
        // An icon already there must survive a failed run untouched.
        const QString ico = icoPathFor(path);
        QVERIFY(writeBytes(ico, "previous icon"));
        const QStringList before = entries(dir.path());

        const Run run = runNconvert({"-out", "ico", path});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!run.errors.trimmed().isEmpty());
        QVERIFY(!run.errors.contains(QLatin1String("usage")));
        QCOMPARE(readAll(ico), QByteArray("previous icon"));
        QCOMPARE(entries(dir.path()), before);
    }

    void missingFolderIsAnError()
    {
        QTemporaryDir dir;
        const Run run = runNconvert({"-out", "ico", dir.filePath(QStringLiteral("no/such/CurTemp.bmp"))});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(entries(dir.path()).isEmpty());
    }

    void iconPathIsBesideTheBitmap_data()
    {
        QTest::addColumn<QString>("bitmap");
        QTest::addColumn<QString>("icon");
        QTest::newRow("plain") << "/x/CurTemp.bmp"
                               << "/x/CurTemp.ico";
        QTest::newRow("two dots") << "/x/a.b.bmp"
                                  << "/x/a.b.ico";
        QTest::newRow("no suffix") << "/x/CurTemp"
                                   << "/x/CurTemp.ico";
        QTest::newRow("relative") << "CurTemp.BMP"
                                  << "CurTemp.ico";
    }
    void iconPathIsBesideTheBitmap()
    {
        QFETCH(QString, bitmap);
        QFETCH(QString, icon);
        QCOMPARE(icoPathFor(bitmap), icon);
    }

    void iconFileLayout()
    {
        QImage img(28, 29, QImage::Format_ARGB32);
        img.fill(qRgba(10, 20, 30, 255));
        img.setPixel(0, 0, qRgba(0, 0, 0, 0));       // top left: transparent
        img.setPixel(0, 28, qRgba(40, 50, 60, 255)); // bottom left: stored first
        const QByteArray b = icoBytes({img});
        QCOMPARE(le16(b, 0), 0u);
        QCOMPARE(le16(b, 2), 1u); // icon
        QCOMPARE(le16(b, 4), 1u);
        QCOMPARE(uchar(b[6]), uchar(28));
        QCOMPARE(uchar(b[7]), uchar(29));
        QCOMPARE(le16(b, 12), 32u);
        const quint32 size = le32(b, 14);
        const quint32 offset = le32(b, 18);
        QCOMPARE(offset, 22u);
        QCOMPARE(qsizetype(offset + size), b.size());
        // DIB: height counts picture and mask; rows run bottom-up.
        QCOMPARE(le32(b, 22), 40u);
        QCOMPARE(le32(b, 26), 28u);
        QCOMPARE(le32(b, 30), 58u);
        QCOMPARE(le16(b, 36), 32u);
        const int pixels = 22 + 40;
        QCOMPARE(b.mid(pixels, 8), QByteArray("\x3c\x32\x28\xff\x1e\x14\x0a\xff", 8)); // BGRA
        const int maskStride = 4;
        const int mask = pixels + 28 * 29 * 4;
        QCOMPARE(b.size(), mask + maskStride * 29);
        // Only the top-left pixel is transparent: last mask row, first bit.
        QCOMPARE(uchar(b[mask + 28 * maskStride]), uchar(0x80));
        for (int i = 0; i < 28 * maskStride; ++i)
            QCOMPARE(uchar(b[mask + i]), uchar(0));
    }

    void largestIconsAreStoredAsPng()
    {
        QImage small(16, 16, QImage::Format_ARGB32);
        small.fill(Qt::red);
        QImage large(256, 256, QImage::Format_ARGB32);
        large.fill(Qt::blue);
        const QByteArray b = icoBytes({small, large});
        QCOMPARE(le16(b, 4), 2u);
        QCOMPARE(uchar(b[6 + 16]), uchar(0)); // 0 means 256
        const quint32 offset = le32(b, 6 + 16 + 12);
        QVERIFY(b.mid(offset).startsWith("\x89PNG"));
        QVERIFY(icoBytes({QImage(257, 16, QImage::Format_ARGB32)}).isEmpty());
        QVERIFY(icoBytes({QImage()}).isEmpty());
        QVERIFY(icoBytes({}).isEmpty());
    }

    void writeIcoRefusesWhatAnIconCannotHold()
    {
        QTemporaryDir dir;
        const QString ico = dir.filePath(QStringLiteral("x.ico"));
        QString error;
        QVERIFY(!writeIco(QImage(), ico, &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!writeIco(QImage(16, 300, QImage::Format_RGB32), ico, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(ico));
        error.clear();
        QVERIFY(!writeIco(picture(QStringLiteral("dot")), dir.filePath(QStringLiteral("no/x.ico")), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(writeIco(picture(QStringLiteral("dot")), ico, &error));
        QCOMPARE(QImage(ico).pixel(0, 0), qRgb(12, 34, 56));
    }
};

QTEST_MAIN(TestNconvert)
#include "test_nconvert.moc"
