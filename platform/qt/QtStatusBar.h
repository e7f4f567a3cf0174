#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>
#include <memory>
#include <vector>

#include "platform/ui/StatusItem.h"

namespace corvix {

class QtMenuPopup;

/// Status items as StatusNotifierItems on the session bus (QtStatusNotifierItem), with a
/// QSystemTrayIcon (an XEmbed icon) only while no StatusNotifierWatcher has taken the item: a
/// tray such as tint2, or no session bus at all. Neither kind of host gets the menu itself:
/// hosts draw a menu of their own and drop custom widgets, so a click pops the item's model
/// menu up as a real Qt popup instead.
class QtStatusBar final : public StatusBar {
  public:
    /// `busConnection` names a connection made with QDBusConnection::connectToBus; empty is
    /// the session bus.
    explicit QtStatusBar(const QString& busConnection = {});
    ~QtStatusBar() override;

    std::shared_ptr<StatusItem> statusItem(double length) override;
    void removeStatusItem(const std::shared_ptr<StatusItem>& item) override;
    /// Opens `item`'s menu hanging from the icon: at `hostPoint` (global) where the tray host
    /// said where it was clicked, else beside an embedded icon, else at the pointer.
    void openMenu(StatusItem& item, QPoint hostPoint = {});
    /// Opens the menu of the first status item that has one (a second start of the program).
    void openFirstMenu();

    /// How `item` is shown now: by a StatusNotifierWatcher's host, or by the XEmbed icon.
    bool isOnStatusNotifierHost(const StatusItem& item) const;
    bool isOnXEmbedTray(const StatusItem& item) const;
    /// The popup of `item`'s menu, once opened.
    QtMenuPopup* popupOf(const StatusItem& item) const;

  private:
    struct Entry;
    void refresh(Entry& entry);
    static QIcon xembedIcon(const Entry& entry);
    QString connectionName_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace corvix
