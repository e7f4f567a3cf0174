#pragma once

#include <compare>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/Result.h"
#include "state/StateAccessors.h"

namespace corvix {

/// What the user moves and where it goes: one line of sends that reach the hub in order.
struct SendKey {
    /// A device's id, or a music player's target (`musicSendTarget`).
    std::string target;
    /// The control the user moves (the constants below): brightness, colour, volume, seek,
    /// the track (next and previous), playback (play and pause), ...
    std::string control;

    auto operator<=>(const SendKey&) const = default;
};

// The controls of `SendKey`. A device slider's control is its payload key ("brightness",
// "fanSpeed"), so a light's row and its slider elsewhere share one line.
inline constexpr const char* kBrightnessControl = "brightness";
inline constexpr const char* kColorControl = "color";
inline constexpr const char* kColorTemperatureControl = "colorTemperature";
inline constexpr const char* kClimateModeControl = "climateMode";
inline constexpr const char* kClimateTargetControl = "climateTarget";
inline constexpr const char* kVolumeControl = "volume";
inline constexpr const char* kSeekControl = "seek";
inline constexpr const char* kTrackControl = "track";
inline constexpr const char* kPlaybackControl = "playback";

/// A music player's target as a key: the target type and id its commands name. Records of one
/// player (the active one, an entry of the players list, the menu's, the notch's or the
/// desktop's copy) give the same text.
std::string musicSendTarget(const JsonObject& player);

/// One value on its way to the hub: what it asks for, and how to ask.
struct OrderedSend {
    using Done = std::function<void(Result<void>)>;

    /// The command or action the hub runs, and its payload: together they tell whether a
    /// newer value is the one already on its way.
    std::string operation;
    JsonObject payload;
    /// Starts one request to this value's own target and hands its answer to `done`; false
    /// when it cannot be sent (its sender is gone, nothing to send it to), and `done` then
    /// never runs.
    std::function<bool(Done done)> start;
    /// Gets the answer when this value is the last one sent for its key; may be empty.
    Done outcome;
    /// A press asks again even when it equals the value on its way (a second Next); a
    /// slider's release where its drag ended asks nothing new.
    bool repeats = false;
};

/// The application's ordered sends, shared by every control that sends to the hub one value
/// after another: while one request for a key is on its way, only the newest value waits, and
/// it goes out when the answer arrives; that answer is then dropped, failure or not. Created
/// once by the application and handed to the menu, the notch player and the desktop's media
/// controls, so their sends to one target and control are ordered among themselves. Main
/// thread only.
class OrderedSends {
  public:
    OrderedSends();
    ~OrderedSends();
    OrderedSends(const OrderedSends&) = delete;
    OrderedSends& operator=(const OrderedSends&) = delete;

    /// Sends `value` for `key` now, or after the one on its way in place of any older waiting
    /// value; a value equal to the one on its way (and not `repeats`) leaves nothing waiting.
    /// True when it went out now.
    bool send(const SendKey& key, OrderedSend value);
    /// A value of `key` is on its way or waiting: the control shows the user's value, since
    /// the hub's may be behind it.
    bool busy(const SendKey& key) const;
    /// The user's newest value for a busy key (the waiting one, else the one on its way); null
    /// when the key is free.
    const OrderedSend* newest(const SendKey& key) const;

  private:
    struct Line {
        OrderedSend sending;
        std::optional<OrderedSend> waiting;
    };
    using Lines = std::map<SendKey, Line>;

    /// Starts `value` as the one on its way for `key`; the key stays free when it cannot go.
    static bool start(const std::shared_ptr<Lines>& lines, const SendKey& key, OrderedSend value);
    static void answered(const std::weak_ptr<Lines>& weak, const SendKey& key, Result<void> result);

    /// Only busy keys have a line. Answers hold it weakly: they do nothing once it is gone.
    std::shared_ptr<Lines> lines_;
};

}  // namespace corvix
