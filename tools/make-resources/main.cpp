// SPDX-License-Identifier: GPL-3.0-or-later

// Draws the committed artwork: the application icon (PNGs + a multi-size .ico)
// and the hand cursor HAND-M.CUR.
//
//   build/make-resources <resources folder>     (or: cmake --build build --target regenerate-resources)
//
// The icon's letter comes from the "Liberation Sans" bold font (Debian: fonts-liberation2);
// the 16 px icon and the cursor are pixel-exact and depend on no font.
#include "IcoWriter.h"

#include <QColor>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <cstdio>

namespace
{

const QColor kGround(0xE0, 0xFF, 0xFF); // light cyan
const QColor kLetter(0x1E, 0x50, 0xDC); // blue
const QColor kOutline(Qt::black);

const QList<int> kIconSizes = {16, 24, 32, 48, 64, 128, 256};

// The hotspot is the tip of the index finger.
const QPoint kHandHotspot(10, 1);

// At 16 px a scaled outline font blurs into mush, so the letter is set by hand.
// '.' ground, 'k' outline, 'b' letter.
const char* const kIcon16[16] = {
    "................", //
    "..kkkkkkkkk.....", //
    "..kbbbbbbbbkk...", //
    "..kbbbbbbbbbbk..", //
    "..kbbbkkkkbbbk..", //
    "..kbbbk..kbbbk..", //
    "..kbbbkkkkbbbk..", //
    "..kbbbbbbbbbk...", //
    "..kbbbbbbbbk....", //
    "..kbbbkkbbbbk...", //
    "..kbbbk.kbbbk...", //
    "..kbbbk.kbbbbk..", //
    "..kbbbk..kbbbk..", //
    "..kbbbk..kbbbbk.", //
    "..kkkkk..kkkkkk.", //
    "................", //
};

QImage icon16()
{
    QImage img(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const char c = kIcon16[y][x];
            img.setPixelColor(x, y, c == 'k' ? kOutline : c == 'b' ? kLetter : kGround);
        }
    }
    return img;
}

QImage drawIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(kGround);

    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    font.setPixelSize(200);
    QPainterPath letter;
    letter.addText(0, 0, font, QStringLiteral("R"));

    // Fit the glyph itself (not the font's line box) with a margin all round.
    const QRectF glyph = letter.boundingRect();
    const qreal margin = size * 0.14;
    const qreal scale = (size - 2 * margin) / glyph.height();
    QTransform t;
    t.translate(size / 2.0, size / 2.0);
    t.scale(scale, scale);
    t.translate(-glyph.center().x(), -glyph.center().y());
    letter = t.map(letter);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kOutline, qMax(1.0, size / 16.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kLetter);
    p.drawPath(letter);
    return img;
}

QPainterPath roundedRect(qreal x, qreal y, qreal w, qreal h, qreal r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

// A white hand with black outline, index finger up, the other fingers curled.
// Drawn without antialiasing: a cursor wants hard pixels and a clean mask.
QImage drawHand()
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);

    // Coordinates sit on pixel centres (+0.5) so a 1 px pen fills whole pixels.
    QPainterPath hand = roundedRect(8.5, 1.5, 4, 17, 2);   // index finger
    hand = hand.united(roundedRect(12.5, 9.5, 4, 10, 2));  // middle finger (curled)
    hand = hand.united(roundedRect(16.5, 10.5, 4, 9, 2));  // ring finger
    hand = hand.united(roundedRect(20.5, 12.5, 4, 8, 2));  // little finger
    hand = hand.united(roundedRect(8.5, 15.5, 16, 12, 3)); // palm
    hand = hand.united(roundedRect(10.5, 24.5, 12, 6, 1)); // wrist
    QPainterPath thumb = roundedRect(-9, -2.5, 12, 5, 2.5);
    thumb = QTransform().translate(10.5, 22.5).rotate(40).map(thumb);
    hand = hand.united(thumb);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    // Creases between the curled fingers and along the thumb.
    p.drawLine(QPointF(12.5, 11.5), QPointF(12.5, 16.5));
    p.drawLine(QPointF(16.5, 12.5), QPointF(16.5, 16.5));
    p.drawLine(QPointF(20.5, 14.5), QPointF(20.5, 16.5));
    return img;
}

bool savePng(const QImage& img, const QString& path)
{
    if (img.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "make-resources: cannot write %s\n", qPrintable(path));
    return false;
}

bool save(const QByteArray& bytes, const QString& path)
{
    QString error;
    if (!bytes.isEmpty() && writeFileAtomically(path, bytes, &error))
        return true;
    std::fprintf(stderr, "make-resources: %s\n", qPrintable(error.isEmpty() ? path : error));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Fonts and painting want a QGuiApplication; no display is needed for that.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("make-resources"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws the application icons and the hand cursor into an "
                                                    "existing resources folder."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("The resources folder."));
    if (!parser.parse(QGuiApplication::arguments())) {
        std::fprintf(stderr, "make-resources: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        parser.showHelp(0);
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        std::fputs("usage: make-resources <resources folder>\n", stderr);
        return 2;
    }
    // A mistyped argument must not grow a tree of icons somewhere.
    if (!QFileInfo(args[0]).isDir()) {
        std::fprintf(stderr, "make-resources: %s is not a folder\n", qPrintable(args[0]));
        return 2;
    }
    const QDir out(args[0]);
    if (!out.mkpath(QStringLiteral("icons"))) {
        std::fprintf(stderr, "make-resources: cannot create %s/icons\n", qPrintable(out.path()));
        return 1;
    }
    // A substitute font would silently change the artwork.
    QFont wanted(QStringLiteral("Liberation Sans"));
    wanted.setBold(true);
    if (QFontInfo(wanted).family() != QLatin1String("Liberation Sans")) {
        std::fputs("make-resources: the font \"Liberation Sans\" is missing (fonts-liberation2)\n", stderr);
        return 1;
    }

    QList<QImage> icons;
    for (int size : kIconSizes) {
        const QImage img = size == 16 ? icon16() : drawIcon(size);
        if (!savePng(img, out.filePath(QStringLiteral("icons/tepora-%1.png").arg(size))))
            return 1;
        icons.append(img);
    }
    if (!save(icoBytes(icons), out.filePath(QStringLiteral("icons/tepora.ico"))))
        return 1;
    if (!save(curBytes(drawHand(), kHandHotspot), out.filePath(QStringLiteral("HAND-M.CUR"))))
        return 1;
    return 0;
}
