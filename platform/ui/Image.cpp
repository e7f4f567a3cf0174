#include "platform/ui/Image.h"

#include <algorithm>
#include <cmath>

namespace corvix {

std::shared_ptr<Image> Image::withBitmap(BitmapRep bitmap, Size size) {
    auto image = std::make_shared<Image>(size);
    image->addBitmap(std::move(bitmap));
    return image;
}

std::shared_ptr<Image> Image::drawn(Size size, Drawing drawing) {
    auto image = std::make_shared<Image>(size);
    image->drawing_ = std::move(drawing);
    return image;
}

const BitmapRep* Image::largestBitmap() const {
    const BitmapRep* best = nullptr;
    long long bestArea = -1;
    for (const auto& rep : bitmaps_) {
        long long area = static_cast<long long>(rep.pixelsWide) * rep.pixelsHigh;
        if (area > bestArea) {
            best = &rep;
            bestArea = area;
        }
    }
    return best;
}

PixelSize pixelDimensions(const Image& image) {
    double w = 0, h = 0;
    if (const BitmapRep* rep = image.largestBitmap()) {
        w = rep->pixelsWide;
        h = rep->pixelsHigh;
    } else {
        w = std::ceil(image.size().width);
        h = std::ceil(image.size().height);
    }
    // Also catches NaN sizes; the upper bound keeps the conversion defined.
    auto side = [](double v) { return v >= 1 ? static_cast<int>(std::min(v, 1e9)) : 1; };
    return {side(w), side(h)};
}

PixelSize reducedPixelSize(int width, int height, int maxPixelDimension) {
    const double w = std::max(width, 1), h = std::max(height, 1);
    const double scale = std::min(std::max(maxPixelDimension, 0) / std::max(w, h), 1.0);
    auto side = [scale](double v) { return std::max(1, static_cast<int>(std::round(scale * v))); };
    return {side(w), side(h)};
}

}  // namespace corvix
