// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/PictureBox.h"

#include <QPainter>
#include <QStyleOptionFrame>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    m_image = QImage(innerSize().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_image.fill(m_back);
}

QSize PictureBox::innerSize() const
{
    return QSize(qMax(0, width() - 2 * kBorder), qMax(0, height() - 2 * kBorder));
}

void PictureBox::setBackColor(const QColor& color)
{
    m_back = color;
    m_image.fill(color);
    update();
}

void PictureBox::print(const QPointF& topLeft, const QString& text, const QFont& font)
{
    QPainter painter(&m_image);
    painter.setFont(font);
    painter.setPen(m_fore);
    painter.drawText(QPointF(topLeft.x(), topLeft.y() + QFontMetricsF(font, &m_image).ascent()), text);
    update();
}

void PictureBox::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(kBorder, kBorder), m_image);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.frameShape = QFrame::Panel;
    frame.state |= QStyle::State_Sunken;
    frame.lineWidth = kBorder;
    frame.midLineWidth = 0;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
}

void PictureBox::resizeEvent(QResizeEvent*)
{
    const QSize size = innerSize().expandedTo(QSize(1, 1));
    if (size != m_image.size()) {
        QImage grown(size, QImage::Format_RGB32);
        grown.fill(m_back);
        QPainter(&grown).drawImage(0, 0, m_image);
        m_image = grown;
    }
}
