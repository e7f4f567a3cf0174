#pragma once

#include <memory>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Image.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

namespace corvix {

/// An image's identity key: width "x" height "-" the object's hash (its address). Two images
/// share a key only when they are the same object.
std::string cacheKey(const Image& image);

/// Cover art with a drawn fallback (dark square, accent glow, fallback picture) and a 0.3 s
/// cross-fade between two images. Assigning the image it already shows does nothing.
class MusicArtworkView : public View {
  public:
    explicit MusicArtworkView(Rect frame = {});

    const ImagePtr& image() const { return image_; }
    void setImage(ImagePtr image);
    const ImagePtr& fallback() const { return fallback_; }
    void setFallback(ImagePtr image) { fallback_ = std::move(image); }
    const Color& accentColor() const { return accentColor_; }
    void setAccentColor(const Color& color) { accentColor_ = color; }

    Layer& imageLayer() const { return *imageLayer_; }
    Layer& fallbackLayer() const { return *fallbackLayer_; }
    View& artworkContainer() const { return *artworkContainer_; }

    void layout() override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    void imageChanged(const ImagePtr& previous);

    ImagePtr image_;
    ImagePtr fallback_;
    Color accentColor_ = Color::system(SystemColor::Red);
    std::shared_ptr<Layer> imageLayer_;
    std::shared_ptr<Layer> fallbackLayer_;
    std::shared_ptr<View> artworkContainer_;
};

}  // namespace corvix
