// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

// The drawing area of the tray icon canvas, in pixels.
constexpr int kCanvasWidth = 28;
constexpr int kCanvasHeight = 29;

// Draws the icon text from the left edge, centred vertically in a 16 x 16
// unit coordinate system, in bold Arial on the background colour. The font is
// 16 pt unless the text before the unit suffix would not fit the width; then
// it shrinks until it does, so the icon never shows a wrong number. The degree
// sign and the unit letter are drawn when they fit whole, never cut.
QImage drawTrayIcon(const QString& text, const QColor& fore, const QColor& back);

// The same picture drawn afresh on a square of `size` pixels (the canvas's
// height fills it), so that the digits stay sharp at any size.
QImage drawTrayIcon(const QString& text, const QColor& fore, const QColor& back, int size);

// The sizes tray panels ask for, in pixels, at 1x and 2x (Plasma at 2x asks for 44).
inline constexpr int kPanelSizes[] = {16, 22, 24, 32, 44, 48, 64};

// `icon` with the picture drawn at each panel size added, each drawn when it
// is first asked for; a size the icon already has keeps the icon's own picture.
QIcon withPanelSizes(const QIcon& icon, const QString& text, const QColor& fore, const QColor& back);

// The point size drawTrayIcon uses for a text.
qreal trayIconPointSize(const QString& text);

// Colours as the settings store them: red + green * 256 + blue * 65536.
QColor colorFromStored(qint32 value);
qint32 storedFromColor(const QColor& color);
