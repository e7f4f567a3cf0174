#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/Image.h"
#include "platform/ui/TrackingArea.h"

namespace corvix {

/// What one app tile shows.
struct MediaAppTileModel {
    std::string id;
    std::string name;
    std::string iconKey;
    ImagePtr image;
    std::string fallbackSymbol;
};

/// Where the tiles of an app grid go, three a row, for a content width.
struct MediaAppTileLayout {
    static constexpr int kColumns = 3;
    static constexpr double kInset = 16;
    static constexpr double kGap = 10;

    explicit MediaAppTileLayout(double contentWidth);

    double tileWidth = 1;
    double imageHeight = 0;
    Size tileSize;
    Rect imageFrame;
    Rect labelFrame;

    /// The frame of tile `index` in a top-down document.
    Rect tileFrame(std::size_t index) const;
    /// The document height that holds `count` tiles.
    double documentHeight(std::size_t count) const;
};

/// Where a key asks keyboard focus to go from a tile.
enum class TileFocusMove { Next, Previous, Left, Right, Up, Down };

/// One app: its picture (or symbol) and name; a click launches it.
class MediaAppTileView : public Control {
  public:
    MediaAppTileView(MediaAppTileModel model, const MediaAppTileLayout& layout,
                     std::function<void(const std::string& appId)> onLaunch);

    const MediaAppTileModel& model() const { return model_; }
    void setImage(ImagePtr image);
    void applyLayout(const MediaAppTileLayout& layout);
    const Rect& imageFrame() const { return imageFrame_; }
    const Rect& labelFrame() const { return labelFrame_; }
    bool isHovered() const { return isHovered_; }
    bool isPressed() const { return isPressed_; }
    /// Asked to move keyboard focus from this tile; false when the focus left the grid (the
    /// key then goes on to the menu). Set by the grid.
    std::function<bool(const std::string& appId, TileFocusMove move)> onMoveFocus;

    bool isFlipped() const override { return true; }
    bool acceptsFirstResponder() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool acceptsFirstMouse(const Event&) const override { return true; }
    void updateTrackingAreas() override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;
    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    void keyDown(const Event& event) override;
    bool accessibilityPerformPress() override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    void launch();

    MediaAppTileModel model_;
    std::function<void(const std::string&)> onLaunch_;
    Rect imageFrame_;
    Rect labelFrame_;
    std::shared_ptr<TrackingArea> trackingArea_;
    bool isHovered_ = false;
    bool isPressed_ = false;
};

}  // namespace corvix
