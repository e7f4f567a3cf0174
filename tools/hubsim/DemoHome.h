#pragma once

#include <boost/json.hpp>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace hubsim {

/// One automation of the hub with the lists of the state document it appears in.
struct ProgramEntry {
    boost::json::object record;
    /// "programScenes", "avFlows" and/or "programs".
    std::vector<std::string> lists;
    bool enabled = true;
    bool selected = true;
    std::string builderLabel;
    /// Switching it off fails: the flow has no off script.
    bool offFails = false;
    /// Running it answers that the action is not supported.
    bool unsupported = false;
};

/// The home the simulator starts with. Device records may carry a "_sim" member (simulator-only
/// flags such as {"unsupported": ["eco_mode"]}); it is removed before a device is served.
struct HomeCatalogue {
    boost::json::array pinned;
    boost::json::array rooms;
    /// The older scene list; the hub still fills it.
    boost::json::array legacyScenes;
    std::vector<ProgramEntry> programs;
    /// App lists by device id. Icon addresses may hold "{origin}", replaced when served.
    std::map<std::string, boost::json::array> apps;
};

/// A demo home with something for every control the program shows.
HomeCatalogue demoHome();

/// A home from a JSON object with "pinned", "rooms", "scenes" (lists of objects), "programs"
/// (entries as {"lists": [...], "record": {...}, "selected": false, ...}) and "apps" (device id
/// to app list), each optional; none, with `error` set, when the shapes are wrong.
std::optional<HomeCatalogue> homeFromJson(const boost::json::value& value, std::string& error);
/// The same read from a file.
std::optional<HomeCatalogue> loadHome(const std::string& path, std::string& error);

/// A generated home of `rooms` rooms with `devicesPerRoom` devices each, for benchmarks.
HomeCatalogue scaledHome(int rooms, int devicesPerRoom);

}  // namespace hubsim
