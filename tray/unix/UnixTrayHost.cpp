// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/unix/UnixTrayHost.h"

#include "tray/unix/StatusNotifierItem.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xfixes.h>

#include <cstdlib>

namespace
{

bool statusNotifierHostOn(const QDBusConnection& bus)
{
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kStatusNotifierWatcher)) {
        return false;
    }
    // Asked the way Qt asks before it picks the D-Bus tray, so that both
    // agree on the answer.
    QDBusInterface watcher(kStatusNotifierWatcher, kStatusNotifierWatcherPath, kStatusNotifierWatcher, bus);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

template <class Reply> struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

} // namespace

TrayHost* TrayHost::create(QObject* parent)
{
    return new UnixTrayHost(parent);
}

UnixTrayHost::UnixTrayHost(QObject* parent) : TrayHost(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto* watcher = new QDBusServiceWatcher(kStatusNotifierWatcher, bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &UnixTrayHost::checkStatusNotifier);
        // A panel may register its watcher a moment before its host.
        for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
            bus.connect(QString(), kStatusNotifierWatcherPath, kStatusNotifierWatcher, QLatin1String(signal),
                        this, SLOT(checkStatusNotifier()));
        }
        m_statusNotifier = statusNotifierHostOn(bus);
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        watchXembed();
    }
}

void UnixTrayHost::checkStatusNotifier()
{
    update(statusNotifierHostOn(QDBusConnection::sessionBus()), m_xembed);
}

void UnixTrayHost::update(bool statusNotifier, bool xembed)
{
    if (statusNotifier == m_statusNotifier && xembed == m_xembed) {
        return;
    }
    m_statusNotifier = statusNotifier;
    m_xembed = xembed;
    emit changed();
}

void UnixTrayHost::watchXembed()
{
    // Qt's own connection: a second one would cost a socket, buffers and a
    // round trip to set up; Qt has already agreed on the XFixes version.
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    m_x = x11 ? x11->connection() : nullptr;
    // The screen Qt connected to, as named in DISPLAY.
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    const bool parsed = xcb_parse_display(nullptr, &host, &display, &screen) != 0;
    std::free(host);
    if (!m_x || !parsed) {
        m_x = nullptr;
        return;
    }
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    const Freed<xcb_intern_atom_reply_t> atom{
        xcb_intern_atom_reply(m_x, xcb_intern_atom(m_x, false, name.size(), name.constData()), nullptr)};
    if (!atom) {
        m_x = nullptr;
        return;
    }
    m_selection = atom->atom;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_x));
    for (int i = 0; i < screen && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(m_x, &xcb_xfixes_id);
    if (xfixes && xfixes->present && screens.rem > 0) {
        m_selectionEvent = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
        QCoreApplication::instance()->installNativeEventFilter(this);
        xcb_xfixes_select_selection_input(m_x, screens.data->root, m_selection,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    m_xembed = xembedOwned();
}

bool UnixTrayHost::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == m_selectionEvent &&
        reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event)->selection == m_selection) {
        // Asked afresh, after Qt is done with the event: the notification's
        // owner field says little when the owner went away.
        QMetaObject::invokeMethod(this, &UnixTrayHost::checkXembed, Qt::QueuedConnection);
    }
    return false; // Qt may want it too
}

void UnixTrayHost::checkXembed()
{
    update(m_statusNotifier, xembedOwned());
}

bool UnixTrayHost::xembedOwned() const
{
    const Freed<xcb_get_selection_owner_reply_t> owner{
        xcb_get_selection_owner_reply(m_x, xcb_get_selection_owner(m_x, m_selection), nullptr)};
    return owner && owner->owner != XCB_NONE;
}
