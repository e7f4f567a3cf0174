#pragma once

#include "platform/ui/Color.h"

namespace corvix {

// The notch views sit on a dark heads-up material in either appearance, so their texts and
// symbols take the dark appearance's label colours.
inline Color notchLabelColor() {
    return Color::system(SystemColor::Label).resolved(ColorScheme::Dark);
}
inline Color notchSecondaryLabelColor() {
    return Color::system(SystemColor::SecondaryLabel).resolved(ColorScheme::Dark);
}

}  // namespace corvix
