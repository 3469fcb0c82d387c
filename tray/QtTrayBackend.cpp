#include "QtTrayBackend.h"

#include "cSysTray.h"

QtTrayBackend::QtTrayBackend(const QIcon& fallbackIcon, QObject* parent)
    : TrayBackend(parent), m_fallback(fallbackIcon), m_tray(new QSystemTrayIcon(this)),
      m_balloonTimer(new QTimer(this))
{
    m_balloonTimer->setSingleShot(true);
    connect(m_balloonTimer, &QTimer::timeout, this, [this] { emit message(cSysTray::MsgBalloonTimeout, 0); });
    connect(m_tray, &QSystemTrayIcon::activated, this, &QtTrayBackend::onActivated);
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &QtTrayBackend::onMessageClicked);
}

void QtTrayBackend::add(const QIcon* icon, const QString* tip)
{
    m_tray->setIcon(icon && !icon->isNull() ? *icon : m_fallback);
    m_tray->setToolTip(tip ? *tip : QString());
    // Also without a tray host: Qt docks a visible icon when one appears.
    m_tray->show();
}

void QtTrayBackend::modifyIcon(const QIcon& icon)
{
    m_tray->setIcon(icon);
}

void QtTrayBackend::modifyTip(const QString& tip)
{
    m_tray->setToolTip(tip);
}

void QtTrayBackend::balloon(const QString& title, const QString& text, int timeoutMs)
{
    m_balloonTimer->stop();
    if (title.isEmpty() && text.isEmpty()) {
        // There is no call to withdraw a message, and an empty one would
        // show as a blank notification on some desktops; the balloon was
        // shown with the same timeout and goes by itself. Report it gone,
        // posted like the shell's own notifications.
        QTimer::singleShot(0, this, [this] { emit message(cSysTray::MsgBalloonHide, 0); });
        return;
    }
    // 0 asks for the system's default; freedesktop servers read 0 as "never expire".
    const int ms = timeoutMs > 0 ? timeoutMs : DefaultBalloonMs;
    m_tray->showMessage(title, text, QSystemTrayIcon::NoIcon, ms);
    m_balloonTimer->start(ms);
}

void QtTrayBackend::remove()
{
    m_balloonTimer->stop();
    m_tray->hide();
}

void QtTrayBackend::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Qt reports whole clicks; the control expects the shell's down/up pairs.
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        emit message(cSysTray::MsgLeftButtonDown, 0);
        emit message(cSysTray::MsgLeftButtonUp, 0);
        break;
    case QSystemTrayIcon::Context:
        emit message(cSysTray::MsgRightButtonDown, 0);
        emit message(cSysTray::MsgRightButtonUp, 0);
        break;
    case QSystemTrayIcon::DoubleClick:
        emit message(cSysTray::MsgLeftDblClick, 0);
        break;
    default: // middle button and unknown: the program has no use for them
        break;
    }
}

void QtTrayBackend::onMessageClicked()
{
    m_balloonTimer->stop();
    emit message(cSysTray::MsgBalloonUserClick, 0);
}
