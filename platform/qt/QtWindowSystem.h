#pragma once

#include <QPoint>
#include <QRect>

#include "platform/ui/Window.h"

namespace corvix {

/// Model point/rect in screen coordinates (y up from the primary screen's bottom) to Qt's
/// global coordinates (y down from its top), and back.
QRect toQtScreenRect(const Rect& rect);
Rect fromQtScreenRect(const QRect& rect);
Point fromQtScreenPoint(const QPoint& point);

/// Shows model windows as top-level QWidgets hosting their content view: titled windows get a
/// frame, borderless ones none (translucent when not opaque); levels above normal stay on top.
class QtWindowSystem final : public WindowSystem {
  public:
    std::unique_ptr<WindowPeer> makePeer(Window& window) override;
    bool canPlaceFloatingWindows() const override;
};

}  // namespace corvix
