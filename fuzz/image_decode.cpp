// Image files through the Qt image service, as the program decodes the status-bar icon and
// draws it: QImageReader on the bytes, the RGBA bitmap, then rendering plain and as a template.
// Decoding and painting into a QImage need no QGuiApplication; the format plugins (JPEG, GIF,
// ICO) load without one. Qt itself is not instrumented, so coverage guides only through our code.
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "platform/qt/QtDesktopServices.h"
#include "platform/qt/QtGraphicsContext.h"
#include "platform/ui/Color.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvix;
    using fuzz::require;
    static QtImageService images;
    const std::vector<std::uint8_t> bytes(data, data + size);
    const ImagePtr image = images.decode(bytes);
    if (!image) {
        return 0;
    }
    const BitmapRep* bitmap = image->largestBitmap();
    require(bitmap != nullptr, "a decoded image has a bitmap");
    require(bitmap->pixelsWide > 0 && bitmap->pixelsHigh > 0, "a decoded bitmap is not empty");
    require(bitmap->pixels.size() ==
                std::size_t(bitmap->pixelsWide) * std::size_t(bitmap->pixelsHigh) * 4,
            "a bitmap holds four bytes per pixel");
    require(image->size().width == bitmap->pixelsWide && image->size().height == bitmap->pixelsHigh,
            "a decoded image is as large as its bitmap");

    const Color tint = Color::system(SystemColor::Label).withAlphaComponent(1);
    const QImage plain = renderImage(*image, {44, 44}, tint);
    require(!plain.isNull(), "a decoded image renders");
    image->setTemplate(true);
    const QImage masked = renderImage(*image, {44, 44}, tint);
    require(masked.size() == plain.size(), "a template renders at the same size");
    return 0;
}
