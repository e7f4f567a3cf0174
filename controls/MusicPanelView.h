#pragma once

#include <optional>

#include "platform/ui/Color.h"
#include "platform/ui/View.h"

namespace corvix {

/// A passive rounded panel with a fill and an optional outline. The fields are plain values:
/// assigning one does not redraw; owners set them before the view is first shown.
class MusicPanelView : public View {
  public:
    explicit MusicPanelView(Rect frame = {}) : View(frame) {}

    Color fillColor = Color::clear();
    std::optional<Color> strokeColor;
    double cornerRadius = 12;
    EdgeInsets inset{4, 8, 4, 8};

    void draw(GraphicsContext& context, const Rect& dirtyRect) override;
    View* hitTest(Point) override { return nullptr; }
};

}  // namespace corvix
