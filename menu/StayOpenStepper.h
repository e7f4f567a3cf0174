#pragma once

#include <memory>

#include "menu/StayOpenMenu.h"
#include "platform/Stepper.h"

namespace corvix {

/// A menu row's stepper: takes the first click in an inactive menu window and keeps
/// `stayOpenMenu` open from the press until the release, so holding an arrow never dismisses the
/// menu.
class StayOpenStepper : public Stepper {
  public:
    using Stepper::Stepper;

    /// Set by the creator; empty until then.
    std::weak_ptr<StayOpenMenu> stayOpenMenu;

    bool acceptsFirstMouse(const Event& event) const override;
    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    void viewDidMoveToWindow() override;

  private:
    MenuTrackingSuspension suspension_;
};

}  // namespace corvix
