#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/Result.h"
#include "platform/Task.h"
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

/// The failure of an icon answer that gives no picture: an error status or a body no image
/// reader takes.
inline constexpr int kMediaAppIconUndecodableCode = 5;
inline Error mediaAppIconUndecodableError() {
    return programError(kMediaAppIconUndecodableCode, "App icon could not be decoded");
}

/// How one icon download ended: the reduced image, or why there is none (the cancellation
/// error, a transfer error as the network reported it, or `mediaAppIconUndecodableError`).
struct MediaAppIconFetchResult {
    Result<ImagePtr> image;
    /// The download's own task, to tell it from a newer download of the same key.
    const TaskState* task = nullptr;
};

/// Downloads an icon address with the installed HTTP client: no token or headers of the hub,
/// redirects followed, the body bounded as artwork is. `done` runs once on the main thread;
/// after a cancel it always reports the cancellation error, even when the bytes arrived.
TaskHandle fetchMediaAppIcon(const std::string& url,
                             std::function<void(MediaAppIconFetchResult)> done);

/// The cache and download key of an app's icon: "data:" + id for an embedded image (the text's
/// hash without an id), else the icon address, else the id.
std::string mediaAppIconKey(const JsonObject& app);

}  // namespace corvix
