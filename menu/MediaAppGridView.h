#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "menu/MediaAppTileView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace corvix {

/// The Apple TV's apps as a grid of tiles that scrolls beyond 320 points.
class MediaAppGridView : public View {
  public:
    static constexpr double kMaximumHeight = 320;

    MediaAppGridView(double width, const std::vector<MediaAppTileModel>& models,
                     std::function<void(const std::string& appId)> onLaunch);

    /// Lays the tiles out for the current content width and fits the grid's height.
    void layoutGrid();
    /// Shows `image` on the tile of `appId` while it still shows `iconKey`.
    void updateImage(const std::string& appId, const std::string& iconKey, ImagePtr image);

    const std::vector<std::string>& appIds() const { return appIds_; }
    MediaAppTileView* tile(const std::string& appId) const;
    ScrollView& scrollView() const { return *scrollView_; }

    void layout() override;

  private:
    /// Gives keyboard focus to the tile `step` places from `appId`, scrolled into view; at
    /// either end focus stays where it is.
    void moveFocus(const std::string& appId, int step);

    std::shared_ptr<ScrollView> scrollView_;
    std::shared_ptr<View> document_;
    std::vector<std::string> appIds_;
    std::map<std::string, std::shared_ptr<MediaAppTileView>> tiles_;
};

}  // namespace corvix
