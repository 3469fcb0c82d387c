// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/unix/StatusNotifierItem.h"

#include "base/WindowRoutines.h"
#include "tray/TrayIconDrawing.h"

#include <QAction>
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QMenu>
#include <QtEndian>

namespace
{

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
// The item has a connection of its own: closing it is how a hidden item
// leaves the watcher, as hosts notice only a name that goes away.
const QString kConnectionName = QStringLiteral("tepora-status-notifier-item");

// Reasons and urgencies as org.freedesktop.Notifications numbers them.
constexpr uint kExpired = 1;
constexpr uchar kNormalUrgency = 1;

void closeNotification(uint id)
{
    QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications,
                                       QStringLiteral("CloseNotification"))
        << id);
}

} // namespace

// The D-Bus types are named outside an unnamed namespace: QtDBus finds a
// method's types by their names, and a list of a type in one is named
// differently at run time than in the method's signature.
struct SniToolTip {
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString text;
};

// A menu entry as GetLayout gives it: (ia{sv}av), with no children.
struct DBusMenuEntry {
    int id = 0;
    QVariantMap properties;
};

// The root of the layout, whose children are the entries.
struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuEntry> children;
};

// (ia{sv}) of GetGroupProperties.
struct DBusMenuProperties {
    int id = 0;
    QVariantMap properties;
};

// (isvu) of EventGroup.
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(DBusMenuEntry)
Q_DECLARE_METATYPE(DBusMenuLayout)
Q_DECLARE_METATYPE(DBusMenuProperties)
Q_DECLARE_METATYPE(DBusMenuEvent)

// Where Qt's marshalling templates look for them.
QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& pixmap)
{
    arg.beginStructure();
    arg << pixmap.width << pixmap.height << pixmap.bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& pixmap)
{
    arg.beginStructure();
    arg >> pixmap.width >> pixmap.height >> pixmap.bytes;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& tip)
{
    arg.beginStructure();
    arg << tip.iconName << tip.pixmaps << tip.title << tip.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& tip)
{
    arg.beginStructure();
    arg >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEntry& entry)
{
    arg.beginStructure();
    arg << entry.id << entry.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEntry& entry)
{
    arg.beginStructure();
    arg >> entry.id >> entry.properties;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant ignored;
        arg >> ignored;
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayout& layout)
{
    arg.beginStructure();
    arg << layout.id << layout.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuEntry& child : layout.children) {
        arg << QDBusVariant(QVariant::fromValue(child));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayout& layout)
{
    arg.beginStructure();
    arg >> layout.id >> layout.properties;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuProperties& item)
{
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuProperties& item)
{
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& event)
{
    arg.beginStructure();
    arg << event.id << event.eventId << event.data << event.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& event)
{
    arg.beginStructure();
    arg >> event.id >> event.eventId >> event.data >> event.timestamp;
    arg.endStructure();
    return arg;
}

namespace
{

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmaps>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<DBusMenuEntry>();
        qDBusRegisterMetaType<DBusMenuLayout>();
        qDBusRegisterMetaType<DBusMenuProperties>();
        qDBusRegisterMetaType<QList<DBusMenuProperties>>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<QList<DBusMenuEvent>>();
        qDBusRegisterMetaType<QList<int>>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

// org.kde.StatusNotifierItem on the item's object.
class SniAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ empty)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QString IconName READ empty)
    Q_PROPERTY(SniPixmaps IconPixmap READ pixmaps)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(SniPixmaps OverlayIconPixmap READ none)
    Q_PROPERTY(QString AttentionIconName READ empty)
    // The temperature icon itself: hosts draw a placeholder for an empty one.
    Q_PROPERTY(SniPixmaps AttentionIconPixmap READ pixmaps)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    // What a screen reader says for the icon: the reading, as the tooltip.
    Q_PROPERTY(QString IconAccessibleDesc READ accessibleDesc)
    Q_PROPERTY(QString AttentionAccessibleDesc READ accessibleDesc)

public:
    explicit SniAdaptor(StatusNotifierItem* item) : QDBusAbstractAdaptor(item), m_item(item)
    {
        connect(item, &StatusNotifierItem::newIcon, this, &SniAdaptor::NewIcon);
        connect(item, &StatusNotifierItem::newAttentionIcon, this, &SniAdaptor::NewAttentionIcon);
        connect(item, &StatusNotifierItem::newToolTip, this, &SniAdaptor::NewToolTip);
        connect(item, &StatusNotifierItem::newStatus, this, &SniAdaptor::NewStatus);
    }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QCoreApplication::applicationName(); }
    QString title() const { return QCoreApplication::applicationName(); }
    QString status() const { return m_item->status(); }
    int windowId() const { return 0; }
    QString empty() const { return QString(); }
    QDBusObjectPath menu() const
    {
        return QDBusObjectPath(m_item->menu() ? kMenuPath : QStringLiteral("/NO_DBUSMENU"));
    }
    bool itemIsMenu() const { return false; }
    SniPixmaps pixmaps() const { return m_item->pixmaps(); }
    SniPixmaps none() const { return {}; }
    SniToolTip toolTip() const { return SniToolTip{QString(), {}, m_item->toolTip(), QString()}; }
    QString accessibleDesc() const { return m_item->toolTip(); }

public slots:
    void Activate(int, int) { m_item->click(StatusNotifierItem::Click::Primary); }
    void SecondaryActivate(int, int) { m_item->click(StatusNotifierItem::Click::Secondary); }
    void ContextMenu(int, int) { m_item->click(StatusNotifierItem::Click::Context); }
    void Scroll(int, const QString&) {}
    void ProvideXdgActivationToken(const QString& token) { m_item->provideActivationToken(token); }

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem* m_item;
};

// com.canonical.dbusmenu for the actions of a QMenu: one flat level, ids
// counted from 1 in the menu's order.
class DBusMenuAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    DBusMenuAdaptor(QObject* parent, StatusNotifierItem* item) : QDBusAbstractAdaptor(parent), m_item(item) {}

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int, const QStringList&, DBusMenuLayout& layout)
    {
        layout.id = parentId;
        if (parentId == 0) {
            layout.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
            const QList<QAction*> actions = this->actions();
            for (int i = 0; i < actions.size(); ++i) {
                layout.children.append(DBusMenuEntry{i + 1, properties(actions.at(i))});
            }
        } else if (QAction* action = actionOf(parentId)) {
            layout.properties = properties(action);
        }
        return kRevision;
    }

    QList<DBusMenuProperties> GetGroupProperties(const QList<int>& ids, const QStringList&)
    {
        QList<DBusMenuProperties> result;
        for (int id : ids) {
            if (id == 0) {
                result.append(
                    DBusMenuProperties{0, {{QStringLiteral("children-display"), QStringLiteral("submenu")}}});
            } else if (QAction* action = actionOf(id)) {
                result.append(DBusMenuProperties{id, properties(action)});
            }
        }
        return result;
    }

    QDBusVariant GetProperty(int id, const QString& name)
    {
        QAction* action = actionOf(id);
        return QDBusVariant(action ? properties(action).value(name) : QVariant(QString()));
    }

    void Event(int id, const QString& eventId, const QDBusVariant&, uint)
    {
        if (eventId == QLatin1String("clicked")) {
            if (QAction* action = actionOf(id); action && action->isEnabled()) {
                action->trigger();
            }
        }
    }

    QList<int> EventGroup(const QList<DBusMenuEvent>& events)
    {
        QList<int> unknown;
        for (const DBusMenuEvent& event : events) {
            if (actionOf(event.id)) {
                Event(event.id, event.eventId, event.data, event.timestamp);
            } else {
                unknown.append(event.id);
            }
        }
        return unknown;
    }

    bool AboutToShow(int) { return false; }

    QList<int> AboutToShowGroup(const QList<int>&, QList<int>& idErrors)
    {
        idErrors.clear();
        return {};
    }

signals:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    static constexpr uint kRevision = 1;

    QList<QAction*> actions() const
    {
        QList<QAction*> result;
        if (QMenu* menu = m_item->menu()) {
            result = menu->actions();
        }
        return result;
    }

    QAction* actionOf(int id) const
    {
        const QList<QAction*> all = actions();
        return id >= 1 && id <= all.size() ? all.at(id - 1) : nullptr;
    }

    static QVariantMap properties(QAction* action)
    {
        if (action->isSeparator()) {
            return {{QStringLiteral("type"), QStringLiteral("separator")}};
        }
        return {
            {QStringLiteral("label"), action->text()},
            {QStringLiteral("enabled"), action->isEnabled()},
            {QStringLiteral("visible"), action->isVisible()},
        };
    }

    StatusNotifierItem* m_item;
};

StatusNotifierItem::StatusNotifierItem(QMenu* menu, QObject* parent)
    : QObject(parent), m_menu(menu), m_menuObject(new QObject(this)),
      m_bus(QDBusConnection(QStringLiteral("tepora-no-bus")))
{
    registerTypes();
    new SniAdaptor(this);
    new DBusMenuAdaptor(m_menuObject, this);

    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) {
        return;
    }
    auto* watcher = new QDBusServiceWatcher(kStatusNotifierWatcher, session,
                                            QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &StatusNotifierItem::registerWithWatcher);
    session.connect(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("NotificationClosed"),
                    this, SLOT(notificationClosed(uint, uint)));
    session.connect(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
}

StatusNotifierItem::~StatusNotifierItem()
{
    closeMessage();
    setVisible(false);
}

void StatusNotifierItem::setIcon(const QIcon& icon)
{
    m_icon = icon;
    m_pixmaps = pixmapsOf(icon);
    emit newIcon();
    emit newAttentionIcon();
}

void StatusNotifierItem::setToolTip(const QString& tip)
{
    if (tip == m_tip) {
        return;
    }
    m_tip = tip;
    emit newToolTip();
}

void StatusNotifierItem::setVisible(bool visible)
{
    if (visible == m_visible) {
        return;
    }
    m_visible = visible;
    if (!visible) {
        m_bus.unregisterObject(kMenuPath);
        m_bus.unregisterObject(kItemPath);
        QDBusConnection::disconnectFromBus(kConnectionName);
        m_bus = QDBusConnection(QStringLiteral("tepora-no-bus"));
        return;
    }
    m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName);
    if (!m_bus.isConnected()) {
        return;
    }
    m_bus.registerObject(kItemPath, this, QDBusConnection::ExportAdaptors);
    m_bus.registerObject(kMenuPath, m_menuObject, QDBusConnection::ExportAdaptors);
    registerWithWatcher();
}

void StatusNotifierItem::registerWithWatcher()
{
    if (!m_visible || !m_bus.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kStatusNotifierWatcher, kStatusNotifierWatcherPath,
                                       kStatusNotifierWatcher, QStringLiteral("RegisterStatusNotifierItem"));
    call << m_bus.baseService();
    m_bus.asyncCall(call);
}

QString StatusNotifierItem::status() const
{
    return m_attention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

void StatusNotifierItem::setAttention(bool attention)
{
    if (attention == m_attention) {
        return;
    }
    m_attention = attention;
    emit newStatus(status());
}

void StatusNotifierItem::showMessage(const QString& title, const QString& text, int timeoutMs)
{
    closeMessage();
    setAttention(true);
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications,
                                                       QStringLiteral("Notify"));
    // Normal urgency: GNOME shows low-urgency notifications only in its list.
    // The default action makes a click on the notification known.
    // The desktop entry names the program in the server's list.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(kNormalUrgency)},
                            {QStringLiteral("desktop-entry"), QStringLiteral("tepora")}};
    call << QCoreApplication::applicationName() << uint(0) << QString() << title << text
         << QStringList{QStringLiteral("default"), QCoreApplication::applicationName()} << hints << timeoutMs;
    const int message = ++m_message;
    auto* reply = new QDBusPendingCallWatcher(session.asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this, message, reply] {
        reply->deleteLater();
        const QDBusPendingReply<uint> id = *reply;
        if (id.isError()) {
            return;
        }
        if (message == m_message) {
            m_notification = id.value();
        } else {
            closeNotification(id.value()); // taken down before the server numbered it
        }
    });
}

void StatusNotifierItem::closeMessage()
{
    ++m_message;
    setAttention(false);
    if (m_notification == 0) {
        return;
    }
    closeNotification(std::exchange(m_notification, 0));
}

void StatusNotifierItem::endAttention()
{
    setAttention(false);
}

void StatusNotifierItem::notificationClosed(uint id, uint reason)
{
    if (id == 0 || id != m_notification) {
        return;
    }
    m_notification = 0;
    setAttention(false);
    emit messageClosed(reason == kExpired);
}

void StatusNotifierItem::actionInvoked(uint id, const QString&)
{
    if (id == 0 || id != m_notification) {
        return;
    }
    setAttention(false);
    emit messageClicked();
}

QString StatusNotifierItem::takeActivationToken()
{
    return std::exchange(m_token, QString());
}

void StatusNotifierItem::click(Click click)
{
    emit clicked(click);
}

void StatusNotifierItem::provideActivationToken(const QString& token)
{
    // Text from another program: kept only when it can be a token.
    m_token = isActivationToken(token) ? token : QString();
}

SniPixmaps StatusNotifierItem::pixmapsOf(const QIcon& icon)
{
    SniPixmaps result;
    if (icon.isNull()) {
        return result;
    }
    for (const int size : kPanelSizes) {
        QImage image = icon.pixmap(QSize(size, size), 1.0).toImage();
        if (image.isNull()) {
            continue;
        }
        if (image.size() != QSize(size, size)) {
            image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        image = image.convertToFormat(QImage::Format_ARGB32);
        SniPixmap pixmap{size, size, QByteArray(size * size * 4, Qt::Uninitialized)};
        auto* out = reinterpret_cast<uchar*>(pixmap.bytes.data());
        for (int y = 0; y < size; ++y) {
            qToBigEndian<quint32>(image.constScanLine(y), size, out + y * size * 4);
        }
        result.append(pixmap);
    }
    return result;
}

#include "StatusNotifierItem.moc"
