#pragma once

#include "TrayBackend.h"

#include <QIcon>
#include <QSystemTrayIcon>
#include <QTimer>

// The notification area through QSystemTrayIcon.
class QtTrayBackend : public TrayBackend {
    Q_OBJECT

public:
    // fallbackIcon is shown when add() gets no picture: QSystemTrayIcon
    // refuses to show without one.
    explicit QtTrayBackend(const QIcon& fallbackIcon, QObject* parent = nullptr);

    bool available() const override;
    void add(const QIcon* icon, const QString* tip) override;
    void modifyIcon(const QIcon& icon) override;
    void modifyTip(const QString& tip) override;
    void balloon(const QString& title, const QString& text, int timeoutMs) override;
    void remove() override;

    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // How long a balloon with timeout 0 ("system default") is shown.
    static constexpr int DefaultBalloonMs = 10000;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onMessageClicked();

    QIcon m_fallback;
    QSystemTrayIcon* m_tray;
    // QSystemTrayIcon tells nothing when a balloon times out.
    QTimer* m_balloonTimer;
};
