#include "images/MediaAppIcons.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "images/CostLimitedImageCache.h"
#include "images/ImageDownload.h"
#include "images/MusicArtwork.h"
#include "platform/AsciiText.h"
#include "platform/Base64.h"
#include "platform/HttpClient.h"

namespace corvix {

namespace MediaAppIcons {

namespace {

const std::map<std::string, std::string, std::less<>>& idSymbols() {
    static const std::map<std::string, std::string, std::less<>> table = {
        {"com.apple.TVAppStore", "bag"},
        {"com.apple.Arcade", "gamecontroller.fill"},
        {"com.apple.TVHomeSharing", "rectangle.inset.filled.on.rectangle"},
        {"com.apple.TVMovies", "film"},
        {"com.apple.TVMusic", "music.note"},
        {"com.apple.TVPhotos", "photo.fill"},
        {"com.apple.TVSearch", "magnifyingglass"},
        {"com.apple.TVSettings", "gearshape.fill"},
        {"com.apple.TVWatchList", "tv.fill"},
        {"com.apple.TVShows", "tv"},
        {"com.apple.Sing", "music.mic"},
        {"com.apple.facetime", "video.fill"},
        {"com.apple.Fitness", "figure.run"},
        {"com.apple.podcasts", "antenna.radiowaves.left.and.right"},
    };
    return table;
}

const std::map<std::string, std::string, std::less<>>& nameSymbols() {
    static const std::map<std::string, std::string, std::less<>> table = {
        {"app store", "bag"},
        {"arcade", "gamecontroller.fill"},
        {"tv", "tv"},
        {"settings", "gearshape.fill"},
        {"search", "magnifyingglass"},
        {"music", "music.note"},
        {"photos", "photo.fill"},
        {"podcasts", "antenna.radiowaves.left.and.right"},
        {"fitness", "figure.run"},
        {"facetime", "video.fill"},
    };
    return table;
}

std::string trimmedLowercase(std::string_view text) {
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return asciiLowercased(text);
}

}  // namespace

std::optional<std::string> builtInSymbol(std::string_view appId) {
    const auto& table = idSymbols();
    if (auto found = table.find(appId); found != table.end()) {
        return found->second;
    }
    return std::nullopt;
}

std::string fallbackSymbol(std::string_view appId, std::string_view name) {
    if (auto symbol = builtInSymbol(appId)) {
        return *symbol;
    }
    const auto& table = nameSymbols();
    if (auto found = table.find(trimmedLowercase(name)); found != table.end()) {
        return found->second;
    }
    return "app.fill";
}

ImagePtr inlineImage(std::string_view appId, std::string_view iconURL) {
    if (builtInSymbol(appId)) {
        return nullptr;
    }
    constexpr std::string_view kPrefix = "data:image/";
    const auto comma = iconURL.find(',');
    if (!iconURL.starts_with(kPrefix) || comma == std::string_view::npos) {
        return nullptr;
    }
    if (!iconURL.substr(0, comma).ends_with(";base64")) {
        return nullptr;
    }
    auto bytes = decodeBase64(iconURL.substr(comma + 1));
    if (!bytes || bytes->empty()) {
        return nullptr;
    }
    return downsampledImage(*bytes, kMediaAppIconPixelDimension);
}

ImagePtr downloadedImage(const std::vector<std::uint8_t>& data, int status) {
    if (status < 200 || status > 299) {
        return nullptr;
    }
    return downsampledImage(data, kMediaAppIconPixelDimension);
}

}  // namespace MediaAppIcons

TaskHandle fetchMediaAppIcon(const std::string& url,
                             std::function<void(MediaAppIconFetchResult)> done) {
    return downloadImage(
        url, kMusicArtworkMaxBodyBytes,
        [done = std::move(done)](Result<HttpResponse> r, const TaskState* identity) {
            if (!r.ok()) {
                done({r.error(), identity});
                return;
            }
            const HttpResponse& response = r.value();
            const std::vector<std::uint8_t> bytes(response.body.begin(), response.body.end());
            ImagePtr image = MediaAppIcons::downloadedImage(bytes, response.status);
            if (!image) {
                done({mediaAppIconUndecodableError(), identity});
                return;
            }
            done({std::move(image), identity});
        });
}

std::string mediaAppIconKey(const JsonObject& app) {
    const std::string iconURL = string(app, "iconUrl");
    if (iconURL.starts_with("data:image")) {
        const std::string id = identifierText(app, "id");
        // Without an id the text itself names the picture, so two such apps never share one.
        if (id.empty()) {
            return "data:" + std::to_string(std::hash<std::string>{}(iconURL));
        }
        return "data:" + id;
    }
    if (!iconURL.empty()) {
        return iconURL;
    }
    return identifierText(app, "id");
}

}  // namespace corvix
