#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/MenuRefreshGate.h"
#include "hub/MacControlStateStreamClient.h"
#include "hub/OrbeluneClient.h"
#include "hub/OrderedSends.h"
#include "platform/Lifetime.h"
#include "platform/Observers.h"
#include "platform/RunLoop.h"
#include "platform/Task.h"
#include "platform/ui/Application.h"
#include "platform/ui/Menu.h"
#include "platform/ui/StatusItem.h"

namespace corvix {

class CorvixSettingsWindowController;
class MenuBuilder;
class MprisPlayerModel;
class NotchPlayerController;
class StayOpenMenu;

/// Owns every long-lived object of the running program and drives its life: launch, the
/// parent-process watch, the refresh road, the menu opening and closing, appearance changes
/// and shutdown. Main thread only.
class AppDelegate final : public ApplicationDelegate,
                          public MenuDelegate,
                          public std::enable_shared_from_this<AppDelegate> {
  public:
    static constexpr const char* kLoadingMessage = "Loading Orbelune OS...";
    static constexpr Duration kFallbackRefreshInterval = std::chrono::seconds(60);
    static constexpr Duration kParentWatchInterval = std::chrono::seconds(3);

    /// Creates the status item, the top-level menu, the hub client and the refresh gate from
    /// the installed platform services.
    AppDelegate();
    ~AppDelegate() override;

    void applicationDidFinishLaunching() override;
    void applicationWillTerminate() override;
    void applicationDidWake() override;
    void menuWillOpen(Menu& menu) override;
    void menuDidClose(Menu& menu) override;
    void appearanceDidChange();

    /// Asks for fresh state; `force` starts the fetch at once.
    void refresh(bool force);

    const std::shared_ptr<StatusItem>& statusItem() const { return statusItem_; }
    const std::shared_ptr<StayOpenMenu>& menu() const { return menu_; }
    const OrbeluneClient& client() const { return *client_; }
    const OrderedSends& orderedSends() const { return sends_; }
    const MenuRefreshGate& refreshGate() const { return refreshGate_; }
    const std::optional<std::string>& lastStructureSignature() const {
        return lastStructureSignature_;
    }
    bool menuIsOpen() const { return menuIsOpen_; }
    bool isRefreshing() const { return static_cast<bool>(refreshTask_); }
    bool hasParentWatch() const { return parentTimer_.has_value(); }
    MenuBuilder* builder() const { return builder_.get(); }
    /// The notch player, from launch until termination.
    NotchPlayerController* notchPlayer() const { return notchPlayer_.get(); }
    /// The desktop's media controls, from launch while the platform has a bus for them.
    MprisPlayerModel* mprisPlayer() const { return mprisPlayer_.get(); }
    /// The settings window, once opened.
    CorvixSettingsWindowController* settingsWindowController() const {
        return settingsWindowController_.get();
    }

    // The four menu callbacks.
    void openDashboard();
    void openSettings();
    void quit();

    /// The settings changed a section, the notch switch or the tray icon's colour: the icon
    /// follows at once, the next refresh rebuilds the menu.
    void settingsTogglesChanged();

  private:
    void startRefresh();
    void finishRefresh(Result<JsonObject> result, Duration startedAt);
    void startFallbackRefreshTimer();
    void startParentMonitor();
    void openURL(const std::string& text);
    bool isVisible() const;
    void setStatusItemIcon();
    void settleStatusItem();
    /// Hides the notch player when its switch is turned off.
    void hideNotchPlayer();
    /// Shows the menu's music player on the desktop's media controls; none withdraws it.
    void publishMediaControls(const JsonObject* state);
    /// Runs `action` with the delegate when it still exists.
    std::function<void()> weakly(std::function<void(AppDelegate&)> action);

    std::shared_ptr<StatusItem> statusItem_;
    std::shared_ptr<StayOpenMenu> menu_;
    std::unique_ptr<OrbeluneClient> client_;
    /// The one line of ordered sends per target and control, shared by the menu, the notch
    /// player and the media controls; it outlives all three.
    OrderedSends sends_;
    std::unique_ptr<MenuBuilder> builder_;
    std::unique_ptr<MacControlStateStreamClient> stateStreamClient_;
    std::unique_ptr<NotchPlayerController> notchPlayer_;
    std::unique_ptr<MprisPlayerModel> mprisPlayer_;
    std::optional<Timer> parentTimer_;
    std::optional<Timer> fallbackRefreshTimer_;
    TaskHandle refreshTask_;
    std::optional<Timer> scheduledRefreshTask_;
    MenuRefreshGate refreshGate_;
    std::optional<std::string> lastStructureSignature_;
    bool menuIsOpen_ = false;
    std::unique_ptr<CorvixSettingsWindowController> settingsWindowController_;
    bool terminated_ = false;
    Subscription appearanceObserver_;
    RunLoop& loop_;
    Lifetime lifetime_;
};

}  // namespace corvix
