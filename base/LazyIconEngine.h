// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHash>
#include <QIconEngine>
#include <QList>
#include <QPixmap>

// An icon with square pictures of fixed sides, each made only when something
// asks for that side. Building every picture up front costs milliseconds at
// start and memory for sizes no window or panel ever shows.
class LazyIconEngine : public QIconEngine
{
public:
    // keep: remember each picture made (worth it when it is drawn, not
    // when it is only decoded).
    LazyIconEngine(QList<int> sides, bool keep);

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    // The smallest side that covers the request, else the largest, scaled
    // down to the request as QIcon would.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;

protected:
    virtual QPixmap make(int side) const = 0;

private:
    QList<int> m_sides; // ascending
    bool m_keep;
    QHash<int, QPixmap> m_made;
};
