#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Lifetime.h"
#include "platform/Result.h"
#include "platform/Task.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/Color.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "state/StateAccessors.h"

namespace corvix {

class OrbeluneClient;

/// The settings panel: which of the hub's automations it offers to the menu (stored on the
/// hub, saved on every click) and which menu sections are shown (stored locally). Saves go out
/// one at a time, each with the latest selection; a reload waits for them, so it never shows
/// (and never later saves) a selection older than the user's. Main thread only.
class CorvixSettingsViewController final : public ViewController {
  public:
    static constexpr double kPanelWidth = 360;
    static constexpr double kPanelHeight = 480;
    static constexpr const char* kLoadingTitle = "Loading Corvix automations...";
    static constexpr const char* kLoadFailedTitle = "Unable to load Corvix automations";
    static constexpr const char* kIdleStatus = "Selections save automatically.";
    static constexpr const char* kSavingStatus = "Saving...";
    static constexpr const char* kSavedStatus = "Saved to Corvix.";
    static constexpr const char* kSaveFailedStatus = "Save failed. Reloading choices.";
    static constexpr const char* kDisabledToolTip = "Disabled automations cannot be shown.";

    /// One section toggle: its title and its defaults key.
    struct SectionToggle {
        const char* title;
        const char* key;
    };
    static const std::vector<SectionToggle>& sectionToggles();

    CorvixSettingsViewController(const OrbeluneClient& client, std::function<void()> onSaved,
                                 std::function<void()> onTogglesChanged);
    ~CorvixSettingsViewController() override;
    CorvixSettingsViewController(const CorvixSettingsViewController&) = delete;
    CorvixSettingsViewController& operator=(const CorvixSettingsViewController&) = delete;

    /// Shows the loading message at once, then loads the choices from the hub and shows them;
    /// while a save is in flight the load follows it.
    void refresh();

    const double panelWidth = kPanelWidth;
    const OrbeluneClient& client;
    const std::function<void()> onSaved;
    const std::function<void()> onTogglesChanged;

    const std::vector<JsonObject>& programs() const { return programs_; }
    const std::set<std::string, std::less<>>& selectedProgramIds() const {
        return selectedProgramIds_;
    }
    /// The footer's status line of the current content.
    TextField* statusLabel() const { return statusLabel_.get(); }
    bool isLoading() const { return static_cast<bool>(loadTask_); }
    bool isSaving() const { return static_cast<bool>(saveTask_); }

  protected:
    void loadView() override;

  private:
    void finishLoad(Result<std::vector<JsonObject>> result);
    void toggleProgram(const std::string& id, bool on);
    void toggleSection(const char* key, bool on);
    void saveSelection();
    void startSave();
    void finishSave(const Result<void>& result);
    void setStatus(std::string text, Color color);

    // Contents and the views they are made of.
    void renderMessage(std::string_view title, std::optional<std::string_view> subtitle);
    void renderChoices();
    std::shared_ptr<View> headerView() const;
    std::shared_ptr<View> sectionTogglesView();
    /// "Tray icon: Automatic / Light / Dark", stored in the user defaults.
    std::shared_ptr<View> trayIconView();
    std::shared_ptr<View> listView();
    std::shared_ptr<View> messageView(std::string_view title,
                                      std::optional<std::string_view> subtitle) const;
    std::shared_ptr<View> footerView();
    std::shared_ptr<StackView> beginContent();
    void install(const std::shared_ptr<StackView>& stack);
    std::shared_ptr<ButtonTarget> retainTarget(std::function<void()> handler);

    std::vector<JsonObject> programs_;
    std::set<std::string, std::less<>> selectedProgramIds_;
    std::vector<std::shared_ptr<ButtonTarget>> buttonTargets_;
    std::shared_ptr<TextField> statusLabel_;
    TaskHandle loadTask_;
    TaskHandle saveTask_;
    /// Tells the current load from ones cancelled before it, whose answers are dropped.
    unsigned loadGeneration_ = 0;
    /// The selection changed while a save was in flight: one more save follows it.
    bool saveQueued_ = false;
    /// A reload was asked for while saving; it starts when the last save is answered.
    bool reloadAfterSave_ = false;
    /// A status the next footers keep until a load finishes (a failed save's note stays while
    /// the reload it starts is loading).
    std::optional<std::pair<std::string, Color>> carriedStatus_;
    Lifetime lifetime_;
};

/// A one-pixel line in the separator colour.
std::shared_ptr<View> separatorView(const Rect& frame);

}  // namespace corvix
