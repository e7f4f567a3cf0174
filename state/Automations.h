#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "state/StateAccessors.h"

namespace corvix {

/// A classification text as the program builder names it: lower-cased, "-" and " " made "_".
std::string builderToken(std::string_view text);

/// One of the tokens of "programBuilderType", "builderType" or "icon" is an AV flow's.
bool isAvFlowProgramControl(const JsonObject& program);
/// Not an AV flow, and a token mentions "scene" or the record carries a "scene" object.
bool isSceneProgramControl(const JsonObject& program);

/// "avFlows" when non-empty, else the AV flows among "programs".
ObjectList macControlAvFlows(const JsonObject& state);
/// "programScenes" (or the older "scenes") followed by the non-AV-flow "programs", each program
/// listed once by `programControlKey`; records without a key are dropped.
ObjectList macControlProgramScenes(const JsonObject& state);

/// "programId" when non-empty, else "id"; may be empty. A null member names nothing.
std::string programControlKey(const JsonObject& program);

/// "Active" or "Inactive" from the scene's "active"; none without a readable one.
std::optional<std::string> automationStatusText(const JsonObject& program);

enum class AutomationToggleState { NotAToggle, ToggleOn, ToggleOff };

/// Only AV flows are toggles: with a capable "toggle", else with a reversible "scene".
AutomationToggleState programAutomationToggleState(const JsonObject& program);

std::string runAutomationAccessibilityLabel(const JsonObject& program);
std::string automationToggleAccessibilityLabel(const JsonObject& program);

}  // namespace corvix
