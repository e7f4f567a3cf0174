#include "menu/StayOpenMenu.h"

#include "platform/PlatformServices.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace corvix {

namespace {

void collectFrames(const Menu& menu, std::vector<Rect>& frames) {
    for (const auto& item : menu.itemArray()) {
        auto* submenu = dynamic_cast<const StayOpenMenu*>(item->submenu().get());
        // One still waiting for its rows has never been shown.
        if (!submenu || submenu->hasPendingFill()) {
            continue;
        }
        for (const auto& subitem : submenu->itemArray()) {
            const auto& view = subitem->view();
            Window* window = view ? view->window() : nullptr;
            if (window && window->isVisible()) {
                frames.push_back(window->frame());
                break;
            }
        }
        collectFrames(*submenu, frames);
    }
}

}  // namespace

void StayOpenMenu::cancelTracking() {
    if (!shouldStayOpen()) {
        Menu::cancelTracking();
    }
}

void StayOpenMenu::cancelTrackingWithoutAnimation() {
    if (!shouldStayOpen()) {
        Menu::cancelTrackingWithoutAnimation();
    }
}

std::vector<Rect> StayOpenMenu::openSubmenuWindowFrames() const {
    std::vector<Rect> frames;
    collectFrames(*this, frames);
    return frames;
}

bool StayOpenMenu::shouldStayOpen() const {
    if (isTrackingSuspended) {
        return true;
    }
    const ScreenService* screens = platformServices().screens;
    if (!screens) {
        return false;  // without a pointer position nothing holds the menu open
    }
    const Point pointer = screens->mouseLocation();
    for (const Rect& frame : openSubmenuWindowFrames()) {
        if (frame.insetBy(-kSubmenuMargin, -kSubmenuMargin).contains(pointer)) {
            return true;
        }
    }
    return false;
}

void MenuTrackingSuspension::begin(const std::weak_ptr<StayOpenMenu>& menu) {
    end();
    if (auto target = menu.lock()) {
        target->isTrackingSuspended = true;
        suspended_ = target;
    }
}

void MenuTrackingSuspension::end() {
    if (auto target = suspended_.lock()) {
        target->isTrackingSuspended = false;
    }
    suspended_.reset();
}

}  // namespace corvix
