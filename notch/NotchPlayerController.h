#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hub/OrderedSends.h"
#include "images/MusicArtwork.h"
#include "notch/NotchCompactView.h"
#include "notch/PlayerCardView.h"
#include "platform/Lifetime.h"
#include "platform/Observers.h"
#include "platform/RunLoop.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "state/StateAccessors.h"

namespace corvix {

class OrbeluneClient;

/// The floating player at the top of the screen: hidden, a compact strip, or the expanded
/// card; its timers, its placement on the screen and the commands sent from the card. Created
/// at launch and handed every fetched state document. Main thread only.
class NotchPlayerController {
  public:
    enum class State { hidden, compact, expanded };

    static constexpr Duration kHoverDelay = std::chrono::milliseconds(300);
    static constexpr Duration kCollapseDelay = std::chrono::milliseconds(3500);
    static constexpr Duration kProgressInterval = std::chrono::milliseconds(500);
    static constexpr double kFrameAnimationDuration = 0.35;
    static constexpr TimingFunction kFrameCurve{0.34, 1.30, 0.64, 1.00};
    static constexpr Size kCompactSize{195, 32};
    static constexpr Size kExpandedSize{340, 176};
    /// Without a camera housing the strip sits this far below the screen's top.
    static constexpr double kTopMargin = 28;

    /// `sends` is the application's, shared with the menu and the media controls.
    NotchPlayerController(const OrbeluneClient& client, OrderedSends& sends);
    ~NotchPlayerController();
    NotchPlayerController(const NotchPlayerController&) = delete;
    NotchPlayerController& operator=(const NotchPlayerController&) = delete;

    void update(const JsonObject& state);
    void hide();
    bool isVisible() const { return state_ != State::hidden; }
    State state() const { return state_; }

    /// Whether a screen has a camera housing: both free areas beside it are known.
    static bool hasHousing(const Screen& screen);
    /// Where the window goes for `state` among `screens`; none without a screen.
    static std::optional<Rect> frameFor(State state, const std::vector<Screen>& screens);
    void applyFrame(State state, bool animated);
    void refreshContent();
    void launchSource(const std::string& key);

    Window& window() const { return *window_; }
    View& container() const { return *container_; }
    NotchCompactView* compactView() const { return compactView_.get(); }
    PlayerCardView* expandedView() const { return expandedView_.get(); }
    const JsonObject* player() const { return player_ ? &*player_ : nullptr; }
    const std::vector<JsonObject>& players() const { return players_; }
    bool hasHoverTimer() const { return hoverTimer_ && hoverTimer_->isActive(); }
    bool hasCollapseTimer() const { return collapseTimer_ && collapseTimer_->isActive(); }
    bool hasProgressTimer() const { return progressTimer_.has_value(); }
    NotchArtworkLoader& artworkLoader() { return artwork_; }

  private:
    void showCompactView();
    void showExpandedView();
    void showInContainer(const std::shared_ptr<View>& view);
    void expand();
    void collapse();
    void restartCollapseTimer();
    void cancelTimer(std::optional<Timer>& timer);
    void updateProgressTimer();
    void screensChanged();
    /// Tells the views where the pointer is now: a view that appeared under a resting pointer
    /// gets no enter event from the desktop.
    void reevaluatePointer();
    bool isPlaying() const;

    void sendCommand(const std::string& action, JsonObject payload);
    /// Sends to the shown player through the ordered sends of its `control`.
    void sendSequenced(const char* control, const std::string& action, JsonObject payload);

    const OrbeluneClient& client_;
    OrderedSends& sends_;
    std::shared_ptr<Window> window_;
    std::shared_ptr<View> container_;
    State state_ = State::hidden;
    std::optional<JsonObject> player_;
    std::vector<JsonObject> players_;
    std::shared_ptr<NotchCompactView> compactView_;
    std::shared_ptr<PlayerCardView> expandedView_;
    std::optional<Timer> progressTimer_;
    std::optional<Timer> hoverTimer_;
    std::optional<Timer> collapseTimer_;
    /// Between the card's hover enter and exit.
    bool pointerOnCard_ = false;
    NotchArtworkLoader artwork_;
    Subscription screensObserver_;
    Lifetime lifetime_;
};

}  // namespace corvix
