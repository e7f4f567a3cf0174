#pragma once

#include "platform/ui/ColorWell.h"

namespace corvix {

/// The platform colour well, except that the first click counts even in an inactive window.
class FirstMouseColorWell : public ColorWell {
  public:
    using ColorWell::ColorWell;
    bool acceptsFirstMouse(const Event&) const override { return true; }
};

}  // namespace corvix
