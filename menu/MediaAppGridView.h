#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
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
    /// The tiles show the pointer (hover) and the keyboard (focus ring) themselves; a wash over
    /// the whole grid would say nothing more.
    bool drawsMenuItemHighlight() const override { return true; }
    /// Focuses the first tile (the last going back), or once the tile set by
    /// `setKeyboardEntryAppId`.
    bool acceptKeyboardEntry(bool forward) override;
    /// The app whose tile has keyboard focus, if one has.
    std::optional<std::string> focusedAppId() const;
    /// The tile the next keyboard entry focuses: a grid built in place of one that had the
    /// focus keeps it on the same app.
    void setKeyboardEntryAppId(std::optional<std::string> appId) { entryAppId_ = std::move(appId); }

  private:
    /// Moves keyboard focus from the tile of `appId` in appIds order, a row at a time up and
    /// down. Tab past either end, up from the first row and down from the last let the focus
    /// go (false); left and right stop at the ends.
    bool moveFocus(const std::string& appId, TileFocusMove move);
    /// Gives keyboard focus to tile `index`, scrolled into view; false when it was refused.
    bool focusTile(std::size_t index);

    std::shared_ptr<ScrollView> scrollView_;
    std::shared_ptr<View> document_;
    std::vector<std::string> appIds_;
    std::map<std::string, std::shared_ptr<MediaAppTileView>> tiles_;
    std::optional<std::string> entryAppId_;
};

}  // namespace corvix
