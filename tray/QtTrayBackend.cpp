#include "QtTrayBackend.h"

TrayBackend* TrayBackend::create(const QIcon& fallbackIcon, QObject* parent)
{
    return new QtTrayBackend(fallbackIcon, parent);
}

QtTrayBackend::QtTrayBackend(const QIcon& fallbackIcon, QObject* parent)
    : TrayBackend(parent), m_fallback(fallbackIcon), m_tray(new QSystemTrayIcon(this)),
      m_balloonTimer(new QTimer(this))
{
    m_balloonTimer->setSingleShot(true);
    connect(m_balloonTimer, &QTimer::timeout, this, [this] { emit trayEvent(TrayEvent::BalloonTimedOut); });
    connect(m_tray, &QSystemTrayIcon::activated, this, &QtTrayBackend::onActivated);
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &QtTrayBackend::onMessageClicked);
}

bool QtTrayBackend::available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
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

// The tip goes as it is, place name and all. On X11 the tooltip takes markup
// only in its first line, which is always the program's name; tray hosts over
// D-Bus get it as the tooltip's title, which is plain text. Escaped, it would
// show "&lt;" on both.
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
        QTimer::singleShot(0, this, [this] { emit trayEvent(TrayEvent::BalloonHidden); });
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
    m_balloonTimer->stop();
    emit trayEvent(TrayEvent::BalloonClicked);
}
