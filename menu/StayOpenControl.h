#pragma once

#include <memory>

#include "menu/StayOpenMenu.h"

namespace corvix {

/// A menu row's control (slider, stepper): takes the first click in an inactive menu window and
/// keeps `stayOpenMenu` open from the press until the release, so a drag or a held arrow never
/// dismisses the menu.
template <typename Base>
class StayOpenControl : public Base {
  public:
    using Base::Base;

    /// Set by the creator; empty until then.
    std::weak_ptr<StayOpenMenu> stayOpenMenu;

    bool acceptsFirstMouse(const Event&) const override { return true; }
    void mouseDown(const Event& event) override {
        suspension_.begin(stayOpenMenu);
        Base::mouseDown(event);
    }
    void mouseUp(const Event& event) override {
        Base::mouseUp(event);
        suspension_.end();
    }
    /// A control taken out of its menu mid-press (a rebuild) must not hold the menu open.
    void viewDidMoveToWindow() override {
        Base::viewDidMoveToWindow();
        if (!this->window()) {
            suspension_.end();
        }
    }

  private:
    MenuTrackingSuspension suspension_;
};

}  // namespace corvix
