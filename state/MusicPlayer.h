#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "state/StateAccessors.h"

namespace corvix {

// The hub's music block ("musicPlayer") and its player records, read through the forgiving
// accessors. Everything here is a pure function of the records; the clock is passed in where
// a value depends on it (the overloads without one read the run loop's wall clock).

/// Wall-clock milliseconds since 1970 from the installed run loop (the system clock without
/// one).
double musicNowMs();

/// "title", else "label", else "Music".
std::string musicTitle(const JsonObject& player);
/// "Playing", "Paused" or "Ready".
std::string musicStatusText(const JsonObject& player);
/// Artist (or subtitle), album and quality joined by " • "; the label, else "Orbelune Music".
std::string musicSourceLine(const JsonObject& player);
/// The position in milliseconds, counted on from "lastUpdatedAt" while playing and limited to
/// a known duration.
double musicPosition(const JsonObject& player, double nowMs);
double musicPosition(const JsonObject& player);
/// Position over duration, 0 to 1 (0 without a duration).
double musicProgressFraction(const JsonObject& player, double nowMs);
double musicProgressFraction(const JsonObject& player);
/// A capability flag: the plain name first, then its older alias ("seek" → "canSeek").
bool musicCapability(const JsonObject& player, std::string_view name, bool fallback);
/// "off", "all" or "one"; the JSON booleans say "all" and "off".
std::string normalizedRepeatMode(const JsonObject& player);
/// "muted", else "mute", else "metadata"."muted"; not muted when none says.
bool musicMuted(const JsonObject& player);
/// "shuffle"; off when absent.
bool musicShuffle(const JsonObject& player);
/// "playback" is "playing", in any letter case.
bool musicIsPlaying(const JsonObject& player);
/// "durationMs" when it is a positive finite number, else 0 (no length given).
double musicDurationMs(const JsonObject& player);
/// "volume" limited to 0..100; 100 when absent or not a finite number.
double musicVolume(const JsonObject& player);
/// The player has a "targetId" the hub's music commands can name.
bool musicAcceptsCommands(const JsonObject& player);

/// The stream location: "streamUrl", else "metadata"."uri".
std::string musicStreamLocation(const JsonObject& player);
/// The current item's id: "contentId", else "metadata"."contentId", else the stream location.
std::string musicContentId(const JsonObject& player);
/// The player plays something from the hub's own library (or a local file).
bool musicHoldsLocalMedia(const JsonObject& player);

/// How much a player looks like where music plays now: playing, browser playback, an idle
/// library, a title.
int musicRouteSourceScore(const JsonObject& player);
/// The player a transfer moves music away from: the best-scored usable candidate (ties to the
/// newer report, then the hub's order), else `active`.
const JsonObject* musicRouteSource(const ObjectList& players, const JsonObject* active);

/// The symbol of an output row.
std::string musicOutputIconName(const JsonObject& player, bool isActive);
/// The tool tip and accessibility text of an output row, without repeated parts.
std::string musicOutputAccessibilityText(const JsonObject& player, bool isActive);

/// "m:ss" below an hour, else "h:mm:ss"; negative and non-finite times read as 0.
std::string formatDuration(double ms);

/// Whether `player` is the commanded player `commanded`: by a non-empty id, else by target
/// when the commanded player has a non-empty "targetId". JSON null ids name nothing.
bool musicPlayerMatches(const JsonObject& player, const JsonObject& commanded);
/// A copy of `player` as it will be once the hub carried out `action`: playback, volume, mute,
/// shuffle, repeat or the seek target applied, the position folded in at `nowMs` and
/// "lastUpdatedAt" renewed.
JsonObject projectedMusicPlayer(const JsonObject& player, std::string_view action,
                                const JsonObject& payload, double nowMs);
JsonObject projectedMusicPlayer(const JsonObject& player, std::string_view action,
                                const JsonObject& payload);
/// A copy of `state` whose music block has the projection applied to every player matching
/// `player` (the active one and those in "players").
JsonObject projectMusicCommand(const JsonObject& state, std::string_view action,
                               const JsonObject& player, const JsonObject& payload, double nowMs);
JsonObject projectMusicCommand(const JsonObject& state, std::string_view action,
                               const JsonObject& player, const JsonObject& payload);

/// The music block the menu is built from: while the user's chosen output
/// `localActivePlayerId` is listed in "players", it takes the place of "activePlayer".
JsonObject effectiveMusicPlayerBlock(const JsonObject& music,
                                     const std::optional<std::string>& localActivePlayerId);

}  // namespace corvix
