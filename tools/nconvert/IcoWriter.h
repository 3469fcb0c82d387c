// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "IcoLayout.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

// Windows icon (.ico) and cursor (.cur) files from QImages, written without Qt's
// ico plugin so that odd sizes such as 28 x 29 survive and cursors get their
// hotspot. The byte layout is IcoLayout's, shared with the converter program.

struct IconImage {
    QImage image;
    QPoint hotspot;   // cursors only
    bool png = false; // stored as PNG instead of a DIB (Vista style, for 256 px)
};

// File bytes of an icon (type 1) or cursor (type 2) with one entry per image.
// Empty when there is no image, an image is null or a side is beyond 256.
QByteArray iconFileBytes(quint16 type, const QList<IconImage>& images);

// Convenience: every image as a 32-bit DIB with AND mask, 256 px ones as PNG.
QByteArray icoBytes(const QList<QImage>& images);
QByteArray curBytes(const QImage& image, QPoint hotspot);

// Replaces `path` in one step (temporary file + rename), so readers never see half a file.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error);

bool writeIco(const QImage& image, const QString& path, QString* error);

// /x/CurTemp.bmp -> /x/CurTemp.ico
QString icoPathFor(const QString& bitmapPath);
