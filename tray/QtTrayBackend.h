// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "TrayBackend.h"

#include <QIcon>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

class QMenu;
class StatusNotifierItem;
class TrayHost;

// The notification area: the program's own StatusNotifierItem where a
// StatusNotifierItem host answers, else QSystemTrayIcon on an XEmbed tray.
// QSystemTrayIcon is made only while no StatusNotifierItem host is there, as
// Qt settles on a kind of tray at its first tray call. Until a host answers
// the backend keeps the picture and tooltip it is given and reports no tray.
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
    QString takeActivationToken() override;

    // Null unless an XEmbed tray shows the icon.
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // Null unless a StatusNotifierItem host has answered.
    StatusNotifierItem* statusNotifierItem() const { return m_item; }
    // The icon's menu on StatusNotifierItem hosts, else null.
    QMenu* menu() const { return m_item ? m_menu.get() : nullptr; }
    // How long a balloon with timeout 0 ("system default") is shown.
    static constexpr int DefaultBalloonMs = 10000;

private:
    void hostChanged();
    // Shows the icon on the host there is now, in the kind it takes.
    void place();
    void makeTrayIcon();
    void makeItem();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onMessageClicked();
    void balloonEnded(TrayEvent event);

    QIcon m_fallback;
    TrayHost* m_host;
    QSystemTrayIcon* m_tray = nullptr;
    StatusNotifierItem* m_item = nullptr;
    std::unique_ptr<QMenu> m_menu;
    QIcon m_icon;
    QString m_tip;
    bool m_shown = false;
    // QSystemTrayIcon tells nothing when a balloon times out.
    QTimer* m_balloonTimer;
};
