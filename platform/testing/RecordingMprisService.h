#pragma once

#include <optional>
#include <vector>

#include "platform/MprisService.h"

namespace corvix {

/// Keeps every publish and seek, and lets a test call the player as the desktop would.
class RecordingMprisService final : public MprisService {
  public:
    bool available() const override { return isAvailable; }
    void publish(const std::optional<MprisSnapshot>& snapshot) override {
        published.push_back(snapshot);
    }
    void seeked(std::int64_t positionUs) override { seeks.push_back(positionUs); }
    void setRequestHandler(RequestHandler handler) override { handler_ = std::move(handler); }

    /// The player the desktop shows now; none before the first publish and once withdrawn.
    std::optional<MprisSnapshot> current() const {
        return published.empty() ? std::nullopt : published.back();
    }
    /// A method call or property write arriving from the bus.
    void call(const MprisRequest& request) const {
        if (handler_) {
            handler_(request);
        }
    }
    bool hasHandler() const { return static_cast<bool>(handler_); }

    bool isAvailable = true;
    std::vector<std::optional<MprisSnapshot>> published;
    std::vector<std::int64_t> seeks;

  private:
    RequestHandler handler_;
};

}  // namespace corvix
