#pragma once

#include <optional>
#include <string_view>

#include "platform/ui/Font.h"
#include "platform/ui/Image.h"

namespace corvix {

/// The icon font's ligature for a system symbol name; none for a name outside the table.
std::optional<std::string_view> symbolGlyph(std::string_view name);

/// The system symbol `name` at the default size, or null when the name is unknown.
ImagePtr systemSymbolImage(std::string_view name, std::string_view accessibilityDescription = {});

/// A copy of a symbol image configured for `pointSize` and `weight`; null when `symbol` is not
/// a symbol image.
ImagePtr withSymbolConfiguration(const ImagePtr& symbol, double pointSize, FontWeight weight);

}  // namespace corvix
