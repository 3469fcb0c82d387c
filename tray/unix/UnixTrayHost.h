// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "tray/TrayHost.h"

#include <QAbstractNativeEventFilter>

#include <xcb/xcb.h>

// StatusNotifierItem hosts on the session bus (any desktop), and the XEmbed
// tray manager that owns the selection _NET_SYSTEM_TRAY_S<screen> (X11).
// Both are watched through notifications, never by polling.
class UnixTrayHost : public TrayHost, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit UnixTrayHost(QObject* parent = nullptr);

    bool present() const override { return m_statusNotifier || m_xembed; }
    bool statusNotifier() const override { return m_statusNotifier; }

private slots:
    // A slot by name: QDBusConnection::connect takes no functors.
    void checkStatusNotifier();

private:
    void watchXembed();
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void checkXembed();
    bool xembedOwned() const;
    void update(bool statusNotifier, bool xembed);

    bool m_statusNotifier = false;
    bool m_xembed = false;

    xcb_connection_t* m_x = nullptr; // Qt's own
    xcb_atom_t m_selection = XCB_NONE;
    int m_selectionEvent = -1; // XFixes' SelectionNotify, -1 without XFixes
};
