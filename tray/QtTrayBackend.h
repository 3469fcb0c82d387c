// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "TrayBackend.h"

#include <QIcon>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

class QMenu;
class TrayHost;

// The notification area through QSystemTrayIcon, made once a tray host
// answers (Qt settles on a kind of tray at its first tray call, so none is
// made before). Until then the backend keeps the picture and tooltip it is
// given and reports no tray.
class QtTrayBackend : public TrayBackend
{
    Q_OBJECT

public:
    // fallbackIcon is shown when add() gets no picture: QSystemTrayIcon
    // refuses to show without one. `host` tells when a tray host is there;
    // the backend takes it over.
    QtTrayBackend(const QIcon& fallbackIcon, TrayHost* host, QObject* parent = nullptr);
    ~QtTrayBackend() override;

    bool available() const override;
    void add(const QIcon* icon, const QString* tip) override;
    void modifyIcon(const QIcon& icon) override;
    void modifyTip(const QString& tip) override;
    void balloon(const QString& title, const QString& text, int timeoutMs) override;
    void remove() override;

    // Null until a tray host has answered.
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // The icon's menu on StatusNotifierItem hosts, else null.
    QMenu* menu() const { return m_menu.get(); }
    // How long a balloon with timeout 0 ("system default") is shown.
    static constexpr int DefaultBalloonMs = 10000;

private:
    void hostChanged();
    void makeTrayIcon();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onMessageClicked();

    QIcon m_fallback;
    TrayHost* m_host;
    QSystemTrayIcon* m_tray = nullptr;
    std::unique_ptr<QMenu> m_menu;
    QIcon m_icon;
    QString m_tip;
    bool m_shown = false;
    // QSystemTrayIcon tells nothing when a balloon times out.
    QTimer* m_balloonTimer;
};
