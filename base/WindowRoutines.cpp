// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/WindowRoutines.h"

#include "base/Latch.h"

#include "base/CursorFile.h"
#include "base/Failure.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace
{

void setBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

void ApplyButtonFace(QWidget* window)
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    setBackground(window, face);
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)) {
            setBackground(child, face);
        }
    }
}

void applyHandPointer(QWidget* window, const QString& cursorFile)
{
    const std::optional<QCursor> hand = loadCursorFile(cursorFile);
    if (!hand) {
        throw Failure(QStringLiteral("Invalid picture"));
    }
    const auto buttons = window->findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setCursor(*hand);
    }
}

void applyButtonFonts(QWidget* window)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(11.25);
    font.setBold(true);
    const auto buttons = window->findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setFont(font);
    }
}

namespace
{

class SelectAllOnFocus : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
            auto* box = static_cast<QLineEdit*>(watched);
            // After the click that gave the focus has placed the cursor.
            QTimer::singleShot(0, box, [box] { box->selectAll(); });
        }
        return false;
    }
};

} // namespace

void selectAllOnFocus(QLineEdit* box)
{
    box->installEventFilter(new SelectAllOnFocus(box));
}

void centreOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect frame = window->frameGeometry();
    // Before the first show the frame is not known yet; the inner size is.
    const QSize size = frame.size().expandedTo(window->size());
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

namespace
{

// Kept on the window itself, where the box's choice reads it.
constexpr char kMinimizeAsked[] = "teporaMinimizeAsked";

class MinimizeWatch : public QObject
{
public:
    explicit MinimizeWatch(QWidget* window) : QObject(window), m_window(window)
    {
        window->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
            m_window->setProperty(kMinimizeAsked, false);
            follow();
        }
        return false;
    }

private:
    // The native window is made at the first show, and made anew when the
    // window flags change.
    void follow()
    {
        QWindow* handle = m_window->windowHandle();
        if (!handle || handle == m_handle) {
            return;
        }
        m_handle = handle;
        connect(handle, &QWindow::windowStateChanged, this, [this](Qt::WindowState state) {
            if (state == Qt::WindowMinimized) {
                m_window->setProperty(kMinimizeAsked, true);
            } else if (!onWayland()) {
                // Elsewhere the window system's word is the last one; on
                // Wayland this is only Qt taking its own request back.
                m_window->setProperty(kMinimizeAsked, false);
            }
        });
    }

    QWidget* m_window;
    QPointer<QWindow> m_handle;
};

} // namespace

void watchMinimize(QWidget* window)
{
    if (!window->property(kMinimizeAsked).isValid()) {
        window->setProperty(kMinimizeAsked, false);
        new MinimizeWatch(window);
    }
}

bool showOverOwner(const OwnerState& owner)
{
    return owner.visible && !owner.minimized && owner.active;
}

OwnerState ownerState(const QWidget* window)
{
    OwnerState state;
    if (!window) {
        return state;
    }
    const QWindow* handle = window->windowHandle();
    state.visible = window->isVisible();
    state.minimized = window->isMinimized() || (handle && (handle->windowStates() & Qt::WindowMinimized)) ||
                      window->property(kMinimizeAsked).toBool();
    state.active = window->isActiveWindow();
    return state;
}

QWidget* boxParent(QWidget* owner)
{
    return showOverOwner(ownerState(owner)) ? owner : nullptr;
}

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QString plainToolTip(const QString& text)
{
    if (text.isEmpty()) {
        return text;
    }
    // Qt guesses whether a tooltip is markup; escaped text in a paragraph
    // is always shown as the characters it holds.
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    return QStringLiteral("<p style='white-space:pre-wrap'>") + escaped + QStringLiteral("</p>");
}

QCoro::Task<int> shownUntilClosed(QDialog* dialog)
{
    Latch closed;
    int result = QDialog::Rejected;
    QObject::connect(dialog, &QDialog::finished, &closed, [&](int code) {
        result = code;
        closed.open();
    });
    QObject::connect(dialog, &QObject::destroyed, &closed, &Latch::open);
    dialog->show();
    co_await closed.wait();
    co_return result;
}

bool isActivationToken(const QString& token)
{
    if (token.isEmpty() || token.size() > kMaxActivationTokenLength) {
        return false;
    }
    return std::all_of(token.begin(), token.end(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

void bringForward(QWidget* window, const QString& activationToken)
{
    const bool token = isActivationToken(activationToken);
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    if (onWayland() && !token && window->isVisible()) {
        window->hide();
    }
    window->show();
    window->raise();
    if (!token) {
        window->activateWindow();
        return;
    }
    // Qt 6.4 takes a token from outside only through this variable, read
    // (and cleared) when the window asks to be activated.
    qputenv("XDG_ACTIVATION_TOKEN", activationToken.toLatin1());
    window->activateWindow();
    // One use only; where the compositor has no activation Qt leaves it.
    qunsetenv("XDG_ACTIVATION_TOKEN");
}
