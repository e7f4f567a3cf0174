// The builder's automation rows (scenes and AV flows) and the run they start.

#include "app/RuntimeDiagnostics.h"
#include "controls/ActionView.h"
#include "controls/MusicPanelView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/TextField.h"
#include "state/Automations.h"
#include "state/CommandFailure.h"

namespace corvix {

namespace {

/// Pending rows are dimmed and cannot be used until the hub answers.
constexpr double kPendingAlpha = 0.62;

Color accentColor(double alpha = 1) {
    return Color::system(SystemColor::ControlAccent).withAlphaComponent(alpha);
}

}  // namespace

std::shared_ptr<MenuItem> MenuBuilder::programScriptRow(const JsonObject& program) {
    std::string key = identifierText(program, "id");
    if (key.empty()) {
        key = programControlKey(program);
    }
    const bool pending = pendingControlIds.contains(key);
    const bool failed = failedControlMessages.contains(key);
    const std::string title = string(program, "label", string(program, "name", "Program"));
    std::optional<std::string> subtitle;
    if (pending) {
        subtitle = "Running.";
    } else if (failed) {
        subtitle = "Failed";
    } else {
        subtitle = automationStatusText(program);
    }
    const bool hasSubtitle = subtitle.has_value();
    const bool hasVisibleSubtitle = hasSubtitle && !subtitle->empty();
    const double height = hasSubtitle ? 42 : 32;
    const AutomationToggleState toggle = programAutomationToggleState(program);
    const std::string icon = iconFromItem(program);
    // The row's actions run after this document may have been replaced: keep a copy.
    const JsonObject record = program;
    const auto weak = lifetime_.weak();

    std::shared_ptr<View> view;
    if (toggle == AutomationToggleState::NotAToggle) {
        auto row = std::make_shared<ActionView>(Rect(0, 0, width, height));
        if (!pending) {
            row->onAction = [this, weak, record] {
                if (!weak.expired()) {
                    runItem(record, std::nullopt);
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
        toggleSwitch->setTarget(retainTarget([this, weak, weakSwitch, record] {
            auto control = weakSwitch.lock();
            if (!weak.expired() && control) {
                runItem(record, control->isOn());
            }
        }));
        view->addSubview(toggleSwitch);
    }

    auto item = MenuItem::make(title);
    item->setView(view);
    item->setEnabled(!pending);
    return item;
}

void MenuBuilder::runItem(const JsonObject& item, std::optional<bool> desiredState) {
    const std::string id = identifierText(item, "id");
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
