#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hub/OrderedSends.h"
#include "platform/Lifetime.h"
#include "platform/MprisService.h"
#include "platform/Result.h"
#include "platform/Url.h"
#include "state/StateAccessors.h"

namespace corvix {

class OrbeluneClient;

/// A music command as the menu sends it: the action and its payload.
struct MusicCommand {
    std::string action;
    JsonObject payload;

    bool operator==(const MusicCommand&) const = default;
};

/// The player the desktop's media controls show: the menu's active player (the user's chosen
/// output first); none when the hub has no available music player.
std::optional<JsonObject> mprisActivePlayer(const JsonObject& state,
                                            const std::optional<std::string>& localActivePlayerId);
/// What the desktop shows for `player` at `nowMs`; relative artwork addresses resolve against
/// `base`.
MprisSnapshot mprisSnapshot(const JsonObject& player, const Url& base, double nowMs);
/// The object path naming the track `player` plays; "no track" when nothing says what it is.
std::string mprisTrackId(const JsonObject& player);
/// The hub command a desktop request asks of `player` at `nowMs`; none when the request has
/// nothing to do (already playing, a stale track, a capability off).
std::optional<MusicCommand> mprisCommand(const JsonObject& player, const MprisRequest& request,
                                         double nowMs);
/// A position that moved more than this against the last one counted on is a jump (Seeked).
inline constexpr std::int64_t kMprisSeekToleranceUs = 1'000'000;

/// Feeds the desktop's media controls from each fetched state and sends their calls to the hub
/// through the menu's music commands. Main thread only.
class MprisPlayerModel {
  public:
    /// `refresh` asks for fresh state after a command, as the menu's commands do. `sends` is
    /// the application's, shared with the menu and the notch player.
    MprisPlayerModel(MprisService& service, const OrbeluneClient& client, OrderedSends& sends,
                     std::function<void()> refresh);
    MprisPlayerModel(const MprisPlayerModel&) = delete;
    MprisPlayerModel& operator=(const MprisPlayerModel&) = delete;
    ~MprisPlayerModel();

    /// Shows the player of a freshly fetched `state`; none (the hub unreachable) withdraws it.
    void update(const JsonObject* state, const std::optional<std::string>& localActivePlayerId);
    /// A call from the desktop.
    void handle(const MprisRequest& request);

    /// The player record shown now, with the commands sent since the last fetch applied.
    const std::optional<JsonObject>& player() const { return player_; }

  private:
    /// Publishes `player_`, telling the desktop of a position jump on the same track.
    void show();
    void send(const MusicCommand& command);
    /// One at a time per control of the player, the newest waiting, as the menu's sliders
    /// send.
    void sendInOrder(const char* control, const MusicCommand& command);
    void finished(const Result<void>& result);

    MprisService& service_;
    const OrbeluneClient& client_;
    OrderedSends& sends_;
    std::function<void()> refresh_;
    /// The hub's own record from the last fetch, to go back to when a command fails.
    std::optional<JsonObject> hubPlayer_;
    std::optional<JsonObject> player_;
    std::optional<MprisSnapshot> shown_;
    Lifetime lifetime_;
};

}  // namespace corvix
