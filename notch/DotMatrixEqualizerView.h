#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Lifetime.h"
#include "platform/RunLoop.h"
#include "platform/ui/View.h"

namespace corvix {

/// Five columns of five dots that jump at random every 0.15 s while playing and rest with
/// only the bottom row lit when stopped. The timer exists exactly while playing.
class DotMatrixEqualizerView : public View {
  public:
    /// Returns a level from 0 to 4 for one column.
    using LevelSource = std::function<int()>;

    explicit DotMatrixEqualizerView(Rect frame = {});
    ~DotMatrixEqualizerView() override;

    bool isPlaying() const { return isPlaying_; }
    void setPlaying(bool playing);
    /// Replaces the uniform random levels (tests make the dance predictable).
    void setLevelSource(LevelSource source) { levelSource_ = std::move(source); }

    int barCount() const { return kBarCount; }
    int dotsPerBar() const { return kDotsPerBar; }
    const std::vector<std::shared_ptr<Layer>>& barLayers() const { return barLayers_; }
    bool hasTimer() const { return timer_.has_value(); }

    static constexpr int kBarCount = 5;
    static constexpr int kDotsPerBar = 5;
    static constexpr Duration kTick = std::chrono::milliseconds(150);

  private:
    void tick();

    bool isPlaying_ = false;
    std::vector<std::shared_ptr<Layer>> barLayers_;
    std::optional<Timer> timer_;
    LevelSource levelSource_;
    Lifetime lifetime_;
};

}  // namespace corvix
