#include "notch/MusicSymbolImage.h"

#include <cmath>

#include "platform/PlatformServices.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Symbols.h"

namespace corvix {

namespace {
// Bitmaps are drawn at twice the point size so they stay sharp on dense screens.
constexpr double kBitmapScale = 2;
}  // namespace

ImagePtr musicSymbolImage(std::string_view name, double pointSize, FontWeight weight,
                          std::optional<Color> color) {
    ImagePtr symbol = systemSymbolImage(name, name);
    if (!symbol) {
        return nullptr;
    }
    if (ImagePtr configured = withSymbolConfiguration(symbol, pointSize, weight)) {
        symbol = std::move(configured);
    }
    if (!color) {
        return symbol;
    }
    ImageService* images = platformServices().images;
    const Size size = symbol->size();
    const int w = static_cast<int>(std::ceil(size.width * kBitmapScale));
    const int h = static_cast<int>(std::ceil(size.height * kBitmapScale));
    std::unique_ptr<BitmapContext> context = images ? images->makeBitmapContext(w, h) : nullptr;
    if (!context) {
        return symbol;
    }
    // The tint goes on in the symbol's own bitmap: source-atop in a view's context would
    // colour whatever was drawn beneath the symbol too.
    const Rect whole(0, 0, w, h);
    context->drawImage(*symbol, whole);
    context->setCompositingOperation(CompositingOperation::SourceAtop);
    context->fillRect(whole, *color);
    ImagePtr tinted = context->makeImage();
    if (!tinted) {
        return symbol;
    }
    tinted->setSize(size);
    tinted->setTemplate(false);
    tinted->setAccessibilityDescription(std::string(name));
    return tinted;
}

}  // namespace corvix
