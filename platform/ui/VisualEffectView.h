#pragma once

#include "platform/ui/View.h"

namespace corvix {

enum class VisualEffectMaterial { Menu, Popover, Sidebar, HudWindow, WindowBackground };
enum class VisualEffectBlending { BehindWindow, WithinWindow };
enum class VisualEffectState { FollowsWindowActiveState, Active, Inactive };

/// A translucent material behind other views. Drawn as a tinted translucent fill (there is no
/// blur of the desktop behind a window here).
class VisualEffectView : public View {
  public:
    explicit VisualEffectView(Rect frame = {}) : View(frame) {}

    VisualEffectMaterial material() const { return material_; }
    void setMaterial(VisualEffectMaterial m);
    VisualEffectBlending blendingMode() const { return blending_; }
    void setBlendingMode(VisualEffectBlending b) { blending_ = b; }
    VisualEffectState state() const { return state_; }
    void setState(VisualEffectState s) { state_ = s; }

    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    VisualEffectMaterial material_ = VisualEffectMaterial::WindowBackground;
    VisualEffectBlending blending_ = VisualEffectBlending::BehindWindow;
    VisualEffectState state_ = VisualEffectState::FollowsWindowActiveState;
};

}  // namespace corvix
