#pragma once

#include <functional>
#include <memory>

#include "platform/ui/ButtonTarget.h"
#include "platform/ui/SegmentedControl.h"

namespace corvix {

/// The two-way "Remote" / "Apps" switch of a device with apps. `onChange` runs with whether
/// "Apps" became the selected segment.
class MediaAppModeControl : public SegmentedControl {
  public:
    explicit MediaAppModeControl(Rect frame = {});

    std::function<void(bool appsSelected)> onChange;

    /// Works in the open menu, whose window is never the active one.
    bool acceptsFirstMouse(const Event&) const override { return true; }

  private:
    // The control is its own target's owner, so no list has to keep it alive.
    std::shared_ptr<ButtonTarget> target_;
};

}  // namespace corvix
