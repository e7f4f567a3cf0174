#include "controls/MusicPanelView.h"

#include "platform/ui/GraphicsContext.h"

namespace corvix {

void MusicPanelView::draw(GraphicsContext& ctx, const Rect&) {
    Rect b = bounds();
    Rect panel(inset.left, inset.bottom, b.width() - inset.left - inset.right,
               b.height() - inset.top - inset.bottom);
    Path shape = Path::roundedRect(panel, cornerRadius, cornerRadius);
    ctx.fill(shape, fillColor);
    if (strokeColor) {
        ctx.stroke(shape, *strokeColor, 0.6);
    }
}

}  // namespace corvix
