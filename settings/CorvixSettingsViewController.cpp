#include "settings/CorvixSettingsViewController.h"

#include <utility>

#include "hub/OrbeluneClient.h"
#include "menu/FlippedDocumentView.h"
#include "platform/ui/Box.h"
#include "platform/ui/Button.h"
#include "platform/ui/Font.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Window.h"
#include "settings/TrayIconStyle.h"
#include "state/Automations.h"

namespace corvix {

namespace {

constexpr double kHeaderHeight = 82;
constexpr double kMessageHeight = 118;
constexpr double kTogglesHeight = 194;
constexpr double kTrayIconHeight = 40;
constexpr double kFooterHeight = 54;
constexpr double kRowHeight = 44;
constexpr double kMinimumDocumentHeight = 400;

Color labelColor() {
    return Color::system(SystemColor::Label);
}

Color secondaryColor() {
    return Color::system(SystemColor::SecondaryLabel);
}

std::shared_ptr<TextField> makeLabel(std::string_view text, const Rect& frame, Font font,
                                     Color color, TextAlignment alignment = TextAlignment::Left) {
    auto label = TextField::label(std::string(text));
    label->setFrame(frame);
    label->setFont(font);
    label->setTextColor(color);
    label->setAlignment(alignment);
    label->setTruncatesTail(true);
    return label;
}

std::shared_ptr<View> panelView(double height) {
    return std::make_shared<View>(Rect(0, 0, CorvixSettingsViewController::kPanelWidth, height));
}

std::string programSubtitle(const JsonObject& record, bool enabled) {
    if (!enabled) {
        return "Disabled";
    }
    if (isAvFlowProgramControl(record)) {
        return "AV Flow";
    }
    const std::string label = string(record, "builderLabel");
    return label.empty() ? "Scene" : "Scene • " + label;
}

}  // namespace

std::shared_ptr<View> separatorView(const Rect& frame) {
    return std::make_shared<Box>(frame, BoxType::Separator);
}

const std::vector<CorvixSettingsViewController::SectionToggle>&
CorvixSettingsViewController::sectionToggles() {
    static const std::vector<SectionToggle> toggles = {
        {"Apple TV", corvixSectionAppleTVKey},   {"Scenes", corvixSectionScenesKey},
        {"AV Flows", corvixSectionAVFlowsKey},   {"Music Player", corvixSectionMusicPlayerKey},
        {"Notch Player", corvixNotchEnabledKey},
    };
    return toggles;
}

CorvixSettingsViewController::CorvixSettingsViewController(const OrbeluneClient& client,
                                                           std::function<void()> onSaved,
                                                           std::function<void()> onTogglesChanged)
    : client(client), onSaved(std::move(onSaved)), onTogglesChanged(std::move(onTogglesChanged)) {
    setPreferredContentSize({kPanelWidth, kPanelHeight});
}

CorvixSettingsViewController::~CorvixSettingsViewController() {
    loadTask_.cancel();
    saveTask_.cancel();
}

void CorvixSettingsViewController::loadView() {
    setView(std::make_shared<View>(Rect(0, 0, kPanelWidth, kPanelHeight)));
    renderMessage(kLoadingTitle, std::nullopt);
}

std::shared_ptr<ButtonTarget> CorvixSettingsViewController::retainTarget(
    std::function<void()> handler) {
    auto target = ButtonTarget::make([alive = lifetime_.weak(), handler = std::move(handler)] {
        if (!alive.expired()) {
            handler();
        }
    });
    buttonTargets_.push_back(target);
    return target;
}

// Loading.

void CorvixSettingsViewController::refresh() {
    // The answer of a load cancelled here is dropped: it is no failure.
    loadTask_.cancel();
    const unsigned generation = ++loadGeneration_;
    if (saveTask_) {
        // Loaded now, the list could miss the save in flight and show an older selection: the
        // load follows the save, and the panel says so meanwhile (a stalled hub takes long).
        reloadAfterSave_ = true;
        carriedStatus_ = {kSavingStatus, secondaryColor()};
        renderMessage(kLoadingTitle, std::nullopt);
        return;
    }
    renderMessage(kLoadingTitle, std::nullopt);
    loadTask_ = client.fetchProgramChoices(
        [this, alive = lifetime_.weak(), generation](Result<std::vector<JsonObject>> result) {
            if (alive.expired() || generation != loadGeneration_) {
                return;
            }
            finishLoad(std::move(result));
        });
}

void CorvixSettingsViewController::finishLoad(Result<std::vector<JsonObject>> result) {
    loadTask_ = TaskHandle();
    if (!result.ok()) {
        if (isCancellationError(result.error())) {
            return;
        }
        // A finished reload is fresh content: a note carried through it is told.
        carriedStatus_.reset();
        renderMessage(kLoadFailedTitle, result.error().description);
        return;
    }
    carriedStatus_.reset();
    programs_ = std::move(result.value());
    selectedProgramIds_.clear();
    for (const JsonObject& record : programs_) {
        std::string id = identifierText(record, "id");
        if (!id.empty() && bool_(record, "selected", false)) {
            selectedProgramIds_.insert(std::move(id));
        }
    }
    renderChoices();
}

// Choosing.

void CorvixSettingsViewController::toggleProgram(const std::string& id, bool on) {
    if (id.empty()) {
        return;
    }
    if (on) {
        selectedProgramIds_.insert(id);
    } else {
        selectedProgramIds_.erase(id);
    }
    saveSelection();
}

void CorvixSettingsViewController::toggleSection(const char* key, bool on) {
    setCorvixSection(key, on);
    if (onTogglesChanged) {
        onTogglesChanged();
    }
}

void CorvixSettingsViewController::saveSelection() {
    setStatus(kSavingStatus, secondaryColor());
    if (saveTask_) {
        // The save that follows carries this selection too.
        saveQueued_ = true;
        return;
    }
    startSave();
}

void CorvixSettingsViewController::startSave() {
    saveQueued_ = false;
    // The set keeps its members in ascending text order.
    const std::vector<std::string> ids(selectedProgramIds_.begin(), selectedProgramIds_.end());
    saveTask_ = client.saveProgramChoices(ids, [this, alive = lifetime_.weak()](Result<void> r) {
        if (!alive.expired()) {
            finishSave(r);
        }
    });
}

void CorvixSettingsViewController::finishSave(const Result<void>& result) {
    saveTask_ = TaskHandle();
    if (result.ok() && onSaved) {
        onSaved();
    }
    if (saveQueued_) {
        // The next save carries the whole latest selection, so it settles this one's outcome.
        startSave();
        return;
    }
    const bool reload = std::exchange(reloadAfterSave_, false);
    if (result.ok()) {
        setStatus(kSavedStatus, secondaryColor());
        if (reload) {
            refresh();
        }
        return;
    }
    if (!isCancellationError(result.error())) {
        setStatus(kSaveFailedStatus, Color::system(SystemColor::Red));
        carriedStatus_ = {kSaveFailedStatus, Color::system(SystemColor::Red)};
    }
    // Whether the hub took it is unknown: show what it holds.
    refresh();
}

void CorvixSettingsViewController::setStatus(std::string text, Color color) {
    carriedStatus_.reset();
    if (statusLabel_) {
        statusLabel_->setStringValue(std::move(text));
        statusLabel_->setTextColor(color);
    }
}

// Contents.

std::shared_ptr<StackView> CorvixSettingsViewController::beginContent() {
    buttonTargets_.clear();
    const auto& root = view();
    for (const auto& subview : std::vector<std::shared_ptr<View>>(root->subviews())) {
        subview->removeFromSuperview();
    }
    return std::make_shared<StackView>(Rect(0, 0, kPanelWidth, 0));
}

void CorvixSettingsViewController::renderMessage(std::string_view title,
                                                 std::optional<std::string_view> subtitle) {
    auto stack = beginContent();
    stack->addArrangedSubview(headerView());
    // The sections are local choices: they stay at hand while the hub loads or is away.
    stack->addArrangedSubview(sectionTogglesView());
    stack->addArrangedSubview(trayIconView());
    auto separatorRow = panelView(1);
    separatorRow->addSubview(separatorView({22, 0, 316, 1}));
    stack->addArrangedSubview(separatorRow);
    stack->addArrangedSubview(messageView(title, subtitle));
    stack->addArrangedSubview(footerView());
    install(stack);
}

void CorvixSettingsViewController::renderChoices() {
    auto stack = beginContent();
    stack->addArrangedSubview(headerView());
    stack->addArrangedSubview(sectionTogglesView());
    stack->addArrangedSubview(trayIconView());
    auto separatorRow = panelView(1);
    separatorRow->addSubview(separatorView({22, 0, 316, 1}));
    stack->addArrangedSubview(separatorRow);
    if (programs_.empty()) {
        stack->addArrangedSubview(
            messageView("No Corvix automations",
                        "Create AV flows or scenes in Orbelune OS, then choose what appears in "
                        "Corvix."));
    } else {
        stack->addArrangedSubview(listView());
    }
    stack->addArrangedSubview(footerView());
    install(stack);
}

void CorvixSettingsViewController::install(const std::shared_ptr<StackView>& stack) {
    const auto& root = view();
    const Rect bounds = root->bounds();
    auto scroll = std::make_shared<ScrollView>(bounds);
    scroll->setAutoresizingMask(AutoresizeWidthSizable | AutoresizeHeightSizable);
    scroll->setDrawsBackground(false);
    scroll->setHasBorder(false);
    scroll->setHasVerticalScroller(true);
    scroll->setAutohidesScrollers(true);

    auto document = std::make_shared<FlippedDocumentView>(
        Rect(0, 0, kPanelWidth, std::max(bounds.height(), kMinimumDocumentHeight)));
    // Pinned to the document's top, leading and trailing edges.
    stack->setFrame({0, 0, kPanelWidth, stack->fittingSize().height});
    stack->setAutoresizingMask(AutoresizeWidthSizable);
    document->addSubview(stack);
    stack->layoutSubtreeIfNeeded();
    const double height = std::max(document->frame().height(), stack->fittingSize().height);
    document->setFrameSize({kPanelWidth, height});

    scroll->setDocumentView(document);
    root->addSubview(scroll);
    scroll->scrollToTop();
}

std::shared_ptr<View> CorvixSettingsViewController::headerView() const {
    auto header = panelView(kHeaderHeight);
    header->addSubview(makeLabel("Corvix Settings", {22, 44, 316, 24},
                                 Font::system(20, FontWeight::Semibold), labelColor()));
    header->addSubview(
        makeLabel("Choose the AV flows and scenes shown in the native menu bar helper.",
                  {22, 20, 316, 18}, Font::system(12), secondaryColor()));
    return header;
}

std::shared_ptr<View> CorvixSettingsViewController::messageView(
    std::string_view title, std::optional<std::string_view> subtitle) const {
    auto message = panelView(kMessageHeight);
    const Rect titleFrame = subtitle ? Rect(28, 70, 304, 20) : Rect(28, 58, 304, 20);
    message->addSubview(makeLabel(title, titleFrame, Font::system(14, FontWeight::Semibold),
                                  labelColor(), TextAlignment::Center));
    if (subtitle) {
        message->addSubview(makeLabel(*subtitle, {34, 38, 292, 18}, Font::system(12),
                                      secondaryColor(), TextAlignment::Center));
    }
    return message;
}

std::shared_ptr<View> CorvixSettingsViewController::sectionTogglesView() {
    auto toggles = panelView(kTogglesHeight);
    toggles->addSubview(makeLabel("Menu Bar Sections", {22, 172, 316, 16},
                                  Font::system(13, FontWeight::Semibold), labelColor()));
    const auto& sections = sectionToggles();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const SectionToggle section = sections[i];
        auto box = Button::checkbox(section.title);
        box->setFrame({22, 148 - 30 * double(i), 316, 22});
        box->setState(corvixSectionEnabled(section.key) ? ControlState::On : ControlState::Off);
        std::weak_ptr<Button> weakBox = box;
        box->setTarget(retainTarget([this, weakBox, section] {
            if (auto control = weakBox.lock()) {
                toggleSection(section.key, control->state() == ControlState::On);
            }
        }));
        toggles->addSubview(box);
    }
    return toggles;
}

std::shared_ptr<View> CorvixSettingsViewController::trayIconView() {
    auto row = panelView(kTrayIconHeight);
    row->addSubview(makeLabel("Tray icon:", {22, 14, 80, 16},
                              Font::system(13, FontWeight::Semibold), labelColor()));
    // In the order of StatusItemIconStyle.
    auto choice =
        SegmentedControl::withLabels({"Automatic", "Light", "Dark"}, SegmentTracking::SelectOne);
    choice->setFrame({106, 10, 232, 24});
    choice->setSelectedSegment(static_cast<int>(corvixTrayIconStyle()));
    choice->setAccessibilityLabel("Tray icon");
    std::weak_ptr<SegmentedControl> weakChoice = choice;
    choice->setTarget(retainTarget([this, weakChoice] {
        auto control = weakChoice.lock();
        if (!control || control->selectedSegment() < 0) {
            return;
        }
        setCorvixTrayIconStyle(static_cast<StatusItemIconStyle>(control->selectedSegment()));
        if (onTogglesChanged) {
            onTogglesChanged();
        }
    }));
    row->addSubview(choice);
    return row;
}

std::shared_ptr<View> CorvixSettingsViewController::listView() {
    const std::size_t n = programs_.size();
    auto list = panelView(kRowHeight * double(n) + 6);
    for (std::size_t i = 0; i < n; ++i) {
        const JsonObject& record = programs_[i];
        const double t = kRowHeight * double(n - 1 - i);
        std::string id = identifierText(record, "id");
        const bool enabled = bool_(record, "enabled", true);
        // A record without an id cannot be saved: its box must not pretend it can.
        const bool toggleable = enabled && !id.empty();

        auto box = Button::checkbox("");
        box->setFrame({22, t + 11, 24, 24});
        box->setState(selectedProgramIds_.count(id) ? ControlState::On : ControlState::Off);
        box->setEnabled(toggleable);
        if (!enabled) {
            box->setToolTip(kDisabledToolTip);
        }
        const std::string name = string(record, "name", id);
        box->setAccessibilityLabel(name);
        std::weak_ptr<Button> weakBox = box;
        box->setTarget(retainTarget([this, weakBox, id] {
            if (auto control = weakBox.lock()) {
                toggleProgram(id, control->state() == ControlState::On);
            }
        }));
        list->addSubview(box);

        list->addSubview(makeLabel(name, {54, t + 21, 272, 18},
                                   Font::system(14, FontWeight::Medium),
                                   toggleable ? labelColor() : secondaryColor()));
        list->addSubview(makeLabel(programSubtitle(record, enabled), {54, t + 6, 272, 14},
                                   Font::system(11), secondaryColor()));
    }
    return list;
}

std::shared_ptr<View> CorvixSettingsViewController::footerView() {
    auto footer = panelView(kFooterHeight);
    const auto [text, color] =
        carriedStatus_.value_or(std::pair<std::string, Color>{kIdleStatus, secondaryColor()});
    statusLabel_ = makeLabel(text, {22, 20, 252, 16}, Font::system(11), color);
    footer->addSubview(statusLabel_);

    auto refreshButton = Button::push("Refresh");
    refreshButton->setFrame({206, 13, 62, 28});
    refreshButton->setTarget(retainTarget([this] { refresh(); }));
    footer->addSubview(refreshButton);

    auto doneButton = Button::push("Done");
    doneButton->setFrame({276, 13, 62, 28});
    doneButton->setTarget(retainTarget([this] {
        if (Window* window = view()->window()) {
            window->performClose();
        }
    }));
    footer->addSubview(doneButton);
    return footer;
}

}  // namespace corvix
