#include "state/Automations.h"

#include <array>
#include <cctype>
#include <unordered_set>

#include "platform/AsciiText.h"

namespace corvix {

namespace {

std::array<std::string, 3> classificationTokens(const JsonObject& program) {
    return {builderToken(string(program, "programBuilderType")),
            builderToken(string(program, "builderType")), builderToken(string(program, "icon"))};
}

std::string displayName(const JsonObject& program) {
    return string(program, "label", string(program, "name", "Automation"));
}

AutomationToggleState toggleFrom(std::optional<bool> isOn) {
    return isOn.value_or(false) ? AutomationToggleState::ToggleOn
                                : AutomationToggleState::ToggleOff;
}

}  // namespace

std::string builderToken(std::string_view text) {
    std::string token(text);
    for (char& c : token) {
        if (c == '-' || c == ' ') {
            c = '_';
        } else {
            c = asciiLower(c);
        }
    }
    return token;
}

bool isAvFlowProgramControl(const JsonObject& program) {
    for (const std::string& token : classificationTokens(program)) {
        if (token == "av_flow" || token == "avflow" || token == "program_flow") {
            return true;
        }
    }
    return false;
}

bool isSceneProgramControl(const JsonObject& program) {
    if (isAvFlowProgramControl(program)) {
        return false;
    }
    for (const std::string& token : classificationTokens(program)) {
        if (token.find("scene") != std::string::npos) {
            return true;
        }
    }
    return objectMember(program, "scene") != nullptr;
}

ObjectList macControlAvFlows(const JsonObject& state) {
    ObjectList avFlows = array(state, "avFlows");
    if (!avFlows.empty()) {
        return avFlows;
    }
    for (const JsonObject* program : array(state, "programs")) {
        if (isAvFlowProgramControl(*program)) {
            avFlows.push_back(program);
        }
    }
    return avFlows;
}

ObjectList macControlProgramScenes(const JsonObject& state) {
    ObjectList combined = array(state, "programScenes");
    if (combined.empty()) {
        combined = array(state, "scenes");
    }
    // Every non-AV-flow program, plain scripts included: the menu offers them as scenes.
    for (const JsonObject* program : array(state, "programs")) {
        if (!isAvFlowProgramControl(*program)) {
            combined.push_back(program);
        }
    }
    ObjectList scenes;
    std::unordered_set<std::string> seen;
    for (const JsonObject* program : combined) {
        std::string key = programControlKey(*program);
        if (!key.empty() && seen.insert(std::move(key)).second) {
            scenes.push_back(program);
        }
    }
    return scenes;
}

std::string programControlKey(const JsonObject& program) {
    std::string programId = identifierText(program, "programId");
    return programId.empty() ? identifierText(program, "id") : programId;
}

std::optional<std::string> automationStatusText(const JsonObject& program) {
    const JsonObject* scene = objectMember(program, "scene");
    if (!scene) {
        return std::nullopt;
    }
    std::optional<bool> active = optionalBool(*scene, "active");
    if (!active) {
        return std::nullopt;
    }
    return *active ? "Active" : "Inactive";
}

AutomationToggleState programAutomationToggleState(const JsonObject& program) {
    if (!isAvFlowProgramControl(program)) {
        return AutomationToggleState::NotAToggle;
    }
    if (const JsonObject* toggle = objectMember(program, "toggle");
        toggle && bool_(*toggle, "capable", false)) {
        return toggleFrom(optionalBool(*toggle, "isOn"));
    }
    if (const JsonObject* scene = objectMember(program, "scene");
        scene && bool_(*scene, "reversible", false)) {
        return toggleFrom(optionalBool(*scene, "active"));
    }
    return AutomationToggleState::NotAToggle;
}

std::string runAutomationAccessibilityLabel(const JsonObject& program) {
    const std::string name = displayName(program);
    return isAvFlowProgramControl(program) ? "Run " + name + " AV Flow" : "Run " + name + " scene";
}

std::string automationToggleAccessibilityLabel(const JsonObject& program) {
    const std::string name = displayName(program);
    return isAvFlowProgramControl(program) ? name + " AV Flow" : "Run " + name + " scene";
}

}  // namespace corvix
