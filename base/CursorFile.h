// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <optional>

// Windows cursor files (.cur). Qt's image plugin reads the picture but drops the
// hotspot, so both come from here; every size and offset is checked because the
// file may come from anywhere.

struct CursorPicture {
    QImage image; // ARGB32, straight alpha
    QPoint hotspot;
};

// The hotspot of the entry that would be shown (the largest), or nullopt when the
// header or directory is not that of a cursor file.
std::optional<QPoint> cursorHotspot(const QByteArray& fileBytes);

// Picture and hotspot; nullopt for anything malformed.
std::optional<CursorPicture> decodeCursor(const QByteArray& fileBytes);

// Needs a QGuiApplication (QCursor). nullopt for a missing or malformed file.
std::optional<QCursor> loadCursorFile(const QString& path);
