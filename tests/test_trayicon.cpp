// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScriptedModal.h"
#include "TestEnv.h"

#include "base/Failure.h"
#include "base/ProcessRunner.h"
#include "tray/IconPipeline.h"
#include "tray/TrayIconDrawing.h"
#include "tray/TrayTexts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>
#include <QTextDocument>
#include <QTimer>

namespace
{

// Columns (x) where some pixel differs from the background.
QList<int> inkedColumns(const QImage& image, const QColor& back)
{
    QList<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y) != back) {
                columns.append(x);
                break;
            }
        }
    }
    return columns;
}

// The last inked column of `text` drawn on a canvas wide enough for all of it.
int uncutRightEdge(const QString& text, qreal pointSize)
{
    QImage wide(4 * kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
    wide.setDotsPerMeterX(3780);
    wide.setDotsPerMeterY(3780);
    wide.fill(Qt::white);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(pointSize);
    QPainter painter(&wide);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(0, kCanvasHeight - 4), text);
    painter.end();
    const QList<int> columns = inkedColumns(wide, Qt::white);
    return columns.isEmpty() ? -1 : columns.last();
}

QString quoted(const QString& path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

// A script that writes one argument per line to `out` and exits with `code`.
QByteArray argumentEcho(const QString& out, int code)
{
    return "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out.toUtf8() + "'\nexit " +
           QByteArray::number(code) + "\n";
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<double>("curTemp");
        QTest::addColumn<TempUnit>("unit");
        QTest::addColumn<QString>("city");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("status");
        const QString F = QStringLiteral(" \u00B0F");
        const QString C = QStringLiteral(" \u00B0C");
        QTest::newRow("78 F") << 78.0 << TempUnit::Fahrenheit << "San Diego"
                              << "78" + F << "78" + F << "The current temperature in San Diego is 78" + F;
        QTest::newRow("-3 C") << -3.0 << TempUnit::Celsius << "Paris"
                              << "-3" + C << "-3" + C << "The current temperature in Paris is -3" + C;
        QTest::newRow("0, no unit") << 0.0 << TempUnit::None << "San Diego"
                                    << "0"
                                    << "0"
                                    << "The current temperature in San Diego is 0";
        QTest::newRow("-4999 is a reading")
            << -4999.0 << TempUnit::Celsius << "Oslo"
            << "-4999" + C << "-4999" + C << "The current temperature in Oslo is -4999" + C;
        QTest::newRow("1234 no separator")
            << 1234.0 << TempUnit::Fahrenheit << "Hot"
            << "1234" + F << "1234" + F << "The current temperature in Hot is 1234" + F;
        QTest::newRow("rejected key")
            << InvalidKeyTemp << TempUnit::Fahrenheit << "San Diego CA"
            << "API Key is not correct."
            << "N/A"
            << "The current temperature in San Diego CA is unavailable because API Key is not correct.";
        QTest::newRow("unknown city")
            << UnknownCityTemp << TempUnit::Celsius << "Sna Diego"
            << "location is not correct."
            << "N/A"
            << "The current temperature in Sna Diego is unavailable because location is not correct.";
        QTest::newRow("no answer")
            << NoReadingTemp << TempUnit::Celsius << "San Diego CA"
            << "no answer came."
            << "N/A"
            << "The current temperature in San Diego CA is unavailable because no answer came.";
        QTest::newRow("asked to wait")
            << AskedToWaitTemp << TempUnit::Celsius << "San Diego CA"
            << "the service asked to wait."
            << "N/A"
            << "The current temperature in San Diego CA is unavailable because the "
               "service asked to wait.";
        QTest::newRow("offline") << WaitsForNetworkTemp << TempUnit::Celsius << "San Diego"
                                 << "the reading waits for the network."
                                 << "N/A"
                                 << "The current temperature in San Diego is unavailable because the reading "
                                    "waits for the network.";
        // The tray's tooltip on X11 shows markup in its first line as rich text.
        QTest::newRow("markup in the name")
            << 290.0 << TempUnit::Celsius << "<b>Big</b><br>"
            << "290" + C << "290" + C << "The current temperature in <b>Big</b><br> is 290" + C;
        QTest::newRow("other unavailable") << -5001.0 << TempUnit::Fahrenheit << "San Diego"
                                           << ""
                                           << "N/A"
                                           << "The current temperature in San Diego is unavailable because ";
    }
    void texts()
    {
        QFETCH(double, curTemp);
        QFETCH(TempUnit, unit);
        QFETCH(QString, city);
        QFETCH(QString, reading);
        QFETCH(QString, icon);
        QFETCH(QString, status);
        const TemperatureTexts t = temperatureTexts(curTemp, unit, city);
        QCOMPARE(t.readingText, reading);
        QCOMPARE(t.iconText, icon);
        QCOMPARE(t.statusLine, status);
        QCOMPARE(t.tooltip, "Tepora\r\n" + city + ", " + reading);
        QVERIFY(!Qt::mightBeRichText(t.tooltip));
    }

    void drawing_data()
    {
        QTest::addColumn<QColor>("fore");
        QTest::addColumn<QColor>("back");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white);
        QTest::newRow("yellow on blue") << QColor(Qt::yellow) << QColor(Qt::blue);
        QTest::newRow("red on dark green") << QColor(255, 0, 0) << QColor(0, 80, 0);
    }
    void drawing()
    {
        QFETCH(QColor, fore);
        QFETCH(QColor, back);
        const QImage image = drawTrayIcon(QStringLiteral("78 \u00B0F"), fore, back);
        QCOMPARE(image.size(), QSize(kCanvasWidth, kCanvasHeight));
        QCOMPARE(image.size(), QSize(28, 29));
        int foreCount = 0;
        int top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                // Only the two colours and the blends of their edges.
                for (auto [p, f, b] : {std::tuple{c.red(), fore.red(), back.red()},
                                       std::tuple{c.green(), fore.green(), back.green()},
                                       std::tuple{c.blue(), fore.blue(), back.blue()}}) {
                    QVERIFY2(p >= qMin(f, b) && p <= qMax(f, b),
                             qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
                }
                if (c == fore) {
                    ++foreCount;
                }
                if (c != back) {
                    top = qMin(top, y);
                    bottom = qMax(bottom, y);
                }
            }
        }
        QVERIFY2(foreCount > 20, "the digits are not drawn in the font colour");
        // From the left edge, centred vertically, unshrunk for two digits.
        const QList<int> columns = inkedColumns(image, back);
        QVERIFY(!columns.isEmpty());
        QVERIFY2(columns.first() <= 2, qPrintable(QString::number(columns.first())));
        QVERIFY2(qAbs((top + bottom) / 2.0 - image.height() / 2.0) <= 3,
                 qPrintable(QStringLiteral("ink rows %1..%2").arg(top).arg(bottom)));
        QCOMPARE(trayIconPointSize(QStringLiteral("78 \u00B0F")), 16.0);
        QCOMPARE(image.pixelColor(0, 0), back);
        QCOMPARE(image.pixelColor(27, 28), back);
    }

    // Panels get the picture drawn at their own size: the same layout as the
    // canvas (checked where the canvas's height is the size), every size there.
    void panelSizesAreDrawnAtSize()
    {
        const QString text = QStringLiteral("-12 \u00B0C");
        const QColor fore(Qt::white), back(0, 0, 160);
        const QImage canvas = drawTrayIcon(text, fore, back);
        const QImage same = drawTrayIcon(text, fore, back, kCanvasHeight);
        QCOMPARE(same.size(), QSize(kCanvasHeight, kCanvasHeight));
        QCOMPARE(same.copy(0, 0, kCanvasWidth, kCanvasHeight), canvas);

        const QIcon converted(QPixmap::fromImage(canvas));
        const QIcon icon = withPanelSizes(converted, text, fore, back);
        for (const int size : kPanelSizes) {
            const QImage drawn =
                icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(drawn, drawTrayIcon(text, fore, back, size));
        }
        QCOMPARE(icon.pixmap(canvas.size()).toImage().convertToFormat(QImage::Format_RGB32), canvas);
    }

    void sameColoursGiveAPlainPatch()
    {
        const QColor colour(12, 34, 56);
        const QImage image = drawTrayIcon(QStringLiteral("78 \u00B0F"), colour, colour);
        QVERIFY(inkedColumns(image, colour).isEmpty());
    }

    // Every digit stays visible; only the unit may be cut at the right edge.
    void longReadingsShrinkToFit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digits");
        QTest::newRow("-100 F") << QStringLiteral("-100 \u00B0F") << QStringLiteral("-100");
        QTest::newRow("-4999 C") << QStringLiteral("-4999 \u00B0C") << QStringLiteral("-4999");
        QTest::newRow("N/A") << QStringLiteral("N/A") << QStringLiteral("N/A");
    }
    void longReadingsShrinkToFit()
    {
        QFETCH(QString, text);
        QFETCH(QString, digits);
        const QColor back(Qt::white);
        const qreal size = trayIconPointSize(text);
        QCOMPARE(trayIconPointSize(digits), size);
        if (digits.size() >= 4) {
            QVERIFY2(size < 16, "a long reading should need a smaller font");
        }
        const QImage alone = drawTrayIcon(digits, Qt::black, back);
        const QList<int> columns = inkedColumns(alone, back);
        QVERIFY(!columns.isEmpty());
        // Nothing of the digits is cut off at the right edge.
        const int edge = uncutRightEdge(digits, size);
        QVERIFY2(edge < kCanvasWidth, qPrintable(QStringLiteral("digits need column %1").arg(edge)));
        QCOMPARE(columns.last(), edge);
        QVERIFY2(columns.last() - columns.first() >= kCanvasWidth / 2, "shrunk further than needed");
        // With the unit behind them the digits are drawn the same.
        const QImage full = drawTrayIcon(text, Qt::black, back);
        for (int x = 0; x <= columns.last(); ++x) {
            for (int y = 0; y < alone.height(); ++y) {
                QCOMPARE(full.pixelColor(x, y), alone.pixelColor(x, y));
            }
        }
    }

    // Every whole degree a reading can show, in both units, at every panel
    // size: nothing runs off the right edge (a cut glyph would ink the last
    // column), and the sign and digits are always there as drawn alone.
    void nothingIsClippedAtAnySize_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("unit");
        for (const int size : kPanelSizes) {
            for (const char* unit : {"F", "C"}) {
                QTest::addRow("%d px, %s", size, unit) << size << QString::fromLatin1(unit);
            }
        }
    }
    void nothingIsClippedAtAnySize()
    {
        QFETCH(int, size);
        QFETCH(QString, unit);
        const QColor back(Qt::white);
        for (int degrees = -99; degrees <= 199; ++degrees) {
            const QString digits = QString::number(degrees);
            const QString text = digits + QStringLiteral(" \u00B0") + unit;
            const QImage full = drawTrayIcon(text, Qt::black, back, size);
            QVERIFY2(inkedColumns(full, back).last() < size - 1, qPrintable(text));
            const QImage alone = drawTrayIcon(digits, Qt::black, back, size);
            for (int x = 0; x <= inkedColumns(alone, back).last(); ++x) {
                for (int y = 0; y < size; ++y) {
                    QVERIFY2(full.pixelColor(x, y) == alone.pixelColor(x, y), qPrintable(text));
                }
            }
        }
    }

    void storedColours_data()
    {
        QTest::addColumn<qint32>("stored");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("blue") << qint32(16711680) << QColor(0, 0, 255);
        QTest::newRow("yellow") << qint32(65535) << QColor(255, 255, 0);
        QTest::newRow("red") << qint32(255) << QColor(255, 0, 0);
        QTest::newRow("black") << qint32(0) << QColor(0, 0, 0);
        QTest::newRow("white") << qint32(16777215) << QColor(255, 255, 255);
        QTest::newRow("mixed") << qint32(0x123456) << QColor(0x56, 0x34, 0x12);
    }
    void storedColours()
    {
        QFETCH(qint32, stored);
        QFETCH(QColor, colour);
        QCOMPARE(colorFromStored(stored), colour);
        QCOMPARE(storedFromColor(colour), stored);
    }

    void runAndWait_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("success") << "true" << 0;
        QTest::newRow("exit code") << "sh -c \"exit 3\"" << 3;
        QTest::newRow("quoted argument") << "sh -c \"test 'a b' = 'a b' && exit 4\"" << 4;
        QTest::newRow("missing program")
            << "/nonexistent/nconvert -out ico x.bmp" << int(kRunAndWaitNotStarted);
        QTest::newRow("empty command") << "" << int(kRunAndWaitNotStarted);
        QTest::newRow("killed by a signal") << "sh -c \"kill -9 $$\"" << -1;
    }
    void runAndWait()
    {
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QCOMPARE(QCoro::waitFor(RunAndWait(command, 0)), exitCode);
    }

    void runAndWaitKeepsEventsRunning()
    {
        bool ticked = false;
        QTimer::singleShot(50, this, [&] { ticked = true; });
        QCOMPARE(QCoro::waitFor(RunAndWait(QStringLiteral("sleep 0.5"), 0)), 0);
        QVERIFY(ticked);
    }

    void runAndWaitKillsAHungCommand()
    {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(QCoro::waitFor(RunAndWait(QStringLiteral("sleep 30"), 0, 300)), -1);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    }

    // The converter's own command line: both paths quoted, spaces inside.
    void runAndWaitWithQuotedPaths()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/Program Files/My Tools");
        QVERIFY(QDir().mkpath(folder));
        const QString tool = folder + QStringLiteral("/n convert");
        const QString out = dir.path() + QStringLiteral("/args.txt");
        const QString bmp = folder + QStringLiteral("/CurTemp.bmp");
        WriteNewFile(argumentEcho(out, 7), tool);
        QCOMPARE(QCoro::waitFor(RunAndWait(quoted(tool) + QStringLiteral(" -out ico ") + quoted(bmp), 0)), 7);
        QCOMPARE(QString::fromUtf8(readAll(out)), QStringLiteral("-out\nico\n") + bmp + QLatin1Char('\n'));
    }

    void windowStyle_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("used");
        QTest::newRow("missing") << -1 << 6;
        QTest::newRow("hidden") << 0 << 0;
        QTest::newRow("normal") << 1 << 1;
        QTest::newRow("6") << 6 << 6;
        QTest::newRow("7") << 7 << 6;
        QTest::newRow("very negative") << -100 << 6;
    }
    void windowStyle()
    {
        QFETCH(int, requested);
        QFETCH(int, used);
        QCOMPARE(normalisedWindowStyle(requested), used);
    }

    void deployAndRemoveConverter()
    {
        TestEnv env;
        ScriptedModal modal;
        const QString path = env.path() + QStringLiteral("/temp/nconvert");
        const QByteArray bytes = argumentEcho(env.path() + QStringLiteral("/ran.txt"), 5);

        WriteNewFile(bytes, path);
        QCOMPARE(readAll(path), bytes);
        QVERIFY(QFileInfo(path).isExecutable());
        QCOMPARE(QCoro::waitFor(RunAndWait(quoted(path), 0)), 5);

        // Whatever has the name is taken to be the converter, even an empty file.
        QFile::resize(path, 0);
        WriteNewFile(bytes, path);
        QCOMPARE(QFileInfo(path).size(), 0);

        RemoveFile(path);
        QVERIFY(!QFileInfo::exists(path));
        RemoveFile(path); // already gone: silent

        WriteNewFile(bytes, path);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        RemoveFile(path);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(modal.shown.isEmpty());
        QVERIFY(QDir(env.path() + QStringLiteral("/temp")).isEmpty());
    }

    void converterThatCannotBeWritten()
    {
        TestEnv env;
        const QString path = env.path() + QStringLiteral("/missing folder/nconvert");
        try {
            WriteNewFile(QByteArray("x"), path);
            QFAIL("no failure raised");
        } catch (const Failure& failure) {
            QCOMPARE(failure.description(), Failure::pathFileAccess().description());
        }
        QVERIFY(!QFileInfo::exists(path));
    }
};

QTEST_MAIN(TestTrayIcon)
#include "test_trayicon.moc"
