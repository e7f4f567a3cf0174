#include "platform/ui/ScrollView.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Window.h"

namespace corvix {

// Takes the document's orientation, so scrolling offsets read the same way as the document.
class ScrollView::ClipView final : public View {
  public:
    using View::View;
    std::weak_ptr<View> document;
    bool isFlipped() const override {
        auto d = document.lock();
        return d && d->isFlipped();
    }
};

ScrollView::ScrollView(Rect frame) : View(frame) {
    clip_ = std::make_shared<ClipView>(Rect(0, 0, frame.width(), frame.height()));
    clip_->setAutoresizingMask(AutoresizeWidthSizable | AutoresizeHeightSizable);
    addSubview(clip_);
    setAccessibilityRole(AccessibilityRole::ScrollArea);
}

void ScrollView::setDocumentView(std::shared_ptr<View> view) {
    if (document_) {
        document_->removeFromSuperview();
    }
    document_ = std::move(view);
    static_cast<ClipView&>(*clip_).document = document_;
    if (document_) {
        document_->setFrameOrigin({0, 0});
        clip_->addSubview(document_);
    }
    scrollToTop();
}

Rect ScrollView::documentVisibleRect() const {
    return clip_->bounds();
}

void ScrollView::scrollToPoint(Point p) {
    Size doc = document_ ? document_->frame().size : Size{};
    Size clip = clip_->frame().size;
    p.x = std::clamp(p.x, 0.0, std::max(0.0, doc.width - clip.width));
    p.y = std::clamp(p.y, 0.0, std::max(0.0, doc.height - clip.height));
    clip_->setBoundsOrigin(p);
    if (Window* w = window()) {
        w->router().refreshTracking();
    }
}

void ScrollView::scrollToTop() {
    bool flipped = document_ && document_->isFlipped();
    double top = document_ ? document_->frame().height() - clip_->frame().height() : 0;
    scrollToPoint({0, flipped ? 0 : top});
}

void ScrollView::setDrawsBackground(bool value) {
    drawsBackground_ = value;
    setNeedsDisplay();
}

void ScrollView::setBackgroundColor(Color color) {
    background_ = color;
    setNeedsDisplay();
}

void ScrollView::setFrameSize(Size size) {
    View::setFrameSize(size);
    scrollToPoint(clip_->bounds().origin);
}

void ScrollView::scrollWheel(const Event& event) {
    Point o = clip_->bounds().origin;
    // Positive delta scrolls towards the top of the document.
    bool flipped = document_ && document_->isFlipped();
    double dy = flipped ? -event.scrollDeltaY : event.scrollDeltaY;
    scrollToPoint({o.x - event.scrollDeltaX, o.y + dy});
}

void ScrollView::draw(GraphicsContext& ctx, const Rect&) {
    if (drawsBackground_) {
        ctx.fillRect(bounds(), background_);
    }
    if (border_) {
        ctx.strokeRect(bounds().insetBy(0.5, 0.5), Color::system(SystemColor::Separator), 1);
    }
}

}  // namespace corvix
