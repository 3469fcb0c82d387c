// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/LazyIconEngine.h"

#include <QPainter>

#include <algorithm>

LazyIconEngine::LazyIconEngine(QList<int> sides, bool keep) : m_sides(std::move(sides)), m_keep(keep)
{
    std::sort(m_sides.begin(), m_sides.end());
}

QList<QSize> LazyIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    QList<QSize> sizes;
    for (const int side : m_sides) {
        sizes.append(QSize(side, side));
    }
    return sizes;
}

QSize LazyIconEngine::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return pixmap(size, mode, state).size();
}

QPixmap LazyIconEngine::pixmap(const QSize& size, QIcon::Mode, QIcon::State)
{
    if (m_sides.isEmpty() || size.isEmpty()) {
        return {};
    }
    const int wanted = qMax(size.width(), size.height());
    const auto covering = std::lower_bound(m_sides.cbegin(), m_sides.cend(), wanted);
    const int chosen = covering == m_sides.cend() ? m_sides.last() : *covering;
    QPixmap picture = m_keep ? m_made.value(chosen) : QPixmap();
    if (picture.isNull()) {
        picture = make(chosen);
        if (m_keep) {
            m_made.insert(chosen, picture);
        }
    }
    return chosen == wanted && size.width() == size.height()
               ? picture
               : picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void LazyIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state)
{
    painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
}
