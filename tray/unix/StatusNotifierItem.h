// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QMenu>

// The tray hosts' registry of items, the same on every desktop.
inline const QString kStatusNotifierWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
inline const QString kStatusNotifierWatcherPath = QStringLiteral("/StatusNotifierWatcher");

// One picture of IconPixmap: width, height and ARGB32 in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using SniPixmaps = QList<SniPixmap>;

// The program's own StatusNotifierItem (org.kde.StatusNotifierItem with a
// com.canonical.dbusmenu menu) and its desktop notifications. Qt's item sends
// every notification at low urgency, which GNOME keeps out of its banners,
// leaves the attention icon empty, so hosts draw a placeholder while it asks
// for attention, and cannot take the XDG activation token Plasma hands over
// before a click.
class StatusNotifierItem : public QObject
{
    Q_OBJECT

public:
    enum class Click { Primary, Secondary, Context };

    // `menu`'s actions make the item's menu; the caller keeps it alive.
    explicit StatusNotifierItem(QMenu* menu, QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    void setIcon(const QIcon& icon);
    void setToolTip(const QString& tip);
    // Shown: on the bus and registered with the watcher, again whenever a
    // watcher (re)starts.
    void setVisible(bool visible);
    bool isVisible() const { return m_visible; }

    // A desktop notification at normal urgency; the item asks for attention
    // until it ends.
    void showMessage(const QString& title, const QString& text, int timeoutMs);
    // Takes the notification down.
    void closeMessage();
    // The item stops asking for attention; the notification stays with the server.
    void endAttention();

    // The token a host handed over before its click, once.
    QString takeActivationToken();

    // What hosts read.
    const QIcon& icon() const { return m_icon; }
    const QString& toolTip() const { return m_tip; }
    QString status() const;
    const SniPixmaps& pixmaps() const { return m_pixmaps; }
    QMenu* menu() const { return m_menu; }

    // What hosts call (the adaptors, and tests without a bus).
    void click(Click click);
    void provideActivationToken(const QString& token);

    // The pictures for hosts, drawn at the sizes panels ask for.
    static SniPixmaps pixmapsOf(const QIcon& icon);

signals:
    void clicked(Click click);
    void messageClicked();
    // The server closed it: true when it timed out.
    void messageClosed(bool timedOut);

    // Relayed to the bus by the adaptor.
    void newIcon();
    void newAttentionIcon();
    void newToolTip();
    void newStatus(const QString& status);

private slots:
    void notificationClosed(uint id, uint reason);
    void actionInvoked(uint id, const QString& action);
    void registerWithWatcher();

private:
    void setAttention(bool attention);

    QPointer<QMenu> m_menu;
    QObject* m_menuObject;
    QIcon m_icon;
    SniPixmaps m_pixmaps;
    QString m_tip;
    QString m_token;
    bool m_visible = false;
    bool m_attention = false;
    QDBusConnection m_bus;
    // The notification showing now (0: none or not yet numbered), and which
    // request it answers: a reply for a message closed meanwhile is closed.
    uint m_notification = 0;
    int m_message = 0;
};
