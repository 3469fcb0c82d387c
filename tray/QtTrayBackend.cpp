// SPDX-License-Identifier: GPL-3.0-or-later

#include "QtTrayBackend.h"

#include "TrayHost.h"
#include "unix/StatusNotifierItem.h"

#include <QMenu>

TrayBackend* TrayBackend::create(const QIcon& fallbackIcon, QObject* parent)
{
    return new QtTrayBackend(fallbackIcon, TrayHost::create(nullptr), parent);
}

QtTrayBackend::QtTrayBackend(const QIcon& fallbackIcon, TrayHost* host, QObject* parent)
    : TrayBackend(parent), m_fallback(fallbackIcon), m_host(host), m_balloonTimer(new QTimer(this))
{
    m_host->setParent(this);
    m_balloonTimer->setSingleShot(true);
    connect(m_balloonTimer, &QTimer::timeout, this, [this] {
        if (m_item) {
            m_item->endAttention();
        }
        emit trayEvent(TrayEvent::BalloonTimedOut);
    });
    connect(m_host, &TrayHost::changed, this, &QtTrayBackend::hostChanged);
}

QtTrayBackend::~QtTrayBackend() = default;

bool QtTrayBackend::available() const
{
    return m_host->statusNotifier() ? m_item && m_item->isVisible() : m_tray && m_host->present();
}

void QtTrayBackend::add(const QIcon* icon, const QString* tip)
{
    const QIcon wanted = icon && !icon->isNull() ? *icon : m_fallback;
    const QString wantedTip = tip ? *tip : QString();
    if (m_shown && (m_tray || m_item) && wanted.cacheKey() == m_icon.cacheKey() && wantedTip == m_tip) {
        return; // shown as asked already: SNI hosts would fetch every picture again
    }
    m_icon = wanted;
    m_tip = wantedTip;
    m_shown = true;
    if (m_item) {
        m_item->setIcon(m_icon);
        m_item->setToolTip(m_tip);
    }
    if (m_tray) {
        m_tray->setIcon(m_icon);
        m_tray->setToolTip(m_tip);
    }
    place();
}

void QtTrayBackend::modifyIcon(const QIcon& icon)
{
    m_icon = icon;
    if (m_item) {
        m_item->setIcon(icon);
    }
    if (m_tray) {
        m_tray->setIcon(icon);
    }
}

// The tip goes as it is, place name and all. On X11 the tooltip takes markup
// only in its first line, which is always the program's name; tray hosts over
// D-Bus get it as the tooltip's title, which is plain text. Escaped, it would
// show "&lt;" on both.
void QtTrayBackend::modifyTip(const QString& tip)
{
    m_tip = tip;
    if (m_item) {
        m_item->setToolTip(tip);
    }
    if (m_tray) {
        m_tray->setToolTip(tip);
    }
}

void QtTrayBackend::balloon(const QString& title, const QString& text, int timeoutMs)
{
    m_balloonTimer->stop();
    const bool onItem = m_item && m_item->isVisible();
    if (title.isEmpty() && text.isEmpty() && onItem) {
        m_item->closeMessage();
    }
    if ((!m_tray && !onItem) || (title.isEmpty() && text.isEmpty())) {
        // QSystemTrayIcon has no call to withdraw a message, and an empty one
        // would show as a blank notification on some desktops; the balloon was
        // shown with the same timeout and goes by itself. Report it gone,
        // posted like the shell's own notifications. Without a tray there
        // is nothing to show it next to.
        QTimer::singleShot(0, this, [this] { emit trayEvent(TrayEvent::BalloonHidden); });
        return;
    }
    // 0 asks for the system's default; freedesktop servers read 0 as "never expire".
    const int ms = timeoutMs > 0 ? timeoutMs : DefaultBalloonMs;
    if (onItem) {
        m_item->showMessage(title, text, ms);
    } else {
        m_tray->showMessage(title, text, QSystemTrayIcon::NoIcon, ms);
    }
    // Not every server says when a notification has gone.
    m_balloonTimer->start(ms);
}

void QtTrayBackend::remove()
{
    m_shown = false;
    m_balloonTimer->stop();
    if (m_item) {
        m_item->closeMessage();
        m_item->setVisible(false);
    }
    if (m_tray) {
        m_tray->hide();
    }
}

QString QtTrayBackend::takeActivationToken()
{
    return m_item ? m_item->takeActivationToken() : QString();
}

void QtTrayBackend::hostChanged()
{
    place();
}

void QtTrayBackend::place()
{
    if (!m_shown) {
        return;
    }
    if (m_host->statusNotifier()) {
        // Our own item from now on; an XEmbed icon would be a second one.
        delete m_tray;
        m_tray = nullptr;
        if (!m_item) {
            makeItem();
        }
        m_item->setVisible(true);
        return;
    }
    if (m_item) {
        m_item->setVisible(false);
    }
    if (!m_host->present()) {
        return; // a StatusNotifierItem host that went keeps the item for its return
    }
    if (!m_tray) {
        makeTrayIcon();
    } else {
        m_tray->show();
    }
}

void QtTrayBackend::makeItem()
{
    // These hosts open the item's own menu on a right-click and never
    // report the click, so the menu is the only way there. On XEmbed
    // trays every button's release reaches the program instead.
    m_menu = std::make_unique<QMenu>();
    // Queued: the host's request is answered before the window moves or
    // the program ends.
    connect(
        m_menu->addAction(QStringLiteral("Restore")), &QAction::triggered, this,
        [this] { emit trayEvent(TrayEvent::MenuRestore); }, Qt::QueuedConnection);
    connect(
        m_menu->addAction(QStringLiteral("Exit")), &QAction::triggered, this,
        [this] { emit trayEvent(TrayEvent::MenuExit); }, Qt::QueuedConnection);
    m_item = new StatusNotifierItem(m_menu.get(), this);
    connect(m_item, &StatusNotifierItem::clicked, this, [this](StatusNotifierItem::Click click) {
        switch (click) {
        case StatusNotifierItem::Click::Primary:
            onActivated(QSystemTrayIcon::Trigger);
            break;
        case StatusNotifierItem::Click::Context:
            onActivated(QSystemTrayIcon::Context);
            break;
        case StatusNotifierItem::Click::Secondary:
            onActivated(QSystemTrayIcon::MiddleClick);
            break;
        }
    });
    connect(m_item, &StatusNotifierItem::messageClicked, this, &QtTrayBackend::onMessageClicked);
    connect(m_item, &StatusNotifierItem::messageClosed, this, [this](bool timedOut) {
        balloonEnded(timedOut ? TrayEvent::BalloonTimedOut : TrayEvent::BalloonHidden);
    });
    m_item->setIcon(m_icon.isNull() ? m_fallback : m_icon);
    m_item->setToolTip(m_tip);
}

void QtTrayBackend::makeTrayIcon()
{
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, &QtTrayBackend::onActivated);
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &QtTrayBackend::onMessageClicked);
    m_tray->setIcon(m_icon.isNull() ? m_fallback : m_icon);
    m_tray->setToolTip(m_tip);
    m_tray->show();
}

void QtTrayBackend::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Qt reports whole clicks; the control expects down/up pairs.
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        emit trayEvent(TrayEvent::LeftButtonDown);
        emit trayEvent(TrayEvent::LeftButtonUp);
        break;
    case QSystemTrayIcon::Context:
        emit trayEvent(TrayEvent::RightButtonDown);
        emit trayEvent(TrayEvent::RightButtonUp);
        break;
    case QSystemTrayIcon::DoubleClick:
        emit trayEvent(TrayEvent::LeftDoubleClick);
        break;
    default: // middle button and unknown: the program has no use for them
        break;
    }
}

void QtTrayBackend::onMessageClicked()
{
    balloonEnded(TrayEvent::BalloonClicked);
}

void QtTrayBackend::balloonEnded(TrayEvent event)
{
    if (!m_balloonTimer->isActive()) {
        return; // already reported, or taken down
    }
    m_balloonTimer->stop();
    emit trayEvent(event);
}
