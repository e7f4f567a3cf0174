#pragma once

#include <functional>
#include <memory>

#include "platform/ui/ViewController.h"
#include "settings/CorvixSettingsViewController.h"

namespace corvix {

class OrbeluneClient;

/// The settings window: titled "Corvix Settings", closable and minimisable, 360 × 480 and not
/// resizable. Closing only hides it; it is centred on the screen the first time it is shown.
class CorvixSettingsWindowController final : public WindowController {
  public:
    static constexpr const char* kTitle = "Corvix Settings";

    CorvixSettingsWindowController(const OrbeluneClient& client, std::function<void()> onSaved,
                                   std::function<void()> onTogglesChanged);

    /// Shows the window, makes it key and brings it to the front.
    void showWindow() override;
    /// Reloads the panel's choices.
    void refresh();

    CorvixSettingsViewController& settingsViewController() const {
        return *settingsViewController_;
    }

  private:
    std::shared_ptr<CorvixSettingsViewController> settingsViewController_;
    bool shownBefore_ = false;
};

}  // namespace corvix
