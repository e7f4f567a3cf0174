#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"

namespace corvix {

class GraphicsContext;

/// Pixels of a decoded or rendered image: RGBA, 8 bits per sample, premultiplied alpha, rows
/// from the top. `pixels` may be empty when a headless service kept only the dimensions.
struct BitmapRep {
    int pixelsWide = 0;
    int pixelsHigh = 0;
    std::vector<std::uint8_t> pixels;
};

/// A system symbol: the glyph is drawn by the backend at the given point size and weight.
struct SymbolRep {
    std::string name;   // the program's symbol name ("play.fill")
    std::string glyph;  // the icon font's ligature name ("play_arrow")
    double pointSize = 13;
    FontWeight weight = FontWeight::Regular;
};

/// An image: a size in points and its representations. Images are shared by pointer and their
/// identity matters (two images are "the same" only when they are the same object).
class Image {
  public:
    using Drawing = std::function<void(GraphicsContext&, const Rect&)>;

    explicit Image(Size size) : size_(size) {}

    /// An image whose only representation is `bitmap`, `size` points large.
    static std::shared_ptr<Image> withBitmap(BitmapRep bitmap, Size size);
    /// An image drawn on demand by `drawing` into the rect it is drawn in (vector image).
    static std::shared_ptr<Image> drawn(Size size, Drawing drawing);

    Size size() const { return size_; }
    void setSize(Size size) { size_ = size; }
    const std::vector<BitmapRep>& bitmaps() const { return bitmaps_; }
    void addBitmap(BitmapRep bitmap) { bitmaps_.push_back(std::move(bitmap)); }
    /// The bitmap with the largest pixel area (the first among equals), if any.
    const BitmapRep* largestBitmap() const;
    const std::optional<SymbolRep>& symbol() const { return symbol_; }
    void setSymbol(SymbolRep symbol) { symbol_ = std::move(symbol); }
    const Drawing& drawing() const { return drawing_; }

    /// A template image is drawn as a mask in the tint of whatever shows it.
    bool isTemplate() const { return template_; }
    void setTemplate(bool value) { template_ = value; }
    const std::string& accessibilityDescription() const { return accessibilityDescription_; }
    void setAccessibilityDescription(std::string text) {
        accessibilityDescription_ = std::move(text);
    }

    /// Backend-private decoded form, kept with the image so drawing does not convert each time.
    mutable std::shared_ptr<void> backendCache;

  private:
    Size size_;
    std::vector<BitmapRep> bitmaps_;
    std::optional<SymbolRep> symbol_;
    Drawing drawing_;
    bool template_ = false;
    std::string accessibilityDescription_;
};

using ImagePtr = std::shared_ptr<Image>;

/// A size in whole pixels.
struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

/// The pixels an image holds: its largest bitmap, else its point size raised to whole numbers;
/// each side at least 1.
PixelSize pixelDimensions(const Image& image);
/// `width` × `height` scaled so the longer side is at most `maxPixelDimension` (never
/// enlarged), each side rounded to the nearest whole number and at least 1.
PixelSize reducedPixelSize(int width, int height, int maxPixelDimension);

}  // namespace corvix
