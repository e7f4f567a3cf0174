#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Image.h"
#include "state/StateAccessors.h"

namespace corvix {

/// App icons are reduced to this many pixels on their longer side before they are cached.
inline constexpr int kMediaAppIconPixelDimension = 256;

/// Where an Apple TV app's tile picture comes from: a built-in symbol for the system's own
/// apps, an image embedded in the app list, or a downloaded one.
namespace MediaAppIcons {

/// The symbol of a system app, by its exact id; none for any other app.
std::optional<std::string> builtInSymbol(std::string_view appId);
/// `builtInSymbol`, else a symbol for a well-known app name (trimmed, any case), else
/// "app.fill".
std::string fallbackSymbol(std::string_view appId, std::string_view name);
/// The image of a "data:image/...;base64," address, reduced; none for a system app, another
/// kind of address, or anything that does not decode.
ImagePtr inlineImage(std::string_view appId, std::string_view iconURL);
/// A 2xx body as a reduced image; none otherwise.
ImagePtr downloadedImage(const std::vector<std::uint8_t>& data, int status);

}  // namespace MediaAppIcons

/// The cache and download key of an app's icon: "data:" + id for an embedded image (the text's
/// hash without an id), else the icon address, else the id.
std::string mediaAppIconKey(const JsonObject& app);

}  // namespace corvix
