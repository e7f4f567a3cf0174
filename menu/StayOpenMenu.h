#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/Menu.h"

namespace corvix {

/// The menu class of the status menu and all its submenus. It refuses to end tracking while an
/// embedded control is in use or while the pointer is over (or within 8 points of) one of its
/// open submenus' windows. Main thread only.
class StayOpenMenu : public Menu {
  public:
    using Menu::Menu;
    static std::shared_ptr<StayOpenMenu> make() { return std::make_shared<StayOpenMenu>(); }

    /// Set by a control for the span of its own press handling.
    bool isTrackingSuspended = false;

    void cancelTracking() override;
    void cancelTrackingWithoutAnimation() override;

    /// The frames of the visible windows of this menu's stay-open submenus, one per submenu,
    /// followed by those their submenus collect, in screen coordinates.
    std::vector<Rect> openSubmenuWindowFrames() const;

    /// How far around an open submenu window the pointer still keeps the menu open.
    static constexpr double kSubmenuMargin = 8;

  private:
    bool shouldStayOpen() const;
};

/// Keeps a stay-open menu from closing while a control handles a press. The press may end
/// without a release reaching the control (a rebuild drops it mid-drag), so the suspension is
/// also lifted when the control leaves its window or is destroyed.
class MenuTrackingSuspension {
  public:
    MenuTrackingSuspension() = default;
    ~MenuTrackingSuspension() { end(); }
    MenuTrackingSuspension(const MenuTrackingSuspension&) = delete;
    MenuTrackingSuspension& operator=(const MenuTrackingSuspension&) = delete;

    void begin(const std::weak_ptr<StayOpenMenu>& menu);
    void end();

  private:
    std::weak_ptr<StayOpenMenu> suspended_;
};

}  // namespace corvix
