// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/TrayIconDrawing.h"

#include "base/LazyIconEngine.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>

#include <iterator>

namespace
{

constexpr int kDotsPerMeter96 = 3780; // 96 dots per inch
constexpr qreal kFullSize = 16.0;
constexpr qreal kSmallestSize = 6.0;

QFont iconFont(qreal pointSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(pointSize);
    return font;
}

// The part that must stay readable: the sign and digits, not the unit.
QString essentialPart(const QString& text)
{
    const qsizetype unit = text.indexOf(QStringLiteral(" \u00B0"));
    return unit < 0 ? text : text.left(unit);
}

// Room kept free at the right edge, in canvas pixels: at the smaller panel
// sizes the scaled glyphs land up to a pixel wider than measured here.
constexpr qreal kRightMargin = 1.5;

// The ink, not only the advance: a bold degree sign reaches past its advance.
bool fitsWhole(const QString& text, const QFontMetricsF& metrics)
{
    const qreal right = qMax(metrics.tightBoundingRect(text).right(), metrics.horizontalAdvance(text));
    return right <= kCanvasWidth - kRightMargin;
}

// What of `text` is drawn: all of it, or without the unit letter, or the
// sign and digits alone, whichever is the longest to fit whole. A glyph cut
// at the edge (half a degree sign) reads as a wrong figure.
QString wholePart(const QString& text, const QFontMetricsF& metrics)
{
    const qsizetype unit = text.indexOf(QStringLiteral(" \u00B0"));
    if (unit < 0) {
        return text;
    }
    for (const QString& candidate : {text, text.left(unit + 2)}) {
        if (fitsWhole(candidate, metrics)) {
            return candidate;
        }
    }
    return text.left(unit);
}

QImage blankCanvas()
{
    QImage image(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
    image.setDotsPerMeterX(kDotsPerMeter96);
    image.setDotsPerMeterY(kDotsPerMeter96);
    return image;
}

} // namespace

qreal trayIconPointSize(const QString& text)
{
    const QImage probe = blankCanvas();
    const QString essential = essentialPart(text);
    for (qreal size = kFullSize; size > kSmallestSize; size -= 0.5) {
        const QFontMetricsF metrics(iconFont(size), &probe);
        if (fitsWhole(essential, metrics)) {
            return size;
        }
    }
    return kSmallestSize;
}

namespace
{

// Draws on `image` in canvas pixels scaled by `scale`.
void paintTrayIcon(QImage& image, qreal scale, const QString& text, const QColor& fore, const QColor& back)
{
    image.fill(back);
    QPainter painter(&image);
    painter.scale(scale, scale);
    const QFont font = iconFont(trayIconPointSize(text));
    painter.setFont(font);
    painter.setPen(fore);
    // 16 x 16 units over the drawing area; y is centred in those units.
    const qreal unitY = kCanvasHeight / 16.0;
    const QFontMetricsF metrics(font, &image);
    const qreal heightUnits = metrics.height() / unitY;
    const qreal top = (8.0 - heightUnits / 2.0) * unitY;
    painter.drawText(QPointF(0, top + metrics.ascent()), wholePart(text, metrics));
}

} // namespace

QImage drawTrayIcon(const QString& text, const QColor& fore, const QColor& back)
{
    QImage image = blankCanvas();
    paintTrayIcon(image, 1.0, text, fore, back);
    return image;
}

QImage drawTrayIcon(const QString& text, const QColor& fore, const QColor& back, int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    // Same resolution as the canvas, so that points come out as the same
    // number of canvas pixels before scaling.
    image.setDotsPerMeterX(kDotsPerMeter96);
    image.setDotsPerMeterY(kDotsPerMeter96);
    paintTrayIcon(image, qreal(size) / kCanvasHeight, text, fore, back);
    return image;
}

namespace
{

// Draws a panel size only when something asks for it: a refresh replaces the
// icon every poll, and most trays show a single size of it.
class PanelSizesEngine : public LazyIconEngine
{
public:
    PanelSizesEngine(const QIcon& own, const QString& text, const QColor& fore, const QColor& back)
        : LazyIconEngine({std::begin(kPanelSizes), std::end(kPanelSizes)}, true), m_own(own), m_text(text),
          m_fore(fore), m_back(back)
    {
    }

    QIconEngine* clone() const override { return new PanelSizesEngine(*this); }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        QList<QSize> sizes = m_own.availableSizes(mode, state);
        for (const QSize& size : LazyIconEngine::availableSizes(mode, state)) {
            if (!sizes.contains(size)) {
                sizes.append(size);
            }
        }
        return sizes;
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (m_own.availableSizes(mode, state).contains(size)) {
            return m_own.pixmap(size, mode, state);
        }
        return LazyIconEngine::pixmap(size, mode, state);
    }

protected:
    QPixmap make(int side) const override
    {
        return QPixmap::fromImage(drawTrayIcon(m_text, m_fore, m_back, side));
    }

private:
    QIcon m_own;
    QString m_text;
    QColor m_fore;
    QColor m_back;
};

} // namespace

QIcon withPanelSizes(const QIcon& icon, const QString& text, const QColor& fore, const QColor& back)
{
    return QIcon(new PanelSizesEngine(icon, text, fore, back));
}

QColor colorFromStored(qint32 value)
{
    const quint32 v = static_cast<quint32>(value);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

qint32 storedFromColor(const QColor& color)
{
    return color.red() + color.green() * 256 + color.blue() * 65536;
}
