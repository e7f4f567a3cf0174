// The music section of the status menu: the entry row and its submenu (now-playing card,
// transport, timeline, options, listen-later, volume, queue line), the commands its controls
// send, and the in-place updates that follow the hub between rebuilds.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "app/RuntimeDiagnostics.h"
#include "controls/ActionView.h"
#include "controls/MusicAccent.h"
#include "controls/MusicArtworkView.h"
#include "controls/MusicPanelView.h"
#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "menu/MenuRowSupport.h"
#include "menu/StayOpenSlider.h"
#include "platform/AsciiText.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/TextField.h"
#include "state/CommandFailure.h"
#include "state/MusicPlayer.h"

namespace corvix {

namespace {

Color accent(double alpha) {
    return musicAccentRed.withAlphaComponent(alpha);
}

bool isDark() {
    return Color::currentScheme() == ColorScheme::Dark;
}

/// A whole count from a number the hub sent, fraction cut off; none when it is not a finite
/// number a count can be.
std::optional<std::int64_t> truncatedCount(const JsonObject& object, std::string_view key) {
    const json::value* value = member(object, key);
    if (!value || !value->is_number()) {
        return std::nullopt;
    }
    const double number = value->to_number<double>();
    constexpr double kLimit = 9007199254740992.0;  // 2^53: every whole number below is exact
    if (!std::isfinite(number) || std::abs(number) >= kLimit) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::trunc(number));
}

std::string plural(std::int64_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

std::string volumeText(double volume) {
    return std::to_string(static_cast<int>(std::round(volume)));
}

struct ShuffleLook {
    std::string symbol;
    std::string toolTip;
};

ShuffleLook shuffleLook(bool on) {
    return on ? ShuffleLook{"shuffle.circle.fill", "Turn shuffle off"}
              : ShuffleLook{"shuffle", "Turn shuffle on"};
}

std::string nextRepeatMode(const std::string& mode) {
    if (mode == "off") {
        return "all";
    }
    return mode == "all" ? "one" : "off";
}

ShuffleLook repeatLook(const std::string& mode) {
    std::string name = mode;
    if (!name.empty()) {
        name[0] = asciiUpper(name[0]);
    }
    return {mode == "one" ? "repeat.1" : "repeat", "Repeat: " + name};
}

ShuffleLook muteLook(bool muted) {
    return muted ? ShuffleLook{"speaker.slash.fill", "Unmute"}
                 : ShuffleLook{"speaker.wave.2.fill", "Mute"};
}

void showSymbol(Button& button, const ShuffleLook& look) {
    button.setImage(systemSymbolImage(look.symbol, look.toolTip));
    button.setToolTip(look.toolTip);
}

/// The entry row's subtitle: the first two non-empty of "subtitle", "label", "qualityLabel".
std::optional<std::string> entrySubtitle(const JsonObject& active) {
    std::string text;
    int parts = 0;
    for (const char* key : {"subtitle", "label", "qualityLabel"}) {
        const std::string part = string(active, key);
        if (part.empty() || parts == 2) {
            continue;
        }
        text += (parts ? "  " : "") + part;
        ++parts;
    }
    return parts ? std::optional<std::string>(text) : std::nullopt;
}

/// The queue line's text; empty when nothing is queued.
std::string queueText(const JsonObject& active) {
    const JsonObject* queue = objectMember(active, "queue");
    if (!queue) {
        return "";
    }
    std::optional<std::int64_t> count;
    for (const char* key : {"total", "count", "size"}) {
        if ((count = truncatedCount(*queue, key))) {
            break;
        }
    }
    if (!count) {
        count = static_cast<std::int64_t>(array(*queue, "items").size());
    }
    if (*count < 1) {
        return "";
    }
    const auto owned = optionalBool(*queue, "owned");
    return plural(*count, "item") + " in " +
           (owned.has_value() && !*owned ? "external queue" : "queue");
}

template <typename T>
std::weak_ptr<T> weakOf(const std::shared_ptr<T>& pointer) {
    return pointer;
}

/// A row's background panel with the transport, timeline and volume look.
std::shared_ptr<MusicPanelView> controlPanel(double height, bool stroked) {
    auto panel = std::make_shared<MusicPanelView>(Rect(0, 0, MenuBuilder::kRowWidth, height));
    panel->fillColor =
        isDark() ? Color::calibratedWhite(0.16, 0.52) : Color::calibratedWhite(0.98, 0.58);
    if (stroked) {
        panel->strokeColor = separatorColor(isDark() ? 0.28 : 0.38);
    }
    return panel;
}

std::shared_ptr<ImageView> symbolView(std::string_view name, const Rect& frame, Color tint) {
    auto icon = ImageView::withImage(systemSymbolImage(name, name));
    icon->setFrame(frame);
    icon->setContentTintColor(tint);
    icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    return icon;
}

}  // namespace

void MenuBuilder::addMusicPlayer(const JsonObject& musicPlayer, StayOpenMenu& parent) {
    const JsonObject* activeRecord = objectMember(musicPlayer, "activePlayer");
    if (!activeRecord) {
        return;
    }
    const JsonObject active = *activeRecord;
    auto row = submenuItem(musicTitle(active), "music.note", entrySubtitle(active));
    auto submenu = StayOpenMenu::make();
    musicArtworkLoader.loadMusicArtworkIfNeeded(active, true);

    submenu->addItem(musicNowPlayingItem(active));
    submenu->addItem(MenuItem::separator());
    submenu->addItem(musicTransportItem(active));
    if (musicDurationMs(active) > 0) {
        submenu->addItem(musicTimelineItem(active));
    }
    submenu->addItem(musicOptionsItem(active));
    submenu->addItem(musicListenLaterItem(musicPlayer, active));
    submenu->addItem(musicPlaylistsSubmenuItem(active));
    const json::value* volume = member(active, "volume");
    if (musicCapability(active, "volume", volume && volume->is_number())) {
        submenu->addItem(musicVolumeItem(active));
    }
    if (const std::string queue = queueText(active); !queue.empty()) {
        auto line = MenuItem::make(queue);
        line->setEnabled(false);
        submenu->addItem(line);
    }
    const ObjectList players = array(musicPlayer, "players");
    if (players.size() >= 2) {
        submenu->addItem(MenuItem::separator());
        const std::string label = string(active, "label");
        auto outputs = submenuItem(
            "Outputs", "speaker.wave.2.fill",
            label.empty() ? plural(static_cast<std::int64_t>(players.size()), "output") : label);
        auto outputMenu = StayOpenMenu::make();
        const JsonObject* source = musicRouteSource(players, activeRecord);
        const JsonObject routeSource = source ? *source : active;
        for (const JsonObject* player : players) {
            outputMenu->addItem(musicPlayerRow(*player, active, routeSource));
        }
        outputs->setSubmenu(outputMenu);
        submenu->addItem(outputs);
    }
    row->setSubmenu(submenu);

    // A new track between rebuilds must not leave the entry naming the old one.
    std::weak_ptr<MenuItem> weakRow = row;
    playbackUpdateHandlers.push_back([weakRow](const JsonObject& newer) {
        auto current = weakRow.lock();
        if (!current || !current->view()) {
            return;
        }
        current->setTitle(musicTitle(newer));
        std::vector<TextField*> labels;
        for (const auto& subview : current->view()->subviews()) {
            if (auto* label = dynamic_cast<TextField*>(subview.get())) {
                labels.push_back(label);
            }
        }
        if (!labels.empty()) {
            labels[0]->setStringValue(musicTitle(newer));
        }
        // A row built without a subtitle has no place for one until the next rebuild.
        if (const auto subtitle = entrySubtitle(newer); subtitle && labels.size() >= 2) {
            labels[1]->setStringValue(*subtitle);
        }
    });
    parent.addItem(row);
}

std::shared_ptr<MenuItem> MenuBuilder::musicNowPlayingItem(const JsonObject& active) {
    const bool dark = isDark();
    auto view = std::make_shared<View>(Rect(0, 0, width, 84));
    auto panel = std::make_shared<MusicPanelView>(Rect(0, 0, width, 84));
    panel->fillColor = dark ? Color::calibratedRGB(0.10, 0.10, 0.11, 0.92)
                            : Color::calibratedRGB(0.97, 0.96, 0.95, 0.98);
    panel->strokeColor = separatorColor(dark ? 0.28 : 0.38);
    panel->cornerRadius = 16;
    view->addSubview(panel);

    auto artwork = std::make_shared<MusicArtworkView>(Rect(16, 14, 56, 56));
    artwork->setAccentColor(musicAccentRed);
    artwork->setFallback(systemSymbolImage("music.note", "Music"));
    artwork->setImage(musicArtwork(active));
    view->addSubview(artwork);

    auto pill = std::make_shared<MusicPanelView>(Rect(84, 60, 78, 18));
    pill->fillColor = accent(0.14);
    pill->strokeColor = accent(0.24);
    pill->cornerRadius = 9;
    pill->inset = {0, 0, 0, 0};
    view->addSubview(pill);
    auto status = rowLabel(musicStatusText(active), Rect(92, 63, 62, 12),
                           Font::system(9, FontWeight::Semibold), musicAccentRed);
    status->setAlignment(TextAlignment::Center);
    view->addSubview(status);
    auto label = rowLabel(string(active, "label", "Music"), Rect(170, 61, 140, 17),
                          Font::system(12), secondaryLabelColor());
    view->addSubview(label);
    auto title =
        rowLabel(musicTitle(active), Rect(84, 34, 224, 22), Font::system(16, FontWeight::Semibold));
    view->addSubview(title);
    auto source = rowLabel(musicSourceLine(active), Rect(84, 16, 224, 16), Font::system(12),
                           secondaryLabelColor());
    view->addSubview(source);

    playbackUpdateHandlers.push_back([this, weak = lifetime_.weak(), weakArtwork = weakOf(artwork),
                                      weakStatus = weakOf(status), weakLabel = weakOf(label),
                                      weakTitle = weakOf(title),
                                      weakSource = weakOf(source)](const JsonObject& newer) {
        if (weak.expired()) {
            return;
        }
        if (auto a = weakArtwork.lock()) {
            a->setImage(musicArtwork(newer));
        }
        if (auto s = weakStatus.lock()) {
            s->setStringValue(musicStatusText(newer));
        }
        if (auto l = weakLabel.lock()) {
            l->setStringValue(string(newer, "label", "Music"));
        }
        if (auto t = weakTitle.lock()) {
            t->setStringValue(musicTitle(newer));
        }
        if (auto s = weakSource.lock()) {
            s->setStringValue(musicSourceLine(newer));
        }
        musicArtworkLoader.loadMusicArtworkIfNeeded(newer, true);
    });
    return itemWithView(musicTitle(active), view);
}

std::shared_ptr<Button> MenuBuilder::addMusicButton(View& view, std::string_view symbol,
                                                    const Rect& frame, BezelStyle bezel,
                                                    bool isEnabled, std::function<void()> click) {
    auto button = Button::imageOnly(systemSymbolImage(symbol, symbol));
    button->setFrame(frame);
    button->setBezelStyle(bezel);
    button->setControlSize(ControlSize::Small);
    button->setImagePosition(ImagePosition::ImageOnly);
    button->setImageScaling(ImageScaling::ProportionallyDown);
    button->setFont(Font::system(11, FontWeight::Semibold));
    button->setEnabled(isEnabled);
    button->setTarget(retainTarget([weak = lifetime_.weak(), click = std::move(click)] {
        if (!weak.expired() && click) {
            click();
        }
    }));
    view.addSubview(button);
    return button;
}

std::shared_ptr<MenuItem> MenuBuilder::musicTransportItem(const JsonObject& active) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 46));
    view->addSubview(controlPanel(46, true));
    const bool enabled = musicAcceptsCommands(active);
    // Each click acts on the player shown at that moment.
    auto send = [this, active](std::string action) {
        const JsonObject player = activeMusicPlayer.value_or(active);
        projectMusicCommand(action, player, JsonObject{});
        runMusicCommand(action, player, JsonObject{});
    };
    addMusicButton(*view, "backward.end.fill", Rect(62, 8, 48, 28), BezelStyle::Rounded, enabled,
                   [send] { send("previous"); })
        ->setAccessibilityLabel("Previous");
    const bool playing = musicIsPlaying(active);
    auto playPause =
        addMusicButton(*view, playing ? "pause.fill" : "play.fill", Rect(133, 5, 60, 34),
                       BezelStyle::RegularSquare, enabled, [this, send, active] {
                           const JsonObject player = activeMusicPlayer.value_or(active);
                           send(musicIsPlaying(player) ? "pause" : "resume");
                       });
    addMusicButton(*view, "forward.end.fill", Rect(216, 8, 48, 28), BezelStyle::Rounded, enabled,
                   [send] { send("next"); })
        ->setAccessibilityLabel("Next");
    // The tool tip comes only with the first update; a screen reader needs the name at once.
    playPause->setAccessibilityLabel(playing ? "Pause" : "Play");

    playbackUpdateHandlers.push_back([weakButton = weakOf(playPause)](const JsonObject& newer) {
        if (auto button = weakButton.lock()) {
            const bool nowPlaying = musicIsPlaying(newer);
            showSymbol(*button, nowPlaying ? ShuffleLook{"pause.fill", "Pause"}
                                           : ShuffleLook{"play.fill", "Play"});
            button->setAccessibilityLabel(nowPlaying ? "Pause" : "Play");
        }
    });
    return itemWithView("Music transport", view);
}

std::shared_ptr<MenuItem> MenuBuilder::musicTimelineItem(const JsonObject& active) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 40));
    view->addSubview(controlPanel(40, false));
    const double duration = musicDurationMs(active);
    const double position = std::clamp(musicPosition(active), 0.0, duration);
    auto positionLabel = rowLabel(formatDuration(position), Rect(18, 20, 46, 17), Font::system(12),
                                  secondaryLabelColor());
    view->addSubview(positionLabel);
    auto slider = std::make_shared<StayOpenSlider>(Rect(66, 10, 194, 22));
    slider->stayOpenMenu = menu;
    slider->setMinValue(0);
    slider->setMaxValue(duration);
    slider->setDoubleValue(position);
    slider->setContinuous(false);
    slider->setEnabled(musicCapability(active, "seek", true));
    slider->setAccessibilityLabel("Position");
    slider->setAccessibilityValueDescriber([](const Slider& s) {
        return formatDuration(s.doubleValue()) + " of " + formatDuration(s.maxValue());
    });
    auto durationLabel = rowLabel(formatDuration(duration), Rect(268, 20, 40, 17), Font::system(11),
                                  secondaryLabelColor());
    durationLabel->setAlignment(TextAlignment::Right);
    std::weak_ptr<StayOpenSlider> weakSlider = slider;
    slider->setTarget(retainTarget([this, weak = lifetime_.weak(), weakSlider, active] {
        auto s = weakSlider.lock();
        if (weak.expired() || !s) {
            return;
        }
        const double limit = std::max(s->maxValue(), 0.0);
        const auto target =
            static_cast<std::int64_t>(std::round(std::clamp(s->doubleValue(), 0.0, limit)));
        const JsonObject player = activeMusicPlayer.value_or(active);
        const JsonObject payload{{"positionMs", target}};
        projectMusicCommand("seek", player, payload);
        runMusicCommandInOrder(kSeekControl, "seek", player, payload);
    }));
    view->addSubview(slider);
    view->addSubview(durationLabel);

    playbackUpdateHandlers.push_back([weakSlider, weakPosition = weakOf(positionLabel),
                                      weakDuration = weakOf(durationLabel),
                                      this](const JsonObject& newer) {
        auto s = weakSlider.lock();
        auto p = weakPosition.lock();
        auto d = weakDuration.lock();
        // A held slider and one whose seek is on its way show the user's position.
        if (!s || !p || !d || s->isTracking() ||
            sends.busy(SendKey{musicSendTarget(newer), kSeekControl})) {
            return;
        }
        const double newDuration = musicDurationMs(newer);
        const double newPosition = std::clamp(musicPosition(newer), 0.0, newDuration);
        s->setMaxValue(newDuration);
        s->setDoubleValue(newPosition);
        p->setStringValue(formatDuration(newPosition));
        d->setStringValue(formatDuration(newDuration));
    });
    return itemWithView("Music timeline", view);
}

std::shared_ptr<MenuItem> MenuBuilder::musicOptionsItem(const JsonObject& active) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 40));
    const bool queueCapable = musicCapability(active, "queue", true);
    // The buttons read the shown player when clicked: the value they send is always the
    // opposite of what the hub (or the projection) last said, never one captured earlier.
    auto current = [this, active] { return activeMusicPlayer.value_or(active); };
    auto shuffle =
        addMusicButton(*view, shuffleLook(musicShuffle(active)).symbol, Rect(50, 7, 52, 26),
                       BezelStyle::Rounded, queueCapable, [this, current] {
                           const JsonObject player = current();
                           const JsonObject payload{{"shuffle", !musicShuffle(player)}};
                           projectMusicCommand("set_shuffle", player, payload);
                           runMusicCommand("set_shuffle", player, payload);
                       });
    auto repeat = addMusicButton(
        *view, repeatLook(normalizedRepeatMode(active)).symbol, Rect(137, 7, 52, 26),
        BezelStyle::Rounded, queueCapable, [this, current] {
            const JsonObject player = current();
            const JsonObject payload{{"repeat", nextRepeatMode(normalizedRepeatMode(player))}};
            projectMusicCommand("set_repeat", player, payload);
            runMusicCommand("set_repeat", player, payload);
        });
    auto mute =
        addMusicButton(*view, muteLook(musicMuted(active)).symbol, Rect(224, 7, 52, 26),
                       BezelStyle::Rounded, musicCapability(active, "mute", true), [this, current] {
                           const JsonObject player = current();
                           const char* action = musicMuted(player) ? "unmute" : "mute";
                           projectMusicCommand(action, player, JsonObject{});
                           runMusicCommand(action, player, JsonObject{});
                       });
    auto show = [weakShuffle = weakOf(shuffle), weakRepeat = weakOf(repeat),
                 weakMute = weakOf(mute)](const JsonObject& player) {
        const bool capable = musicCapability(player, "queue", true);
        if (auto b = weakShuffle.lock()) {
            showSymbol(*b, shuffleLook(musicShuffle(player)));
            b->setEnabled(capable);
        }
        if (auto b = weakRepeat.lock()) {
            showSymbol(*b, repeatLook(normalizedRepeatMode(player)));
            b->setEnabled(capable);
        }
        if (auto b = weakMute.lock()) {
            showSymbol(*b, muteLook(musicMuted(player)));
            b->setEnabled(musicCapability(player, "mute", true));
        }
    };
    show(active);
    playbackUpdateHandlers.push_back(show);
    return itemWithView("Music playback options", view);
}

std::shared_ptr<MenuItem> MenuBuilder::musicListenLaterItem(const JsonObject& musicPlayer,
                                                            const JsonObject& active) {
    std::int64_t count = 0;
    if (const JsonObject* listenLater = objectMember(musicPlayer, "listenLater")) {
        count = truncatedCount(*listenLater, "trackCount").value_or(0);
    }
    const bool filled = count > 0;
    const bool dark = isDark();
    const Color control = Color::system(SystemColor::Control);
    auto view = std::make_shared<ActionView>(Rect(0, 0, width, 46));
    view->setCornerRadius(12);
    if (filled) {
        view->setFillColor(accent(dark ? 0.16 : 0.10));
        view->setStrokeColor(accent(0.26));
        view->setHoverFillColor(accent(dark ? 0.22 : 0.15));
        view->setHoverStrokeColor(accent(0.34));
    } else {
        view->setFillColor(control.withAlphaComponent(0.16));
        view->setStrokeColor(separatorColor(0.22));
        view->setHoverFillColor(control.withAlphaComponent(0.22));
        view->setHoverStrokeColor(separatorColor(0.30));
    }
    view->setAccessibilityElement(true);
    view->setAccessibilityRole(AccessibilityRole::Button);
    view->setAccessibilityLabel("Listen Later");

    auto tile = std::make_shared<MusicPanelView>(Rect(16, 8, 30, 30));
    tile->fillColor = filled ? accent(0.16) : control.withAlphaComponent(0.20);
    tile->cornerRadius = 9;
    tile->inset = {0, 0, 0, 0};
    view->addSubview(tile);
    view->addSubview(symbolView("music.note.list", Rect(23, 15, 16, 16),
                                filled ? musicAccentRed : secondaryLabelColor()));
    view->addSubview(
        rowLabel("Listen Later", Rect(58, 20, 164, 17), Font::system(13, FontWeight::Semibold)));
    view->addSubview(rowLabel(filled ? plural(count, "saved track") : "No saved tracks",
                              Rect(58, 7, 164, 13), Font::system(10, FontWeight::Medium),
                              secondaryLabelColor()));
    if (filled) {
        auto pill = std::make_shared<MusicPanelView>(Rect(230, 14, 76, 18));
        pill->fillColor = accent(0.14);
        pill->strokeColor = accent(0.24);
        pill->cornerRadius = 9;
        pill->inset = {0, 0, 0, 0};
        view->addSubview(pill);
        view->addSubview(symbolView("shuffle", Rect(237, 15, 16, 16), musicAccentRed));
        view->addSubview(rowLabel("Shuffle", Rect(255, 17, 45, 12),
                                  Font::system(9, FontWeight::Semibold), musicAccentRed));
    }
    view->onAction = [this, weak = lifetime_.weak(), count, active] {
        if (!weak.expired() && count > 0) {
            runListenLaterShuffle(activeMusicPlayer.value_or(active));
        }
    };
    auto item = itemWithView("Listen Later", view);
    item->setEnabled(filled);
    return item;
}

std::shared_ptr<MenuItem> MenuBuilder::musicVolumeItem(const JsonObject& active) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 42));
    view->addSubview(controlPanel(42, false));
    view->addSubview(
        symbolView("speaker.wave.2.fill", Rect(19, 13, 16, 16), secondaryLabelColor()));
    view->addSubview(
        rowLabel("Volume", Rect(44, 13, 62, 17), Font::system(12), secondaryLabelColor()));
    const double volume = musicVolume(active);
    auto slider = std::make_shared<StayOpenSlider>(Rect(112, 10, 158, 22));
    slider->stayOpenMenu = menu;
    slider->setMinValue(0);
    slider->setMaxValue(100);
    slider->setDoubleValue(volume);
    slider->setContinuous(false);
    slider->setAccessibilityLabel("Volume");
    auto valueLabel = rowLabel(volumeText(volume), Rect(280, 12, 32, 17), Font::system(11),
                               secondaryLabelColor());
    valueLabel->setAlignment(TextAlignment::Right);
    std::weak_ptr<StayOpenSlider> weakSlider = slider;
    std::weak_ptr<TextField> weakLabel = valueLabel;
    slider->setTarget(retainTarget([this, weak = lifetime_.weak(), weakSlider, weakLabel, active] {
        auto s = weakSlider.lock();
        if (weak.expired() || !s) {
            return;
        }
        const auto value =
            static_cast<std::int64_t>(std::round(std::clamp(s->doubleValue(), 0.0, 100.0)));
        if (auto label = weakLabel.lock()) {
            label->setStringValue(std::to_string(value));
        }
        const JsonObject player = activeMusicPlayer.value_or(active);
        const JsonObject payload{{"volume", value}};
        projectMusicCommand("set_volume", player, payload);
        runMusicCommandInOrder(kVolumeControl, "set_volume", player, payload);
    }));
    view->addSubview(slider);
    view->addSubview(valueLabel);

    playbackUpdateHandlers.push_back([this, weakSlider, weakLabel](const JsonObject& newer) {
        auto s = weakSlider.lock();
        auto label = weakLabel.lock();
        if (!s || !label || s->isTracking() ||
            sends.busy(SendKey{musicSendTarget(newer), kVolumeControl})) {
            return;
        }
        s->setDoubleValue(musicVolume(newer));
        label->setStringValue(volumeText(musicVolume(newer)));
    });
    return itemWithView("Music volume", view);
}

// Commands.

void MenuBuilder::projectMusicCommand(std::string_view action, const JsonObject& player,
                                      const JsonObject& payload) {
    if (!currentState || !objectMember(*currentState, "musicPlayer")) {
        return;
    }
    currentState = std::make_shared<const JsonObject>(
        corvix::projectMusicCommand(*currentState, action, player, payload));
    rebuildFromCurrentState();
}

std::function<void(Result<void>)> MenuBuilder::musicOutcome() {
    return [this, weak = lifetime_.weak()](Result<void> result) {
        if (weak.expired()) {
            return;
        }
        if (!result.ok()) {
            // Nobody waits for a cancelled request; the next refresh shows the hub anyway.
            if (isCancellationError(result.error())) {
                return;
            }
            showError(result.error());
        }
        if (refresh) {
            refresh();
        }
    };
}

void MenuBuilder::runMusicCommand(std::string_view action, const JsonObject& player,
                                  const JsonObject& payload) {
    client.runMusicCommand(action, player, payload, musicOutcome());
}

void MenuBuilder::runMusicCommandInOrder(std::string_view control, const std::string& action,
                                         const JsonObject& player, JsonObject payload) {
    OrderedSend value;
    value.operation = action;
    value.payload = std::move(payload);
    // The value goes to the player it was set on, whichever the menu shows when it leaves.
    value.start = [this, weak = lifetime_.weak(), action, player,
                   payload = value.payload](OrderedSend::Done done) {
        if (weak.expired()) {
            return false;
        }
        client.runMusicCommand(action, player, payload, std::move(done));
        return true;
    };
    value.outcome = musicOutcome();
    if (!sends.send(SendKey{musicSendTarget(player), std::string(control)}, std::move(value))) {
        RuntimeDiagnostics::menuBar().count("device_command_coalesced");
    }
}

void MenuBuilder::runListenLaterShuffle(const JsonObject& target) {
    client.shuffleListenLater(target, musicOutcome());
}

}  // namespace corvix
