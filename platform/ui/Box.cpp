#include "platform/ui/Box.h"

#include "platform/ui/GraphicsContext.h"

namespace corvix {

void Box::draw(GraphicsContext& ctx, const Rect&) {
    Rect b = bounds();
    Color line = Color::system(SystemColor::Separator);
    if (type_ == BoxType::Separator) {
        if (b.width() >= b.height()) {
            ctx.fillRect({b.minX(), b.midY() - 0.5, b.width(), 1}, line);
        } else {
            ctx.fillRect({b.midX() - 0.5, b.minY(), 1, b.height()}, line);
        }
    } else {
        ctx.strokeRoundedRect(b.insetBy(0.5, 0.5), 5, line, 1);
    }
}

}  // namespace corvix
