#include "platform/qt/QtStatusNotifierItem.h"

#include <unistd.h>

#include <QTimer>
#include <QtEndian>
#include <atomic>

#ifdef CORVIX_QT_DBUS
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QVariantMap>

namespace corvix::sni {

/// One icon picture on the wire: width, height, and ARGB32 pixels in network byte order.
struct Pixmap {
    int width = 0;
    int height = 0;
    QByteArray data;
};
using PixmapList = QList<Pixmap>;

/// (icon name, icon pixmaps, title, text).
struct ToolTip {
    QString iconName;
    PixmapList pixmaps;
    QString title;
    QString text;
};

/// A dbusmenu layout node: (id, properties, children).
struct MenuLayout {
    int id = 0;
    QVariantMap properties;
    QVariantList children;
};

/// A dbusmenu item's properties: (id, properties).
struct MenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

/// One event of EventGroup: (id, event, data, timestamp).
struct MenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using MenuEventList = QList<MenuEvent>;

QDBusArgument& operator<<(QDBusArgument& a, const Pixmap& p) {
    a.beginStructure();
    a << p.width << p.height << p.data;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, Pixmap& p) {
    a.beginStructure();
    a >> p.width >> p.height >> p.data;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const ToolTip& t) {
    a.beginStructure();
    a << t.iconName << t.pixmaps << t.title << t.text;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, ToolTip& t) {
    a.beginStructure();
    a >> t.iconName >> t.pixmaps >> t.title >> t.text;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const MenuLayout& l) {
    a.beginStructure();
    a << l.id << l.properties << l.children;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, MenuLayout& l) {
    a.beginStructure();
    a >> l.id >> l.properties >> l.children;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const MenuItemProperties& p) {
    a.beginStructure();
    a << p.id << p.properties;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, MenuItemProperties& p) {
    a.beginStructure();
    a >> p.id >> p.properties;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const MenuEvent& e) {
    a.beginStructure();
    a << e.id << e.eventId << e.data << e.timestamp;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, MenuEvent& e) {
    a.beginStructure();
    a >> e.id >> e.eventId >> e.data >> e.timestamp;
    a.endStructure();
    return a;
}

}  // namespace corvix::sni

Q_DECLARE_METATYPE(corvix::sni::Pixmap)
Q_DECLARE_METATYPE(corvix::sni::ToolTip)
Q_DECLARE_METATYPE(corvix::sni::MenuLayout)
Q_DECLARE_METATYPE(corvix::sni::MenuItemProperties)
Q_DECLARE_METATYPE(corvix::sni::MenuEvent)
#endif

namespace corvix {

#ifdef CORVIX_QT_DBUS
namespace {

void registerWireTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<sni::Pixmap>();
        qDBusRegisterMetaType<sni::PixmapList>();
        qDBusRegisterMetaType<sni::ToolTip>();
        qDBusRegisterMetaType<sni::MenuLayout>();
        qDBusRegisterMetaType<sni::MenuItemProperties>();
        qDBusRegisterMetaType<sni::MenuItemPropertiesList>();
        qDBusRegisterMetaType<sni::MenuEvent>();
        qDBusRegisterMetaType<sni::MenuEventList>();
        return true;
    }();
    (void)once;
}

sni::PixmapList pixmapsOf(const QList<QImage>& images) {
    sni::PixmapList list;
    for (const QImage& image : images) {
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        sni::Pixmap p{argb.width(), argb.height(), {}};
        p.data.resize(qsizetype(argb.width()) * argb.height() * 4);
        auto* out = reinterpret_cast<quint32*>(p.data.data());
        for (int y = 0; y < argb.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x) {
                *out++ = qToBigEndian<quint32>(line[x]);
            }
        }
        list.push_back(std::move(p));
    }
    return list;
}

/// org.kde.StatusNotifierItem: what the panel shows and the clicks it passes on.
class ItemAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ empty)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<corvix::sni::Pixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(QList<corvix::sni::Pixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(QList<corvix::sni::Pixmap> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(corvix::sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

  public:
    ItemAdaptor(QObject* parent, QtStatusNotifierItem& item)
        : QDBusAbstractAdaptor(parent), item_(item) {
        setAutoRelaySignals(false);
    }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("os.orbelune.Corvix"); }
    QString title() const { return item_.title(); }
    QString status() const { return item_.status(); }
    int windowId() const { return 0; }
    QString empty() const { return {}; }
    QString iconName() const { return item_.iconName(); }
    sni::PixmapList iconPixmap() const { return pixmapsOf(item_.iconImages()); }
    sni::PixmapList noPixmaps() const { return {}; }
    sni::ToolTip toolTip() const {
        return {item_.iconName(), {}, item_.toolTipTitle(), item_.toolTipText()};
    }
    // A left click is an activation (Activate), not the host's own menu, so the program's menu
    // opens as the program draws it.
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const {
        return QDBusObjectPath(QString::fromLatin1(QtStatusNotifierItem::kMenuPath));
    }

    void announceIcon() { Q_EMIT NewIcon(); }
    void announceToolTip() { Q_EMIT NewToolTip(); }
    void announceTitle() { Q_EMIT NewTitle(); }
    void announceStatus() { Q_EMIT NewStatus(item_.status()); }

  public Q_SLOTS:
    void Activate(int x, int y) { item_.hostActivated(QPoint(x, y)); }
    void ContextMenu(int x, int y) { item_.hostActivated(QPoint(x, y)); }
    void SecondaryActivate(int, int) { item_.hostSecondaryActivated(); }
    void Scroll(int, const QString&) {}

  Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

  private:
    QtStatusNotifierItem& item_;
};

/// com.canonical.dbusmenu with an empty root: the program's menu has rows no host can draw
/// (sliders, colour wells, grids), so it is never exported. The object is there because not
/// every host calls ContextMenu on a right click: lxqt-panel only shows an item's dbusmenu, and
/// with the "/NO_DBUSMENU" path it waits for an AboutToShow that never comes, while xfce4-panel
/// and waybar (libdbusmenu-gtk) pop up an empty menu for that path and call nothing. With a
/// real, empty menu every one of them asks AboutToShow for the root or sends an "opened" event
/// on it when the user right-clicks, and that opens the program's own menu at the pointer.
/// Answering "nothing to update" first lets the host close its empty menu without waiting.
class MenuAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

  public:
    MenuAdaptor(QObject* parent, QtStatusNotifierItem& item)
        : QDBusAbstractAdaptor(parent), item_(item) {}

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

  public Q_SLOTS:
    uint GetLayout(int parentId, int, const QStringList&, corvix::sni::MenuLayout& layout) {
        layout.id = parentId;
        if (parentId == kRoot) {
            layout.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
        }
        return kRevision;
    }
    QList<corvix::sni::MenuItemProperties> GetGroupProperties(const QList<int>& ids,
                                                              const QStringList&) {
        corvix::sni::MenuItemPropertiesList list;
        for (int id : ids) {
            if (id == kRoot) {
                list.push_back({id, {}});
            }
        }
        return list;
    }
    QDBusVariant GetProperty(int, const QString&) { return QDBusVariant(QVariant(QString())); }
    void Event(int id, const QString& eventId, const QDBusVariant&, uint) {
        if (id == kRoot && eventId == QLatin1String("opened")) {
            item_.hostMenuOpening();
        }
    }
    QList<int> EventGroup(const QList<corvix::sni::MenuEvent>& events) {
        QList<int> unknown;
        for (const auto& e : events) {
            if (e.id != kRoot) {
                unknown.push_back(e.id);
            } else {
                Event(e.id, e.eventId, e.data, e.timestamp);
            }
        }
        return unknown;
    }
    bool AboutToShow(int id) {
        if (id == kRoot) {
            item_.hostMenuOpening();
        }
        return false;
    }
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
        for (int id : ids) {
            if (id == kRoot) {
                item_.hostMenuOpening();
            } else {
                idErrors.push_back(id);
            }
        }
        return {};
    }

  Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

  private:
    static constexpr int kRoot = 0;
    static constexpr uint kRevision = 1;
    QtStatusNotifierItem& item_;
};

QDBusConnection busNamed(const QString& name) {
    return name.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(name);
}

}  // namespace
#endif

QtStatusNotifierItem::QtStatusNotifierItem(const QString& busConnection)
    : connectionName_(busConnection) {
#ifdef CORVIX_QT_DBUS
    QDBusConnection bus = busNamed(connectionName_);
    if (!bus.isConnected()) {
        return;
    }
    registerWireTypes();
    // One name per item and process, as the protocol asks.
    static std::atomic<int> counter{0};
    serviceName_ =
        QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(++counter);
    itemObject_ = std::make_unique<QObject>();
    itemAdaptor_ = new ItemAdaptor(itemObject_.get(), *this);
    menuObject_ = std::make_unique<QObject>();
    new MenuAdaptor(menuObject_.get(), *this);
    if (!bus.registerObject(kItemPath, itemObject_.get(), QDBusConnection::ExportAdaptors) ||
        !bus.registerObject(kMenuPath, menuObject_.get(), QDBusConnection::ExportAdaptors) ||
        !bus.registerService(serviceName_)) {
        bus.unregisterObject(kItemPath);
        bus.unregisterObject(kMenuPath);
        serviceName_.clear();
        return;
    }
    available_ = true;
    // Panels come and go (started after us at login, or restarted): each new watcher is asked
    // again. Watching starts before the first question, so none is missed in between.
    watcher_ = new QDBusServiceWatcher(QString::fromLatin1(kWatcherService), bus,
                                       QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                watcherOwnerChanged(newOwner);
            });
    registerWithWatcher();
#endif
}

QtStatusNotifierItem::~QtStatusNotifierItem() {
#ifdef CORVIX_QT_DBUS
    if (available_) {
        QDBusConnection bus = busNamed(connectionName_);
        // The watcher drops the item when its name goes.
        bus.unregisterService(serviceName_);
        bus.unregisterObject(kItemPath);
        bus.unregisterObject(kMenuPath);
    }
#endif
}

QString QtStatusNotifierItem::status() const {
    return active_ ? QStringLiteral("Active") : QStringLiteral("Passive");
}

void QtStatusNotifierItem::setIcon(const QString& name, const QList<QImage>& images) {
    if (name == iconName_ && images == iconImages_) {
        return;
    }
    iconName_ = name;
    iconImages_ = images;
#ifdef CORVIX_QT_DBUS
    if (itemAdaptor_) {
        auto* adaptor = static_cast<ItemAdaptor*>(itemAdaptor_);
        adaptor->announceIcon();
        adaptor->announceToolTip();  // the tool tip names the icon too
    }
#endif
}

void QtStatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    if (title == toolTipTitle_ && text == toolTipText_) {
        return;
    }
    toolTipTitle_ = title;
    toolTipText_ = text;
#ifdef CORVIX_QT_DBUS
    if (itemAdaptor_) {
        static_cast<ItemAdaptor*>(itemAdaptor_)->announceToolTip();
    }
#endif
}

void QtStatusNotifierItem::setTitle(const QString& title) {
    if (title == title_) {
        return;
    }
    title_ = title;
#ifdef CORVIX_QT_DBUS
    if (itemAdaptor_) {
        static_cast<ItemAdaptor*>(itemAdaptor_)->announceTitle();
    }
#endif
}

void QtStatusNotifierItem::setActive(bool active) {
    if (active == active_) {
        return;
    }
    active_ = active;
#ifdef CORVIX_QT_DBUS
    if (itemAdaptor_) {
        static_cast<ItemAdaptor*>(itemAdaptor_)->announceStatus();
    }
#endif
}

void QtStatusNotifierItem::hostMenuOpening() {
    // A host may both ask AboutToShow and send "opened" for one click: one menu.
    if (menuOpenQueued_) {
        return;
    }
    menuOpenQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        menuOpenQueued_ = false;
        Q_EMIT menuRequested(QPoint());
    });
}

void QtStatusNotifierItem::watcherOwnerChanged(const QString& newOwner) {
    if (newOwner.isEmpty()) {
        ++registrationAttempt_;  // an answer still on its way is from the watcher that went
        setRegistration(false, false);
    } else {
        registerWithWatcher();
    }
}

void QtStatusNotifierItem::registerWithWatcher() {
#ifdef CORVIX_QT_DBUS
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath),
        QString::fromLatin1(kWatcherService), QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    const quint64 attempt = ++registrationAttempt_;
    setRegistration(false, true);
    auto* pending = new QDBusPendingCallWatcher(busNamed(connectionName_).asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, attempt](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (attempt != registrationAttempt_) {
                    return;
                }
                setRegistration(!finished->isError(), false);
            });
#endif
}

void QtStatusNotifierItem::setRegistration(bool registered, bool registering) {
    if (registered == registered_ && registering == registering_) {
        return;
    }
    registered_ = registered;
    registering_ = registering;
    Q_EMIT registrationChanged();
}

}  // namespace corvix

#ifdef CORVIX_QT_DBUS
#include "QtStatusNotifierItem.moc"
#endif
