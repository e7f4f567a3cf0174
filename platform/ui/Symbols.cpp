#include "platform/ui/Symbols.h"

#include <cmath>
#include <string>
#include <utility>

namespace corvix {

namespace {

// Every symbol name the program uses, mapped to the nearest Material Icons glyph.
constexpr std::pair<std::string_view, std::string_view> kGlyphs[] = {
    {"airplayaudio", "airplay"},
    {"antenna.radiowaves.left.and.right", "settings_input_antenna"},
    {"app.fill", "apps"},
    {"arrow.clockwise", "refresh"},
    {"arrow.up.right.square", "open_in_new"},
    {"backward.end.fill", "skip_previous"},
    {"bag", "shopping_bag"},
    {"blinds.horizontal.closed", "blinds_closed"},
    {"checkmark.circle.fill", "check_circle"},
    {"chevron.backward", "chevron_left"},
    {"chevron.down", "expand_more"},
    {"chevron.left", "chevron_left"},
    {"chevron.right", "chevron_right"},
    {"chevron.up", "expand_less"},
    {"circle.grid.2x2", "grid_view"},
    {"figure.run", "directions_run"},
    {"film", "movie"},
    {"forward.end.fill", "skip_next"},
    {"gamecontroller.fill", "sports_esports"},
    {"gearshape", "settings"},
    {"gearshape.fill", "settings"},
    {"house", "home"},
    {"house.fill", "home"},
    {"laptopcomputer", "laptop"},
    {"lightbulb", "lightbulb"},
    {"line.3.horizontal", "menu"},
    {"lock", "lock"},
    {"magnifyingglass", "search"},
    {"music.mic", "mic"},
    {"music.note", "music_note"},
    {"music.note.list", "queue_music"},
    {"pause.fill", "pause"},
    {"photo.fill", "photo"},
    {"play.fill", "play_arrow"},
    {"playpause.fill", "play_circle"},
    {"power", "power_settings_new"},
    {"powerplug", "power"},
    {"rectangle.connected.to.line.below", "cast_connected"},
    {"rectangle.inset.filled.on.rectangle", "picture_in_picture"},
    {"repeat", "repeat"},
    {"repeat.1", "repeat_one"},
    {"shuffle", "shuffle"},
    {"shuffle.circle.fill", "shuffle_on"},
    {"slider.horizontal.3", "tune"},
    {"snowflake", "ac_unit"},
    {"sparkles", "auto_awesome"},
    {"speaker.2", "speaker_group"},
    {"speaker.slash.fill", "volume_off"},
    {"speaker.wave.1.fill", "volume_down"},
    {"speaker.wave.2", "volume_up"},
    {"speaker.wave.2.fill", "volume_up"},
    {"speaker.wave.3.fill", "volume_up"},
    {"text.line.first.and.arrowtriangle.forward", "queue_play_next"},
    {"thermometer.medium", "thermostat"},
    {"tv", "tv"},
    {"tv.fill", "live_tv"},
    {"video.fill", "videocam"},
    {"wave.3.right", "graphic_eq"},
};

constexpr double kDefaultPointSize = 13;

// Symbols are square; the box leaves the glyph's own padding around it.
Size symbolSize(double pointSize) {
    double side = std::ceil(pointSize * 1.25);
    return {side, side};
}

}  // namespace

std::optional<std::string_view> symbolGlyph(std::string_view name) {
    for (const auto& [symbol, glyph] : kGlyphs) {
        if (symbol == name) {
            return glyph;
        }
    }
    return std::nullopt;
}

ImagePtr systemSymbolImage(std::string_view name, std::string_view accessibilityDescription) {
    auto glyph = symbolGlyph(name);
    if (!glyph) {
        return nullptr;
    }
    auto image = std::make_shared<Image>(symbolSize(kDefaultPointSize));
    image->setSymbol(
        SymbolRep{std::string(name), std::string(*glyph), kDefaultPointSize, FontWeight::Regular});
    image->setTemplate(true);
    image->setAccessibilityDescription(std::string(accessibilityDescription));
    return image;
}

ImagePtr withSymbolConfiguration(const ImagePtr& symbol, double pointSize, FontWeight weight) {
    if (!symbol || !symbol->symbol()) {
        return nullptr;
    }
    auto image = std::make_shared<Image>(symbolSize(pointSize));
    SymbolRep rep = *symbol->symbol();
    rep.pointSize = pointSize;
    rep.weight = weight;
    image->setSymbol(std::move(rep));
    image->setTemplate(symbol->isTemplate());
    image->setAccessibilityDescription(symbol->accessibilityDescription());
    return image;
}

}  // namespace corvix
