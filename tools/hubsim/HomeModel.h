#pragma once

#include "DemoHome.h"
#include "MusicModel.h"
#include "Reply.h"

#include <boost/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace hubsim {

/// The simulated home: devices, automations, program choices, apps and music. Not thread-safe;
/// the server serialises access.
class HomeModel {
  public:
    HomeModel(HomeCatalogue catalogue, std::int64_t nowMs, int playlistCount = 0);

    /// The state document (without the "data" envelope). `origin` is "http://host:port".
    boost::json::object state(std::int64_t nowMs, const std::string& origin) const;

    Reply runItem(const std::string& id, const boost::json::object& body, std::int64_t nowMs);
    Reply runCommand(const std::string& deviceId, const std::string& command,
                     const boost::json::object& body, std::int64_t nowMs);
    boost::json::array programChoices() const;
    Reply saveProgramChoices(const boost::json::object& body);
    Reply deviceApps(const std::string& deviceId, const std::string& origin) const;
    Reply launchApp(const std::string& deviceId, const std::string& appId,
                    const boost::json::object& body);
    /// Replaces a device's app list (as apps installed or removed on the device would); a
    /// device without one gets it. Elements must be objects; "{origin}" in an "iconUrl" is
    /// filled in when served. The state document does not change.
    Reply setDeviceApps(const std::string& deviceId, const boost::json::array& apps);

    /// Merges `patch` into the device's record (JSON merge patch: objects merge, null removes,
    /// anything else replaces), as a change made at the device itself. A new power state
    /// without a "state" in the patch updates the status line as a command would.
    Reply mergeDevice(const std::string& id, const boost::json::object& patch);

    MusicModel& music() { return music_; }
    const MusicModel& music() const { return music_; }

    /// The stored record of a device (with simulator-only members), or null.
    boost::json::object* device(const std::string& id);
    /// The stored record of an automation, or null.
    boost::json::object* program(const std::string& id);
    boost::json::object* pinned(const std::string& id);
    std::vector<std::string> selectedProgramIds() const;

  private:
    struct Located {
        boost::json::object* device = nullptr;
        boost::json::object* room = nullptr;
    };
    Located locate(const std::string& deviceId);
    Reply runProgram(ProgramEntry& entry, const boost::json::value* desired, std::int64_t nowMs);
    Reply runDeviceItem(const std::string& id, const boost::json::value* desired,
                        std::int64_t nowMs, bool& found);

    HomeCatalogue home_;
    MusicModel music_;
};

/// How the hub compares command names: lower-case, with blanks and "-" read as "_".
std::string normalizeCommand(const std::string& text);

}  // namespace hubsim
