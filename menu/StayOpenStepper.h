#pragma once

#include "menu/StayOpenControl.h"
#include "platform/Stepper.h"

namespace corvix {

/// The stepper of menu rows.
using StayOpenStepper = StayOpenControl<Stepper>;

}  // namespace corvix
