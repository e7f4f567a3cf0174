#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/MenuItem.h"

namespace corvix {

class Menu;

/// Told when a menu opens and closes.
class MenuDelegate {
  public:
    virtual ~MenuDelegate() = default;
    virtual void menuWillOpen(Menu&) {}
    virtual void menuDidClose(Menu&) {}
};

/// The backend's open popup of a menu.
class MenuSession {
  public:
    virtual ~MenuSession() = default;
    /// Closes the popup (and the popups of its submenus).
    virtual void close(bool animated) = 0;
    /// An item's title, view, enablement or submenu changed: re-measure and redraw its row.
    virtual void itemChanged(MenuItem& item) = 0;
    /// Items were added or removed.
    virtual void itemsChanged() = 0;
};

/// A menu of items. While it is open the backend attaches a session; the menu ends tracking
/// only through `cancelTracking`/`cancelTrackingWithoutAnimation`, which subclasses may
/// override to keep the menu open (not calling the base is the veto). Main thread only.
class Menu : public std::enable_shared_from_this<Menu> {
  public:
    explicit Menu(std::string title = {}) : title_(std::move(title)) {}
    virtual ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }

    const std::vector<std::shared_ptr<MenuItem>>& itemArray() const {
        fillIfPending();
        return items_;
    }
    int numberOfItems() const { return static_cast<int>(itemArray().size()); }
    MenuItem* itemAt(int index) const;
    void addItem(std::shared_ptr<MenuItem> item);
    void insertItem(std::shared_ptr<MenuItem> item, int index);
    void removeItem(const MenuItem& item);
    void removeAllItems();

    /// Leaves the items to `fill`, which runs the first time anything asks for them or changes
    /// them: a submenu that is never opened costs none of its rows. `removeAllItems` discards a
    /// fill that has not run.
    void fillWhenNeeded(std::function<void(Menu&)> fill);
    /// Whether a fill is still waiting. Such a menu has never been shown.
    bool hasPendingFill() const { return static_cast<bool>(pendingFill_); }
    /// The menu this one is a submenu of, or null.
    Menu* supermenu() const { return supermenu_; }

    void setDelegate(const std::shared_ptr<MenuDelegate>& delegate) { delegate_ = delegate; }
    std::shared_ptr<MenuDelegate> delegate() const { return delegate_.lock(); }

    /// Ends tracking: closes the open menu (animated).
    virtual void cancelTracking();
    /// Ends tracking at once.
    virtual void cancelTrackingWithoutAnimation();
    /// Called by an item whose appearance changed.
    void itemChanged(MenuItem& item);

    bool isOpen() const { return open_; }
    /// The backend reports the popup's life: opening (with its session) and closing.
    void willOpen(MenuSession* session);
    void didClose();
    MenuSession* session() const { return session_; }

  private:
    friend class MenuItem;
    void attach(MenuItem& item);
    void detach(MenuItem& item);
    void endTracking(bool animated);
    /// Runs the pending fill. The menu is filled in place: its items are its state, asked for
    /// through const accessors.
    void fillIfPending() const;

    std::string title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
    mutable std::function<void(Menu&)> pendingFill_;
    Menu* supermenu_ = nullptr;
    std::weak_ptr<MenuDelegate> delegate_;
    MenuSession* session_ = nullptr;
    bool open_ = false;
};

}  // namespace corvix
