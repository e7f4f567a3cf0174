#include "controls/MusicArtworkView.h"

#include <charconv>
#include <cstdint>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

namespace {

// Shortest decimal text that keeps a fractional part: 128 -> "128.0".
std::string decimal(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, ec == std::errc() ? end : buf);
    if (s.find_first_of(".eE") == std::string::npos && s.find_first_of("ni") == std::string::npos) {
        s += ".0";
    }
    return s;
}

}  // namespace

std::string cacheKey(const Image& image) {
    auto hash = reinterpret_cast<std::uintptr_t>(&image);
    return decimal(image.size().width) + "x" + decimal(image.size().height) + "-" +
           std::to_string(hash);
}

MusicArtworkView::MusicArtworkView(Rect frame)
    : View(frame),
      imageLayer_(std::make_shared<Layer>()),
      fallbackLayer_(std::make_shared<Layer>()),
      artworkContainer_(std::make_shared<View>(bounds().insetBy(1, 1))) {
    setWantsLayer(true);
    artworkContainer_->setWantsLayer(true);
    artworkContainer_->layer()->setMasksToBounds(true);
    artworkContainer_->setAutoresizingMask(AutoresizeWidthSizable | AutoresizeHeightSizable);
    imageLayer_->setContentsGravity(ContentsGravity::ResizeAspectFill);
    imageLayer_->setMasksToBounds(true);
    imageLayer_->setOpacity(0);
    fallbackLayer_->setMasksToBounds(true);
    fallbackLayer_->setOpacity(0);
    artworkContainer_->layer()->addSublayer(imageLayer_);
    artworkContainer_->layer()->addSublayer(fallbackLayer_);
    addSubview(artworkContainer_);
}

void MusicArtworkView::setImage(ImagePtr image) {
    ImagePtr previous = std::move(image_);
    image_ = std::move(image);
    imageChanged(previous);
}

void MusicArtworkView::imageChanged(const ImagePtr& previous) {
    if (!previous && !image_) {
        return;
    }
    if (previous && image_ && cacheKey(*previous) == cacheKey(*image_)) {
        return;
    }
    bool animated = previous && image_;
    {
        Transaction::Scope transaction;
        Transaction::setAnimationDuration(animated ? 0.3 : 0);
        Transaction::setTimingFunction(TimingFunction::easeInEaseOut());
        // A removed image leaves the old contents in place, hidden.
        if (image_) {
            imageLayer_->setContents(image_);
        }
        imageLayer_->setOpacity(image_ ? 1 : 0);
        fallbackLayer_->setOpacity(image_ ? 0 : 1);
    }
    setNeedsDisplay();
}

void MusicArtworkView::layout() {
    Rect inner = bounds().insetBy(1, 1);
    artworkContainer_->setFrame(inner);
    artworkContainer_->layer()->setCornerRadius(10);
    Rect fill(0, 0, inner.width(), inner.height());
    for (auto* layer : {imageLayer_.get(), fallbackLayer_.get()}) {
        layer->setFrame(fill);
        layer->setCornerRadius(10);
    }
}

void MusicArtworkView::draw(GraphicsContext& ctx, const Rect&) {
    Rect e = bounds().insetBy(1, 1);
    if (!image_) {
        ctx.fillRect(e, Color::calibratedWhite(0.08, 1));
        ctx.save();
        ctx.clip(Path::rect(bounds()));
        ctx.fillEllipse(e.insetBy(-10, -12), accentColor_.withAlphaComponent(0.38));
        ctx.restore();
        if (fallback_) {
            // The tile is dark in either appearance: a symbol given as a template is white on it.
            ctx.drawImage(*fallback_, e.insetBy(14, 14), CompositingOperation::SourceOver, 0.9,
                          Color::white());
        }
    }
    ctx.strokeRoundedRect(e, 10, Color::black().withAlphaComponent(0.14), 0.6);
}

}  // namespace corvix
