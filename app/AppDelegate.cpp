#include "app/AppDelegate.h"

#include "app/LaunchConfiguration.h"
#include "app/RuntimeDiagnostics.h"
#include "app/StructureSignature.h"
#include "desktop/MprisPlayerModel.h"
#include "menu/MenuBuilder.h"
#include "menu/StayOpenMenu.h"
#include "notch/NotchPlayerController.h"
#include "platform/Environment.h"
#include "platform/MprisService.h"
#include "platform/PlatformServices.h"
#include "platform/ProcessControl.h"
#include "platform/RegularFile.h"
#include "platform/RunLoop.h"
#include "platform/Url.h"
#include "platform/Workspace.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Appearance.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Symbols.h"
#include "playback/LocalAudioPlayer.h"
#include "settings/CorvixSettingsWindowController.h"
#include "settings/TrayIconStyle.h"
#include "state/StateAccessors.h"

namespace corvix {

namespace {
constexpr double kRowWidth = 326;
RuntimeDiagnostics& diagnostics() {
    return RuntimeDiagnostics::menuBar();
}

/// The image in `path`, or null when the file is missing, not a regular file of icon size (a
/// FIFO must not stall the start) or not an image.
ImagePtr loadImageFile(const std::string& path) {
    ImageService* images = platformServices().images;
    if (!images) {
        return nullptr;
    }
    auto bytes = readRegularFile(path, LaunchConfiguration::kMaxIconFileBytes);
    if (!bytes || bytes->empty()) {
        return nullptr;
    }
    return images->decode(std::vector<std::uint8_t>(bytes->begin(), bytes->end()));
}
}  // namespace

AppDelegate::AppDelegate()
    : menu_(std::make_shared<StayOpenMenu>()),
      client_(std::make_unique<OrbeluneClient>()),
      loop_(*platformServices().runLoop) {
    if (StatusBar* bar = platformServices().statusBar) {
        statusItem_ = bar->statusItem(StatusItem::VariableLength);
    }
}

AppDelegate::~AppDelegate() = default;

std::function<void()> AppDelegate::weakly(std::function<void(AppDelegate&)> action) {
    return [this, alive = lifetime_.weak(), action = std::move(action)] {
        if (!alive.expired()) {
            action(*this);
        }
    };
}

void AppDelegate::applicationDidFinishLaunching() {
    const PlatformServices& services = platformServices();
    if (services.application) {
        services.application->setActivationPolicy(ActivationPolicy::Accessory);
    }
    menu_->setDelegate(shared_from_this());

    setStatusItemIcon();

    notchPlayer_ = std::make_unique<NotchPlayerController>(*client_, sends_);

    if (MprisService* mpris = services.mpris) {
        if (mpris->available()) {
            mprisPlayer_ = std::make_unique<MprisPlayerModel>(
                // A press of a media key is answered at once, even with the menu closed.
                *mpris, *client_, sends_, weakly([](AppDelegate& d) { d.refresh(true); }));
        } else {
            diagnostics().event("mpris_unavailable");
        }
    }
    if (statusItem_) {
        // A middle click on the icon plays or pauses the music the media controls show.
        statusItem_->setSecondaryAction(weakly([](AppDelegate& d) {
            if (d.mprisPlayer_) {
                MprisRequest request;
                request.kind = MprisRequest::Kind::PlayPause;
                d.mprisPlayer_->handle(request);
            }
        }));
    }

    builder_ = std::make_unique<MenuBuilder>(
        kRowWidth, std::weak_ptr<StayOpenMenu>(menu_), *client_, sends_,
        weakly([](AppDelegate& d) { d.openDashboard(); }),
        weakly([](AppDelegate& d) { d.openSettings(); }),
        weakly([](AppDelegate& d) { d.refresh(false); }), weakly([](AppDelegate& d) { d.quit(); }));
    builder_->buildLoading(*menu_, kLoadingMessage);
    if (statusItem_) {
        statusItem_->setMenu(menu_);
        statusItem_->setToolTip(kLoadingMessage);
    }

    refresh(true);

    stateStreamClient_ = std::make_unique<MacControlStateStreamClient>(
        *client_, weakly([](AppDelegate& d) { d.refresh(false); }),
        MacControlStateStreamClient::kInitialReconnectDelayNs);
    stateStreamClient_->start();

    startFallbackRefreshTimer();
    startParentMonitor();

    if (services.appearance) {
        appearanceObserver_ =
            services.appearance->onChange(weakly([](AppDelegate& d) { d.appearanceDidChange(); }));
    }
}

void AppDelegate::setStatusItemIcon() {
    if (!statusItem_) {
        return;
    }
    const Environment& environment = *platformServices().environment;
    ImagePtr image;
    if (auto path = LaunchConfiguration::iconPath(environment)) {
        image = loadImageFile(*path);
        if (image) {
            image->setSize(Size{18, 18});
            image->setTemplate(LaunchConfiguration::iconIsTemplate(environment));
        }
    }
    if (!image) {
        image = systemSymbolImage("house.fill", "Orbelune OS");
        if (image) {
            image->setTemplate(true);
        }
    }
    statusItem_->setImage(image);
    statusItem_->setImagePosition(ImagePosition::ImageLeft);
    statusItem_->setIconStyle(corvixTrayIconStyle());
}

void AppDelegate::startFallbackRefreshTimer() {
    if (fallbackRefreshTimer_) {
        fallbackRefreshTimer_->cancel();
    }
    fallbackRefreshTimer_ =
        loop_.every(kFallbackRefreshInterval, weakly([](AppDelegate& d) { d.refresh(false); }));
    diagnostics().gauge("fallback_refresh_timer_active", 1);
}

void AppDelegate::startParentMonitor() {
    const std::int32_t pid = LaunchConfiguration::parentPid(*platformServices().environment);
    if (pid <= 0) {
        return;
    }
    // The watch holds only the process identifier; the end goes through the normal path.
    parentTimer_ = loop_.every(kParentWatchInterval, [pid] {
        const PlatformServices& services = platformServices();
        if (services.processes && !services.processes->probe(pid) && services.application) {
            services.application->terminate();
        }
    });
    diagnostics().gauge("parent_monitor_timer_active", 1);
}

void AppDelegate::openDashboard() {
    openURL(LaunchConfiguration::dashboardURL(*platformServices().environment));
}

void AppDelegate::openURL(const std::string& text) {
    auto url = Url::parseAbsolute(text);
    if (!url) {
        return;  // not a URL: nothing to open, nothing to report
    }
    Workspace* workspace = platformServices().workspace;
    if (!workspace) {
        return;
    }
    const std::string address = url->toString();
    workspace->openURL(address, [address] {
        // Said, not swallowed: without it the click seems to do nothing.
        RunLoop* loop = platformServices().runLoop;
        if (!loop) {
            return;
        }
        loop->post([address] {
            if (AlertPresenter* alerts = platformServices().alerts) {
                alerts->present(Alert{"Unable to Open the Link",
                                      address + "\n\nNo web browser could be started. Install "
                                                "xdg-utils and choose a default web browser in the "
                                                "desktop's settings.",
                                      AlertStyle::Warning,
                                      {"OK"}});
            }
        });
    });
}

void AppDelegate::openSettings() {
    if (!settingsWindowController_) {
        settingsWindowController_ = std::make_unique<CorvixSettingsWindowController>(
            *client_, weakly([](AppDelegate& d) { d.refresh(false); }),
            weakly([](AppDelegate& d) { d.settingsTogglesChanged(); }));
    }
    settingsWindowController_->showWindow();
    settingsWindowController_->refresh();
    if (Application* application = platformServices().application) {
        application->activate(true);
    }
}

void AppDelegate::settingsTogglesChanged() {
    if (statusItem_) {
        statusItem_->setIconStyle(corvixTrayIconStyle());
    }
    lastStructureSignature_.reset();
    refresh(false);
    if (!corvixSectionEnabled(corvixNotchEnabledKey)) {
        hideNotchPlayer();
    }
}

void AppDelegate::hideNotchPlayer() {
    if (notchPlayer_) {
        notchPlayer_->hide();
    }
}

void AppDelegate::quit() {
    const PlatformServices& services = platformServices();
    const std::int32_t pid = LaunchConfiguration::parentPid(*services.environment);
    if (pid > 0 && services.processes) {
        services.processes->requestTermination(pid);
    }
    if (services.application) {
        services.application->terminate();
    }
}

void AppDelegate::menuWillOpen(Menu&) {
    menuIsOpen_ = true;
    diagnostics().gauge("menu_visible", 1);
    refresh(true);
}

void AppDelegate::menuDidClose(Menu&) {
    menuIsOpen_ = false;
    diagnostics().gauge("menu_visible", 0);
    diagnostics().persist();
}

void AppDelegate::appearanceDidChange() {
    lastStructureSignature_.reset();
    refresh(true);
}

bool AppDelegate::isVisible() const {
    return menuIsOpen_ || (notchPlayer_ && notchPlayer_->isVisible());
}

void AppDelegate::refresh(bool force) {
    if (terminated_) {
        return;  // a fetch cancelled at termination must not schedule another
    }
    diagnostics().event("refresh_requested");
    const MenuRefreshRequest request = refreshGate_.request(force, isVisible(), loop_.now());
    switch (request.kind) {
        case MenuRefreshRequest::Kind::CoalescedInFlight:
            diagnostics().count("refresh_coalesced_in_flight");
            return;
        case MenuRefreshRequest::Kind::CoalescedScheduled:
            diagnostics().count("refresh_coalesced_scheduled");
            return;
        case MenuRefreshRequest::Kind::Schedule:
            break;
    }
    if (request.replacesScheduled && scheduledRefreshTask_) {
        scheduledRefreshTask_->cancel();
        scheduledRefreshTask_.reset();
    }
    scheduledRefreshTask_ = loop_.after(request.delay, weakly([](AppDelegate& d) {
                                            d.scheduledRefreshTask_.reset();
                                            d.startRefresh();
                                        }));
}

void AppDelegate::startRefresh() {
    if (!refreshGate_.begin(loop_.now())) {
        return;
    }
    const Duration startedAt = loop_.now();
    diagnostics().gauge("refresh_active", 1);
    auto alive = lifetime_.weak();
    refreshTask_ = client_->fetchState([this, alive, startedAt](Result<JsonObject> result) {
        if (alive.expired()) {
            return;
        }
        finishRefresh(std::move(result), startedAt);
    });
}

void AppDelegate::finishRefresh(Result<JsonObject> result, Duration startedAt) {
    if (result.ok()) {
        auto state = std::make_shared<const JsonObject>(std::move(result.value()));
        // Sound first: this computer plays when the hub routes its music here.
        LocalAudioPlayer::shared().sync(*state, client_->baseURL());
        std::string signature = menuStructureSignature(*state);
        if (lastStructureSignature_ && *lastStructureSignature_ == signature) {
            // The same rows, the hub's new values: device and automation rows, then music.
            builder_->updateRows(state);
            if (builder_->updatePlayback(state)) {
                diagnostics().count("refresh_playback_only");
            }
        } else {
            builder_->build(*menu_, state);
            lastStructureSignature_ = std::move(signature);
            diagnostics().event("refresh_structural_rebuild");
        }
        settleStatusItem();
        if (notchPlayer_) {
            notchPlayer_->update(*state);
        }
        publishMediaControls(state.get());
        diagnostics().event("refresh_completed");
        diagnostics().gauge(
            "last_refresh_duration_ms",
            std::chrono::duration_cast<std::chrono::milliseconds>(loop_.now() - startedAt).count());
    } else if (!isCancellationError(result.error())) {
        builder_->buildOffline(*menu_, result.error().description);
        lastStructureSignature_.reset();
        if (statusItem_) {
            // What the offline menu's first lines say, for a pointer resting on the icon.
            statusItem_->setToolTip("Orbelune OS is not reachable\n" + result.error().description);
        }
        diagnostics().count("refresh_failed");
        publishMediaControls(nullptr);
    }
    refreshTask_ = TaskHandle();
    diagnostics().gauge("refresh_active", 0);
    if (refreshGate_.finish()) {
        refresh(false);
    }
}

void AppDelegate::settleStatusItem() {
    if (!statusItem_) {
        return;
    }
    statusItem_->setTitle("");
    statusItem_->setToolTip("Orbelune OS");
    statusItem_->setImagePosition(ImagePosition::ImageOnly);
    statusItem_->setLength(StatusItem::SquareLength);
}

void AppDelegate::publishMediaControls(const JsonObject* state) {
    if (mprisPlayer_ && builder_) {
        mprisPlayer_->update(state, builder_->localActiveMusicPlayerId);
    }
}

void AppDelegate::applicationWillTerminate() {
    terminated_ = true;
    if (refreshTask_) {
        refreshTask_.cancel();
        refreshTask_ = TaskHandle();
    }
    if (scheduledRefreshTask_) {
        scheduledRefreshTask_->cancel();
        scheduledRefreshTask_.reset();
    }
    refreshGate_.cancelScheduled();

    if (fallbackRefreshTimer_) {
        fallbackRefreshTimer_->cancel();
        fallbackRefreshTimer_.reset();
    }
    diagnostics().gauge("fallback_refresh_timer_active", 0);

    if (stateStreamClient_) {
        stateStreamClient_->stop();
        stateStreamClient_.reset();
    }

    if (parentTimer_) {
        parentTimer_->cancel();
        parentTimer_.reset();
    }
    diagnostics().gauge("parent_monitor_timer_active", 0);

    if (notchPlayer_) {
        notchPlayer_->hide();
        notchPlayer_.reset();
    }
    // The player belongs to the audio service, which ends with the application object.
    LocalAudioPlayer::shared().stop();

    if (mprisPlayer_) {
        mprisPlayer_->update(nullptr, std::nullopt);
        mprisPlayer_.reset();
    }

    if (statusItem_) {
        if (StatusBar* bar = platformServices().statusBar) {
            bar->removeStatusItem(statusItem_);
        }
    }
    appearanceObserver_.reset();
    diagnostics().persist();
}

void AppDelegate::applicationDidWake() {
    if (terminated_) {
        return;
    }
    // A stream opened before the suspend may be dead without knowing it, and its reconnect
    // delay may have grown to half a minute: open a new one now, and look at the hub at once.
    if (stateStreamClient_) {
        stateStreamClient_->stop();
        stateStreamClient_->start();
    }
    refresh(true);
}

}  // namespace corvix
