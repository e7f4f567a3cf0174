#pragma once

#include "platform/ui/View.h"

namespace corvix {

enum class BoxType { Separator, Custom };

/// A separator line (along the longer side) or a plain custom box.
class Box : public View {
  public:
    explicit Box(Rect frame = {}, BoxType type = BoxType::Separator) : View(frame), type_(type) {}

    BoxType boxType() const { return type_; }
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    BoxType type_;
};

}  // namespace corvix
