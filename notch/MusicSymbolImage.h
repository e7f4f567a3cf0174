#pragma once

#include <optional>
#include <string_view>

#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/Image.h"

namespace corvix {

/// The system symbol `name` at `pointSize` and `weight`; with a colour, a new non-template
/// image whose opaque pixels are that colour. Null for an unknown name.
ImagePtr musicSymbolImage(std::string_view name, double pointSize, FontWeight weight,
                          std::optional<Color> color);

}  // namespace corvix
