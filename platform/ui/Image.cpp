#include "platform/ui/Image.h"

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

}  // namespace corvix
