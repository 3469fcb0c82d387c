// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>

// A picture box: a sunken frame around a drawing surface kept in memory, with
// a fore colour for text and a back colour that clears the surface when set.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget* parent = nullptr);

    QColor foreColor() const { return m_fore; }
    void setForeColor(const QColor& color) { m_fore = color; }
    QColor backColor() const { return m_back; }
    // Clears the whole surface to the new colour, as the old control did.
    void setBackColor(const QColor& color);

    QSize innerSize() const;
    // Draws text in the fore colour with its top-left corner at `topLeft`.
    void print(const QPointF& topLeft, const QString& text, const QFont& font);
    // Replaces the surface (the drawn tray icon).
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor m_fore = Qt::black;
    QColor m_back = Qt::white;
    QImage m_image;
};
