// The music section's Playlists and Outputs submenus: the cached playlist list and its fetch,
// playlist starts, and the output chooser with the locally chosen output.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "controls/ActionView.h"
#include "controls/MusicAccent.h"
#include "controls/MusicPanelView.h"
#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "menu/MenuRowSupport.h"
#include "platform/PlatformServices.h"
#include "platform/RunLoop.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/TextField.h"
#include "state/CommandFailure.h"
#include "state/MusicPlayer.h"

namespace corvix {

namespace {

/// Rows shown at most in the Playlists submenu.
constexpr std::size_t kMaxPlaylistRows = 24;

Color accent(double alpha) {
    return musicAccentRed.withAlphaComponent(alpha);
}

bool isDark() {
    return Color::currentScheme() == ColorScheme::Dark;
}

std::string counted(std::size_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

/// "targetType:targetId", the way the hub tells outputs apart.
std::string outputKey(const JsonObject& player) {
    return string(player, "targetType", "player") + ":" +
           string(player, "targetId", string(player, "id"));
}

std::string playlistTitle(const JsonObject& playlist) {
    return string(playlist, "title", string(playlist, "name", "Playlist"));
}

std::optional<std::string> playlistSubtitle(const JsonObject& playlist) {
    if (const JsonObject* metadata = objectMember(playlist, "metadata")) {
        const json::value* tracks = member(*metadata, "trackCount");
        if (tracks && tracks->is_number()) {
            const double count = tracks->to_number<double>();
            if (std::isfinite(count) && std::abs(count) < 9007199254740992.0) {
                const auto whole = static_cast<std::int64_t>(std::trunc(count));
                return std::to_string(whole) + " track" + (whole == 1 ? "" : "s");
            }
        }
    }
    std::string subtitle = string(playlist, "subtitle");
    return subtitle.empty() ? std::nullopt : std::optional<std::string>(std::move(subtitle));
}

}  // namespace

// Playlists.

std::shared_ptr<MenuItem> MenuBuilder::musicPlaylistsSubmenuItem(const JsonObject& target) {
    loadMusicPlaylistsIfNeeded(false);
    auto row = submenuItem("Playlists", "music.note.list", musicPlaylistsSubtitle());
    auto submenu = StayOpenMenu::make();
    fillMusicPlaylistsSubmenu(*submenu, target);
    row->setSubmenu(submenu);
    musicPlaylistsEntry_ = row;
    musicPlaylistsTarget_ = target;
    return row;
}

std::string MenuBuilder::musicPlaylistsSubtitle() const {
    if (musicPlaylistLoading) {
        return "Loading";
    }
    if (musicPlaylistError) {
        return *musicPlaylistError;
    }
    return counted(musicPlaylistCache ? musicPlaylistCache->size() : 0, "playlist");
}

void MenuBuilder::fillMusicPlaylistsSubmenu(StayOpenMenu& submenu, const JsonObject& target) {
    submenu.removeAllItems();
    const std::vector<JsonObject> playlists =
        musicPlaylistCache.value_or(std::vector<JsonObject>{});
    if (!playlists.empty()) {
        const std::size_t shown = std::min(playlists.size(), kMaxPlaylistRows);
        for (std::size_t i = 0; i < shown; ++i) {
            submenu.addItem(musicPlaylistRow(playlists[i], target));
        }
        return;
    }
    if (musicPlaylistLoading) {
        submenu.addItem(disabledLine("Loading playlists..."));
        return;
    }
    if (!musicPlaylistError) {
        submenu.addItem(disabledLine("No playlists"));
        return;
    }
    submenu.addItem(disabledLine(*musicPlaylistError));
    auto retry = std::make_shared<ActionView>(Rect(0, 0, width, 30));
    const Color systemAccent = Color::system(SystemColor::ControlAccent);
    retry->setCornerRadius(8);
    retry->setHoverFillColor(systemAccent.withAlphaComponent(0.10));
    retry->setHoverStrokeColor(systemAccent.withAlphaComponent(0.16));
    retry->setPressedFillColor(systemAccent.withAlphaComponent(0.20));
    retry->setPressedStrokeColor(systemAccent.withAlphaComponent(0.28));
    retry->setAccessibilityElement(true);
    retry->setAccessibilityRole(AccessibilityRole::Button);
    retry->setAccessibilityLabel("Retry");
    auto icon = ImageView::withImage(systemSymbolImage("arrow.clockwise", "Retry"));
    icon->setFrame(Rect(14, 7, 16, 16));
    icon->setContentTintColor(secondaryLabelColor());
    icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    retry->addSubview(icon);
    retry->addSubview(rowLabel("Retry", Rect(40, 7, 272, 17), Font::system(13)));
    retry->onAction = [this, weak = lifetime_.weak()] {
        if (weak.expired()) {
            return;
        }
        loadMusicPlaylistsIfNeeded(true);
        // The entry says "Loading" at once; its rows, this one among them, are replaced on the
        // next turn, once the click is over.
        if (auto entry = musicPlaylistsEntry_.lock(); entry && entry->view()) {
            if (TextField* subtitle = labelAt(*entry->view(), 1)) {
                subtitle->setStringValue(musicPlaylistsSubtitle());
            }
        }
        if (RunLoop* loop = platformServices().runLoop) {
            loop->post([this, weak] {
                if (!weak.expired()) {
                    showMusicPlaylists();
                }
            });
        }
    };
    submenu.addItem(itemWithView("Retry", retry));
}

void MenuBuilder::showMusicPlaylists() {
    auto entry = musicPlaylistsEntry_.lock();
    if (!entry) {
        return;
    }
    if (entry->view()) {
        if (TextField* subtitle = labelAt(*entry->view(), 1)) {
            subtitle->setStringValue(musicPlaylistsSubtitle());
        }
    }
    if (auto submenu = std::dynamic_pointer_cast<StayOpenMenu>(entry->submenu())) {
        fillMusicPlaylistsSubmenu(*submenu, musicPlaylistsTarget_);
    }
}

std::shared_ptr<MenuItem> MenuBuilder::musicPlaylistRow(const JsonObject& playlist,
                                                        const JsonObject& target) {
    const std::string title = playlistTitle(playlist);
    const auto subtitle = playlistSubtitle(playlist);
    return actionItem(title, "text.line.first.and.arrowtriangle.forward",
                      subtitle ? std::optional<std::string_view>(*subtitle) : std::nullopt, true,
                      "Play playlist " + title, [this, weak = lifetime_.weak(), playlist, target] {
                          if (!weak.expired()) {
                              runMusicPlaylist(playlist, activeMusicPlayer.value_or(target));
                          }
                      });
}

void MenuBuilder::loadMusicPlaylistsIfNeeded(bool force) {
    if (force) {
        musicPlaylistCache.reset();
        musicPlaylistError.reset();
    }
    if (musicPlaylistLoading || musicPlaylistCache || musicPlaylistError) {
        return;
    }
    musicPlaylistLoading = true;
    client.fetchMusicPlaylists(
        [this, weak = lifetime_.weak()](Result<std::vector<JsonObject>> result) {
            if (weak.expired()) {
                return;
            }
            musicPlaylistLoading = false;
            if (result.ok()) {
                musicPlaylistCache = std::move(result.value());
                musicPlaylistError.reset();
            } else if (isCancellationError(result.error())) {
                // Nothing to show; the next build asks again.
                return;
            } else {
                musicPlaylistError = "Unable to load";
            }
            // Only the Playlists entry shows the fetch: the rest of the menu, and any submenu
            // the user has open, stays as it is.
            showMusicPlaylists();
            if (refresh) {
                refresh();
            }
        });
}

void MenuBuilder::runMusicPlaylist(const JsonObject& playlist, const JsonObject& target) {
    client.playMusicPlaylist(playlist, target, musicOutcome());
}

// Outputs.

std::shared_ptr<MenuItem> MenuBuilder::musicPlayerRow(const JsonObject& player,
                                                      const JsonObject& active,
                                                      const JsonObject& routeSource) {
    const bool isActive = outputKey(player) == outputKey(active);
    const bool dark = isDark();
    const std::string label = string(player, "label", "Music Player");
    const std::string description = musicOutputAccessibilityText(player, isActive);

    auto view = std::make_shared<ActionView>(Rect(0, 0, width, 34));
    view->setCornerRadius(11);
    if (isActive) {
        view->setFillColor(accent(dark ? 0.18 : 0.11));
        view->setStrokeColor(accent(0.22));
        view->setHoverFillColor(accent(dark ? 0.24 : 0.16));
        view->setHoverStrokeColor(accent(0.34));
    } else {
        view->setHoverFillColor(dark ? Color::calibratedWhite(0.22, 0.52)
                                     : Color::calibratedWhite(0.88, 0.64));
        view->setHoverStrokeColor(
            Color::system(SystemColor::Separator).withAlphaComponent(dark ? 0.18 : 0.26));
    }
    view->setAccessibilityElement(true);
    view->setAccessibilityRole(AccessibilityRole::Button);
    view->setAccessibilityLabel(description);
    view->setToolTip(description);

    const std::string symbol = musicOutputIconName(player, isActive);
    auto icon = ImageView::withImage(systemSymbolImage(symbol, symbol));
    icon->setFrame(Rect(18, 9, 16, 16));
    icon->setContentTintColor(isActive ? musicAccentRed : secondaryLabelColor());
    icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    view->addSubview(icon);
    view->addSubview(rowLabel(label, Rect(48, 8, isActive ? 200 : 260, 18),
                              Font::system(13, FontWeight::Medium)));
    if (isActive) {
        auto pill = std::make_shared<MusicPanelView>(Rect(258, 8, 48, 18));
        pill->fillColor = accent(0.14);
        pill->strokeColor = accent(0.24);
        pill->cornerRadius = 9;
        pill->inset = {0, 0, 0, 0};
        view->addSubview(pill);
        auto live = rowLabel("Live", Rect(266, 11, 32, 12), Font::system(9, FontWeight::Semibold),
                             musicAccentRed);
        live->setAlignment(TextAlignment::Center);
        view->addSubview(live);
    }

    view->onAction = [this, weak = lifetime_.weak(), isActive, player, routeSource] {
        if (weak.expired()) {
            return;
        }
        if (isActive) {
            if (refresh) {
                refresh();
            }
            return;
        }
        // The rebuild below replaces this row and the closure holding these.
        const JsonObject target = player;
        const JsonObject source = routeSource;
        if (const std::string id = identifierText(target, "id"); !id.empty()) {
            localActiveMusicPlayerId = id;
            rebuildFromCurrentState();
        }
        runMusicTransfer(source, target);
    };
    return itemWithView(label, view);
}

void MenuBuilder::runMusicTransfer(const JsonObject& source, const JsonObject& target) {
    const std::uint64_t generation = ++musicTransferGeneration_;
    const std::string targetId = identifierText(target, "id");
    client.runMusicTransfer(
        source, target, [this, weak = lifetime_.weak(), generation, targetId](Result<void> result) {
            if (weak.expired()) {
                return;
            }
            // An older choice's answer must not undo the newer one.
            const bool latest = generation == musicTransferGeneration_;
            if (result.ok()) {
                if (latest) {
                    // An id-less output cannot be found in "players": leave the hub's choice.
                    localActiveMusicPlayerId =
                        targetId.empty() ? std::nullopt : std::optional<std::string>(targetId);
                }
                if (refresh) {
                    refresh();
                }
                return;
            }
            if (latest) {
                localActiveMusicPlayerId.reset();
                rebuildFromCurrentState();
            }
            if (isCancellationError(result.error())) {
                return;
            }
            showError(result.error());
            if (refresh) {
                refresh();
            }
        });
}

void MenuBuilder::settleLocalMusicPlayer(const JsonObject& musicPlayer) {
    if (!localActiveMusicPlayerId) {
        return;
    }
    // Once the hub names the chosen output itself, later moves made elsewhere must show.
    if (const JsonObject* active = objectMember(musicPlayer, "activePlayer");
        active && identifierText(*active, "id") == *localActiveMusicPlayerId) {
        localActiveMusicPlayerId.reset();
    }
}

}  // namespace corvix
