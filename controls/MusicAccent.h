#pragma once

#include "platform/ui/Color.h"

namespace corvix {

/// The accent colour of the music views.
inline constexpr Color musicAccentRed = Color::calibratedRGB(0.88, 0.12, 0.20, 1.0);

}  // namespace corvix
