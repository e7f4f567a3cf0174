#pragma once

#include "menu/StayOpenControl.h"
#include "platform/ui/Slider.h"

namespace corvix {

/// The slider of menu rows.
using StayOpenSlider = StayOpenControl<Slider>;

}  // namespace corvix
