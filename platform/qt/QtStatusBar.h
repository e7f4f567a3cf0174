#pragma once

#include <memory>
#include <vector>

#include "platform/ui/StatusItem.h"

namespace corvix {

/// Status items as QSystemTrayIcons without a context menu: tray hosts speaking
/// StatusNotifierItem draw a context menu themselves and drop custom widgets, so a click pops
/// the item's model menu up at the pointer as a real Qt popup instead.
class QtStatusBar final : public StatusBar {
  public:
    QtStatusBar();
    ~QtStatusBar() override;

    std::shared_ptr<StatusItem> statusItem(double length) override;
    void removeStatusItem(const std::shared_ptr<StatusItem>& item) override;
    /// Opens `item`'s menu at the pointer, as a click on the icon does.
    void openMenu(StatusItem& item);
    /// Opens the menu of the first status item that has one (a second start of the program).
    void openFirstMenu();

  private:
    struct Entry;
    std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace corvix
