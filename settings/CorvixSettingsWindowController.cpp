#include "settings/CorvixSettingsWindowController.h"

#include "platform/ui/Window.h"

namespace corvix {

namespace {

std::shared_ptr<Window> makeSettingsWindow() {
    auto window = std::make_shared<Window>(
        Rect(0, 0, CorvixSettingsViewController::kPanelWidth,
             CorvixSettingsViewController::kPanelHeight),
        WindowStyleTitled | WindowStyleClosable | WindowStyleMiniaturizable);
    window->setTitle(CorvixSettingsWindowController::kTitle);
    window->setBackgroundColor(Color::system(SystemColor::WindowBackground));
    return window;
}

}  // namespace

CorvixSettingsWindowController::CorvixSettingsWindowController(
    const OrbeluneClient& client, std::function<void()> onSaved,
    std::function<void()> onTogglesChanged)
    : WindowController(makeSettingsWindow()),
      settingsViewController_(std::make_shared<CorvixSettingsViewController>(
          client, std::move(onSaved), std::move(onTogglesChanged))) {
    setContentViewController(settingsViewController_);
}

void CorvixSettingsWindowController::showWindow() {
    if (!shownBefore_) {
        shownBefore_ = true;
        window()->center();
    }
    WindowController::showWindow();
}

void CorvixSettingsWindowController::refresh() {
    settingsViewController_->refresh();
}

}  // namespace corvix
