#include "platform/ui/VisualEffectView.h"

#include "platform/ui/GraphicsContext.h"

namespace corvix {

void VisualEffectView::setMaterial(VisualEffectMaterial m) {
    material_ = m;
    setNeedsDisplay();
}

void VisualEffectView::draw(GraphicsContext& ctx, const Rect&) {
    bool dark = Color::currentScheme() == ColorScheme::Dark;
    Color fill;
    switch (material_) {
        case VisualEffectMaterial::HudWindow:
            fill = Color::calibratedWhite(0.09, 0.9);  // dark in either scheme
            break;
        case VisualEffectMaterial::Menu:
        case VisualEffectMaterial::Popover:
            fill = dark ? Color::calibratedWhite(0.17, 0.94) : Color::calibratedWhite(0.97, 0.94);
            break;
        case VisualEffectMaterial::Sidebar:
        case VisualEffectMaterial::WindowBackground:
            fill = Color::system(SystemColor::WindowBackground);
            break;
    }
    ctx.fillRect(bounds(), fill);
}

}  // namespace corvix
