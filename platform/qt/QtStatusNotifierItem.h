#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <memory>

class QDBusServiceWatcher;

namespace corvix {

/// The program's tray item as a StatusNotifierItem on the D-Bus session bus: the object
/// /StatusNotifierItem (org.kde.StatusNotifierItem) under a name of its own, and a minimal
/// com.canonical.dbusmenu object at /MenuBar. It registers with the StatusNotifierWatcher
/// whenever one appears (a panel started after us, or restarted), so it never misses a panel.
///
/// It draws nothing itself: the owner gives it the icon (a theme name and pixmaps), the tool
/// tip, the title and the status, and opens the program's own menu when it asks.
class QtStatusNotifierItem final : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* kWatcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
    static constexpr const char* kItemPath = "/StatusNotifierItem";
    static constexpr const char* kMenuPath = "/MenuBar";

    /// `busConnection` names a connection made with QDBusConnection::connectToBus; empty is
    /// the session bus. Without a bus the item is unavailable and does nothing.
    explicit QtStatusNotifierItem(const QString& busConnection = {});
    ~QtStatusNotifierItem() override;
    QtStatusNotifierItem(const QtStatusNotifierItem&) = delete;
    QtStatusNotifierItem& operator=(const QtStatusNotifierItem&) = delete;

    /// On a bus, under its own name, with its objects exported.
    bool available() const { return available_; }
    /// A watcher took the item: a panel shows it (or will, once it has a host).
    bool isRegistered() const { return registered_; }
    /// Asking a watcher is under way: whether a panel shows the item is not known yet.
    bool isRegistering() const { return registering_; }
    const QString& serviceName() const { return serviceName_; }

    /// The icon: `name` from the icon theme (empty: none) and `images` of several sizes, for
    /// hosts that have no such icon or draw pixmaps only.
    void setIcon(const QString& name, const QList<QImage>& images);
    /// The tool tip's title and text.
    void setToolTip(const QString& title, const QString& text);
    void setTitle(const QString& title);
    /// Active or Passive (a panel may hide a passive item).
    void setActive(bool active);

    // For the bus adaptors.
    const QString& iconName() const { return iconName_; }
    const QList<QImage>& iconImages() const { return iconImages_; }
    const QString& toolTipTitle() const { return toolTipTitle_; }
    const QString& toolTipText() const { return toolTipText_; }
    const QString& title() const { return title_; }
    QString status() const;
    /// A host's click or menu request; `at` is the host's point, null when it gave none.
    void hostActivated(QPoint at) { Q_EMIT menuRequested(at); }
    void hostSecondaryActivated() { Q_EMIT secondaryActivateRequested(); }
    /// A host opened the exported menu: the program's menu opens instead, at the pointer, once
    /// the host has had its answer.
    void hostMenuOpening();

  Q_SIGNALS:
    /// The program's menu is asked for at a global point (null: at the pointer).
    void menuRequested(QPoint at);
    /// A middle click on the item.
    void secondaryActivateRequested();
    /// `isRegistered` or `isRegistering` changed.
    void registrationChanged();

  private:
    void watcherOwnerChanged(const QString& newOwner);
    void registerWithWatcher();
    void setRegistration(bool registered, bool registering);

    QString connectionName_;
    bool available_ = false;
    bool registered_ = false;
    bool registering_ = false;
    /// Answers from an older watcher than the one asked last are ignored.
    quint64 registrationAttempt_ = 0;
    bool menuOpenQueued_ = false;
    QString serviceName_;
    std::unique_ptr<QObject> itemObject_;
    std::unique_ptr<QObject> menuObject_;
    QObject* itemAdaptor_ = nullptr;
    QDBusServiceWatcher* watcher_ = nullptr;

    QString iconName_;
    QList<QImage> iconImages_;
    QString toolTipTitle_;
    QString toolTipText_;
    QString title_ = QStringLiteral("Corvix");
    bool active_ = true;
};

}  // namespace corvix
