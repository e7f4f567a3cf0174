#pragma once

#include "menu/StayOpenControl.h"
#include "platform/ui/Stepper.h"

namespace corvix {

/// The stepper of menu rows.
using StayOpenStepper = StayOpenControl<Stepper>;

}  // namespace corvix
