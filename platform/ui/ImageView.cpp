#include "platform/ui/ImageView.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

Rect imageRect(Size size, const Rect& b, ImageScaling scaling) {
    if (size.width <= 0 || size.height <= 0) {
        return {};
    }
    double w = size.width, h = size.height;
    double fit = std::min(b.width() / w, b.height() / h);
    switch (scaling) {
        case ImageScaling::AxesIndependently:
            return b;
        case ImageScaling::None:
            break;
        case ImageScaling::ProportionallyDown:
            if (fit < 1) {
                w *= fit;
                h *= fit;
            }
            break;
        case ImageScaling::ProportionallyUpOrDown:
            w *= fit;
            h *= fit;
            break;
    }
    return {b.midX() - w / 2, b.midY() - h / 2, w, h};
}

ImageView::ImageView(Rect frame) : Control(frame) {
    setAccessibilityRole(AccessibilityRole::Image);
}

std::shared_ptr<ImageView> ImageView::withImage(ImagePtr image) {
    auto view = std::make_shared<ImageView>();
    if (image) {
        view->setFrame({0, 0, image->size().width, image->size().height});
    }
    view->setImage(std::move(image));
    return view;
}

void ImageView::setImage(ImagePtr image) {
    if (image == image_) {
        return;
    }
    image_ = std::move(image);
    setNeedsDisplay();
}

void ImageView::setImageScaling(ImageScaling scaling) {
    scaling_ = scaling;
    setNeedsDisplay();
}

void ImageView::setContentTintColor(std::optional<Color> color) {
    tint_ = color;
    setNeedsDisplay();
}

void ImageView::draw(GraphicsContext& context, const Rect&) {
    if (!image_) {
        return;
    }
    Rect r = imageRect(image_->size(), bounds(), scaling_);
    context.drawImage(*image_, r, CompositingOperation::SourceOver, isEnabled() ? 1.0 : 0.5, tint_);
}

}  // namespace corvix
