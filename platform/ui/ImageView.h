#pragma once

#include <optional>

#include "platform/ui/Color.h"
#include "platform/ui/Control.h"
#include "platform/ui/Image.h"

namespace corvix {

enum class ImageScaling { ProportionallyDown, AxesIndependently, None, ProportionallyUpOrDown };

/// Where an image of `imageSize` lands in `bounds` with `scaling`, centred.
Rect imageRect(Size imageSize, const Rect& bounds, ImageScaling scaling);

/// Shows an image, centred and scaled; a template image is drawn in the content tint.
class ImageView : public Control {
  public:
    explicit ImageView(Rect frame = {});
    static std::shared_ptr<ImageView> withImage(ImagePtr image);

    const ImagePtr& image() const { return image_; }
    void setImage(ImagePtr image);
    ImageScaling imageScaling() const { return scaling_; }
    void setImageScaling(ImageScaling scaling);
    const std::optional<Color>& contentTintColor() const { return tint_; }
    void setContentTintColor(std::optional<Color> color);

    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    ImagePtr image_;
    ImageScaling scaling_ = ImageScaling::ProportionallyDown;
    std::optional<Color> tint_;
};

}  // namespace corvix
