#pragma once

#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"
#include "platform/ui/Transaction.h"

namespace corvix {

class View;

/// A scale transform (layers only ever scale about their centre in this program).
struct Scale3D {
    double x = 1, y = 1, z = 1;
    bool operator==(const Scale3D&) const = default;
};

enum class ContentsGravity { Resize, ResizeAspect, ResizeAspectFill, Center };

/// The animatable and plain properties of a layer; also what the presentation returns.
struct LayerState {
    Rect frame;
    std::optional<Color> backgroundColor;
    std::optional<Color> borderColor;
    double borderWidth = 0;
    double cornerRadius = 0;
    bool masksToBounds = false;
    double opacity = 1;
    Scale3D transform;
    bool hidden = false;
    ImagePtr contents;
    ContentsGravity contentsGravity = ContentsGravity::Resize;
    std::optional<Color> shadowColor;
    double shadowOpacity = 0;
    double shadowRadius = 3;
    Size shadowOffset{0, -3};
    /// While contents cross-fade: the old image and how far the fade is (0...1).
    ImagePtr fadingContents;
    double contentsFade = 1;
};

enum class LayerProperty {
    Frame,
    BackgroundColor,
    BorderColor,
    BorderWidth,
    CornerRadius,
    Opacity,
    Transform,
    Contents
};

/// One recorded property animation: from the value before the change to the model value.
struct LayerAnimation {
    using Value = std::variant<double, Color, Rect, Scale3D, ImagePtr>;
    LayerProperty property;
    Value from;
    Value to;
    Duration begin{0};
    double duration = 0;  // seconds
    TimingFunction timing;
};

/// A retained drawing surface: geometry, colours, border, corner radius, opacity, a scale
/// transform, contents image and sublayers. Setting a property inside an animating Transaction
/// records a LayerAnimation; the model value changes at once, and the backend draws the
/// `presentation`. Layers are y-up in their superlayer. Main thread only.
class Layer : public std::enable_shared_from_this<Layer> {
  public:
    Layer() = default;
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    const LayerState& state() const { return s_; }
    Rect frame() const { return s_.frame; }
    Rect bounds() const { return {0, 0, s_.frame.width(), s_.frame.height()}; }
    void setFrame(const Rect& frame);
    const std::optional<Color>& backgroundColor() const { return s_.backgroundColor; }
    void setBackgroundColor(std::optional<Color> color);
    const std::optional<Color>& borderColor() const { return s_.borderColor; }
    void setBorderColor(std::optional<Color> color);
    double borderWidth() const { return s_.borderWidth; }
    void setBorderWidth(double width);
    double cornerRadius() const { return s_.cornerRadius; }
    void setCornerRadius(double radius);
    double opacity() const { return s_.opacity; }
    void setOpacity(double opacity);
    Scale3D transform() const { return s_.transform; }
    void setTransform(Scale3D transform);
    bool masksToBounds() const { return s_.masksToBounds; }
    void setMasksToBounds(bool value);
    bool isHidden() const { return s_.hidden; }
    void setHidden(bool hidden);
    const ImagePtr& contents() const { return s_.contents; }
    /// Inside an animating transaction the old contents cross-fade into the new.
    void setContents(ImagePtr image);
    ContentsGravity contentsGravity() const { return s_.contentsGravity; }
    void setContentsGravity(ContentsGravity gravity);
    void setShadow(std::optional<Color> color, double opacity, double radius, Size offset);

    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
    void addSublayer(std::shared_ptr<Layer> layer);
    void insertSublayer(std::shared_ptr<Layer> layer, std::size_t index);
    void removeFromSuperlayer();
    Layer* superlayer() const { return superlayer_; }

    /// Every animation recorded since the layer was made (or `clearAnimations`), oldest first.
    const std::vector<LayerAnimation>& animations() const { return animations_; }
    /// The latest animation of `property`, if any.
    const LayerAnimation* animation(LayerProperty property) const;
    void clearAnimations() { animations_.clear(); }
    /// Whether an animation is still running at `now`.
    bool isAnimating(Duration now) const;
    /// The values on screen at `now`: the model values with running animations interpolated.
    LayerState presentation(Duration now) const;

    /// The view this layer backs (set by the view); it is redrawn when the layer changes.
    View* hostView() const { return hostView_; }
    void setHostView(View* view) { hostView_ = view; }

  private:
    void record(LayerProperty property, LayerAnimation::Value from, LayerAnimation::Value to);
    void changed();

    LayerState s_;
    std::vector<std::shared_ptr<Layer>> sublayers_;
    Layer* superlayer_ = nullptr;
    View* hostView_ = nullptr;
    std::vector<LayerAnimation> animations_;
};

}  // namespace corvix
