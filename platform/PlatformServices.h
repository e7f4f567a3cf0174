#pragma once

namespace corvix {

class RunLoop;
class HttpClient;
class UserDefaults;
class Environment;
class AlertPresenter;
class WindowSystem;
class ScreenService;
class AppearanceService;
class Workspace;
class ImageService;
class StatusBar;
class ColorPanel;
class Application;
class ProcessControl;
class AudioService;
class MprisService;

/// The platform services of this process, installed once at start-up (the Qt and curl set in
/// the program, a headless set in tests). Non-owning: whoever installs them keeps them alive
/// until they are uninstalled.
struct PlatformServices {
    RunLoop* runLoop = nullptr;
    HttpClient* http = nullptr;
    UserDefaults* defaults = nullptr;
    const Environment* environment = nullptr;
    AlertPresenter* alerts = nullptr;
    // User-interface services; audio for playing the hub's stream here.
    WindowSystem* windows = nullptr;
    ScreenService* screens = nullptr;
    AppearanceService* appearance = nullptr;
    Workspace* workspace = nullptr;
    ImageService* images = nullptr;
    StatusBar* statusBar = nullptr;
    ColorPanel* colorPanel = nullptr;
    Application* application = nullptr;
    ProcessControl* processes = nullptr;
    /// Plays the hub's stream on this computer; none without sound.
    AudioService* audio = nullptr;
    /// The desktop's media controls; none where the backend has no bus for them.
    MprisService* mpris = nullptr;
};

/// The installed services.
PlatformServices& platformServices();
void installPlatformServices(const PlatformServices& services);

}  // namespace corvix
