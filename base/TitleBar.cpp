// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/TitleBar.h"

#include "base/WindowRoutines.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

bool serverSideDecorations(); // per platform

namespace
{

constexpr int kBarHeight = 30;

class TitleBar : public QWidget
{
public:
    explicit TitleBar(QWidget* window) : QWidget(window), m_title(new QLabel(this))
    {
        setObjectName(QStringLiteral("TitleBar"));
        setAutoFillBackground(true);
        QPalette bar = palette();
        bar.setColor(QPalette::Window, bar.color(QPalette::Button));
        setPalette(bar);

        m_title->setObjectName(QStringLiteral("TitleBarText"));
        m_title->setTextFormat(Qt::PlainText);
        m_title->setText(window->windowTitle());
        QFont font = m_title->font();
        font.setBold(true);
        m_title->setFont(font);
        auto* close = new QPushButton(QStringLiteral("\u2715"), this);
        close->setObjectName(QStringLiteral("TitleBarClose"));
        close->setAccessibleName(QStringLiteral("Close"));
        close->setFlat(true);
        close->setFocusPolicy(Qt::NoFocus);
        close->setFixedSize(kBarHeight - 6, kBarHeight - 6);
        connect(close, &QPushButton::clicked, window, &QWidget::close);

        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8, 0, 3, 0);
        row->addWidget(m_title, 1);
        row->addWidget(close);
        setGeometry(0, 0, window->width(), kBarHeight);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::WindowTitleChange) {
            m_title->setText(parentWidget()->windowTitle());
        }
        return false;
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        QWindow* handle = window()->windowHandle();
        if (event->button() == Qt::LeftButton && handle) {
            handle->startSystemMove();
        }
    }

private:
    QLabel* m_title;
};

} // namespace

bool titleBarsLeftToProgram()
{
    static const bool leftToUs = onWayland() && !serverSideDecorations();
    return leftToUs;
}

void useOwnTitleBar(QWidget* window)
{
    const auto children = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (!child->isWindow()) {
            child->move(child->x(), child->y() + kBarHeight);
        }
    }
    const QSize inside = window->size();
    // Qt drops the frameless hint while any part of a title bar is asked for.
    window->setWindowFlags(
        (window->windowFlags() & (Qt::WindowType_Mask | Qt::MSWindowsFixedSizeDialogHint)) |
        Qt::FramelessWindowHint);
    window->setFixedSize(inside.width(), inside.height() + kBarHeight);
    new TitleBar(window);
}
