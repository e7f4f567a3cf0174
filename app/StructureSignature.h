#pragma once

#include <string>

#include "state/StateAccessors.h"

namespace corvix {

/// A text of the parts of the state that decide the menu's structure: pinned items, rooms and
/// their devices, scenes, AV flows, and music availability with the active player. Values such
/// as device states, playback position or track do not enter it.
std::string menuStructureSignature(const JsonObject& state);

}  // namespace corvix
