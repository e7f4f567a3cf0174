// The builder's automation rows (scenes and AV flows) and the run they start.

#include "app/RuntimeDiagnostics.h"
#include "controls/ActionView.h"
#include "controls/MusicPanelView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "menu/MenuRowSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/TextField.h"
#include "state/Automations.h"
#include "state/CommandFailure.h"

namespace corvix {

namespace {

/// Pending rows are dimmed and cannot be used until the hub answers.
constexpr double kPendingAlpha = 0.62;

/// What one program's row shows, from its record and the run marks.
struct ProgramRowModel {
    bool pending = false;
    std::string title;
    std::optional<std::string> subtitle;
    AutomationToggleState toggle = AutomationToggleState::NotAToggle;

    bool hasSubtitle() const { return subtitle.has_value(); }
    bool hasVisibleSubtitle() const { return subtitle && !subtitle->empty(); }
    /// Rows of the same shape differ only in texts and the switch state.
    std::string shape() const {
        return std::string(toggle == AutomationToggleState::NotAToggle ? "run" : "toggle") +
               (hasSubtitle() ? "+" : "-") + (hasVisibleSubtitle() ? "+" : "-") +
               (pending ? "p" : "");
    }
};

ProgramRowModel programRowModel(const JsonObject& program,
                                const std::set<std::string, std::less<>>& pendingIds,
                                const std::map<std::string, std::string, std::less<>>& failures) {
    std::string key = identifierText(program, "id");
    if (key.empty()) {
        key = programControlKey(program);
    }
    ProgramRowModel model;
    model.pending = pendingIds.contains(key);
    model.title = string(program, "label", string(program, "name", "Program"));
    if (model.pending) {
        model.subtitle = "Running.";
    } else if (failures.contains(key)) {
        model.subtitle = "Failed";
    } else {
        model.subtitle = automationStatusText(program);
    }
    model.toggle = programAutomationToggleState(program);
    return model;
}

}  // namespace

std::shared_ptr<MenuItem> MenuBuilder::programScriptRow(const JsonObject& program,
                                                        const RecordLocator& locate) {
    const ProgramRowModel model =
        programRowModel(program, pendingControlIds, failedControlMessages);
    const bool pending = model.pending;
    const std::string& title = model.title;
    const std::optional<std::string>& subtitle = model.subtitle;
    const bool hasSubtitle = model.hasSubtitle();
    const bool hasVisibleSubtitle = model.hasVisibleSubtitle();
    const double height = hasSubtitle ? 42 : 32;
    const AutomationToggleState toggle = model.toggle;
    const std::string icon = iconFromItem(program);
    // A run needs only the item's id, which outlives the document.
    const std::string id = identifierText(program, "id");
    const auto weak = lifetime_.weak();

    std::shared_ptr<View> view;
    if (toggle == AutomationToggleState::NotAToggle) {
        auto row = std::make_shared<ActionView>(Rect(0, 0, width, height));
        if (!pending) {
            row->onAction = [this, weak, id] {
                if (!weak.expired()) {
                    runItemWithId(id, std::nullopt);
                }
            };
        }
        row->setAlphaValue(pending ? kPendingAlpha : 1);
        row->setCornerRadius(8);
        row->setHoverFillColor(accentColor(0.10));
        row->setHoverStrokeColor(accentColor(0.16));
        row->setPressedFillColor(accentColor(0.20));
        row->setPressedStrokeColor(accentColor(0.28));
        row->setAccessibilityElement(true);
        row->setAccessibilityRole(AccessibilityRole::Button);
        row->setAccessibilityLabel(runAutomationAccessibilityLabel(program));

        addIcon(icon, *row, hasSubtitle ? 13 : 8);
        const double x = 40;
        const double textWidth = width - x - 78;
        row->addSubview(
            rowLabel(title, Rect(x, hasSubtitle ? 12 : 7, textWidth, 17), Font::system(13)));
        if (hasVisibleSubtitle) {
            row->addSubview(rowLabel(*subtitle, Rect(x, 1, textWidth, 13), Font::system(10),
                                     Color::system(SystemColor::SecondaryLabel)));
        }

        const double e = hasSubtitle ? 12 : 7;
        auto badge = std::make_shared<MusicPanelView>(Rect(256, e, 56, 18));
        badge->fillColor = accentColor(0.14);
        badge->strokeColor = accentColor(0.24);
        badge->cornerRadius = 9;
        badge->inset = EdgeInsets{};
        row->addSubview(badge);
        auto play = ImageView::withImage(systemSymbolImage("play.fill"));
        play->setFrame(Rect(263, e + 1, 16, 16));
        play->setContentTintColor(accentColor());
        play->setImageScaling(ImageScaling::ProportionallyUpOrDown);
        row->addSubview(play);
        row->addSubview(rowLabel("Run", Rect(281, e + 3, 25, 12),
                                 Font::system(9, FontWeight::Semibold), accentColor()));
        view = row;
    } else {
        view = std::make_shared<View>(Rect(0, 0, width, height));
        view->setAlphaValue(pending ? kPendingAlpha : 1);
        addIcon(icon, *view, hasSubtitle ? 13 : 8);
        view->addSubview(
            rowLabel(title, Rect(40, hasSubtitle ? 12 : 7, 228, 17), Font::system(13)));
        if (hasVisibleSubtitle) {
            view->addSubview(rowLabel(*subtitle, Rect(40, 1, 228, 13), Font::system(10),
                                      Color::system(SystemColor::SecondaryLabel)));
        }
        auto toggleSwitch =
            std::make_shared<OrbeluneToggleSwitch>(Rect(268, hasSubtitle ? 9 : 4, 44, 24));
        toggleSwitch->setOn(toggle == AutomationToggleState::ToggleOn);
        toggleSwitch->setEnabled(!pending);
        toggleSwitch->setAccessibilityLabel(automationToggleAccessibilityLabel(program));
        std::weak_ptr<OrbeluneToggleSwitch> weakSwitch = toggleSwitch;
        toggleSwitch->setTarget(retainTarget([this, weak, weakSwitch, id] {
            auto control = weakSwitch.lock();
            if (!weak.expired() && control) {
                runItemWithId(id, control->isOn());
            }
        }));
        view->addSubview(toggleSwitch);
    }

    auto item = MenuItem::make(title);
    item->setView(view);
    item->setEnabled(!pending);
    if (locate) {
        std::weak_ptr<MenuItem> weakItem = item;
        onRecordUpdate(locate, program,
                       [this, weakItem, shape = model.shape()](const SharedRecord& newer) mutable {
                           if (auto row = weakItem.lock()) {
                               shape = updateProgramRow(*row, *newer, shape);
                           }
                       });
    }
    return item;
}

std::string MenuBuilder::updateProgramRow(MenuItem& item, const JsonObject& program,
                                          const std::string& builtShape) {
    const ProgramRowModel model =
        programRowModel(program, pendingControlIds, failedControlMessages);
    const std::shared_ptr<View>& view = item.view();
    if (!view || builtShape != model.shape()) {
        // Another kind of row or another height: a fresh view takes the row's place.
        auto fresh = programScriptRow(program);
        item.setView(fresh->view());
        item.setTitle(fresh->title());
        item.setEnabled(fresh->isEnabled());
        return model.shape();
    }
    if (TextField* titleLabel = labelAt(*view, 0)) {
        titleLabel->setStringValue(model.title);
    }
    if (model.hasVisibleSubtitle()) {
        if (TextField* subtitleLabel = labelAt(*view, 1)) {
            subtitleLabel->setStringValue(*model.subtitle);
        }
    }
    if (model.toggle == AutomationToggleState::NotAToggle) {
        view->setAccessibilityLabel(runAutomationAccessibilityLabel(program));
    } else {
        for (const auto& subview : view->subviews()) {
            if (auto* toggleSwitch = dynamic_cast<OrbeluneToggleSwitch*>(subview.get())) {
                toggleSwitch->setOn(model.toggle == AutomationToggleState::ToggleOn);
                toggleSwitch->setAccessibilityLabel(automationToggleAccessibilityLabel(program));
            }
        }
    }
    item.setTitle(model.title);
    return builtShape;
}

void MenuBuilder::runItem(const JsonObject& item, std::optional<bool> desiredState) {
    runItemWithId(identifierText(item, "id"), desiredState);
}

void MenuBuilder::runItemWithId(std::string id, std::optional<bool> desiredState) {
    if (id.empty()) {
        return;
    }
    pendingControlIds.insert(id);
    failedControlMessages.erase(id);
    rebuildFromCurrentState();

    const auto weak = lifetime_.weak();
    client.runItem(id, desiredState, [this, weak, id](Result<void> result) {
        if (!weak.expired()) {
            finishRun(id, result);
        }
    });
}

void MenuBuilder::finishRun(const std::string& id, const Result<void>& result) {
    pendingControlIds.erase(id);
    if (result.ok()) {
        failedControlMessages.erase(id);
        rebuildFromCurrentState();
        if (refresh) {
            refresh();
        }
        return;
    }
    const Error& failure = result.error();
    if (isCancellationError(failure)) {
        // Nobody is waiting for a cancelled run: drop the mark quietly.
        rebuildFromCurrentState();
        return;
    }
    if (isUnsupportedError(failure)) {
        rebuildFromCurrentState();
        if (refresh) {
            refresh();
        }
        return;
    }
    failedControlMessages[id] = failure.description;
    rebuildFromCurrentState();
    showError(failure);
}

void MenuBuilder::rebuildFromCurrentState() {
    auto root = menu.lock();
    if (root && currentState) {
        build(*root, currentState);
    }
}

}  // namespace corvix
