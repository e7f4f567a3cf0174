#pragma once

#include <memory>

#include "platform/ui/Color.h"
#include "platform/ui/View.h"

namespace corvix {

/// Scrolls a document view inside its bounds: the clip view's bounds origin is the visible
/// part's origin in the document. Scroll-wheel events move it, clamped to the document.
class ScrollView : public View {
  public:
    explicit ScrollView(Rect frame = {});

    const std::shared_ptr<View>& documentView() const { return document_; }
    void setDocumentView(std::shared_ptr<View> view);
    /// The view that clips the document.
    View& contentView() const { return *clip_; }
    /// The visible part of the document, in document coordinates.
    Rect documentVisibleRect() const;
    /// Scrolls so the document point `p` is at the clip's origin (clamped).
    void scrollToPoint(Point p);
    /// Scrolls to the top of the document (the bottom for a document that is not flipped).
    void scrollToTop();

    bool hasVerticalScroller() const { return vertical_; }
    void setHasVerticalScroller(bool value) { vertical_ = value; }
    bool hasHorizontalScroller() const { return horizontal_; }
    void setHasHorizontalScroller(bool value) { horizontal_ = value; }
    bool autohidesScrollers() const { return autohides_; }
    void setAutohidesScrollers(bool value) { autohides_ = value; }
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool value);
    Color backgroundColor() const { return background_; }
    void setBackgroundColor(Color color);
    bool hasBorder() const { return border_; }
    void setHasBorder(bool value) { border_ = value; }

    void setFrameSize(Size size) override;
    void scrollWheel(const Event& event) override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    class ClipView;
    std::shared_ptr<View> clip_;
    std::shared_ptr<View> document_;
    bool vertical_ = false;
    bool horizontal_ = false;
    bool autohides_ = false;
    bool drawsBackground_ = true;
    Color background_ = Color::system(SystemColor::ControlBackground);
    bool border_ = false;
};

}  // namespace corvix
