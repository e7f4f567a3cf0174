#pragma once

#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace corvix {

/// A vertical stack: the arranged views run from the top down, each spanning the stack's width
/// at its own height, `spacing` points apart. The stack lays them out itself; its fitting
/// height is the sum of theirs.
class StackView : public View {
  public:
    explicit StackView(Rect frame = {});

    const std::vector<std::shared_ptr<View>>& arrangedSubviews() const { return arranged_; }
    void addArrangedSubview(std::shared_ptr<View> view);
    double spacing() const { return spacing_; }
    void setSpacing(double spacing);
    /// The stack's width and the height its arranged views need.
    Size fittingSize() const;

    void layout() override;

  private:
    std::vector<std::shared_ptr<View>> arranged_;
    double spacing_ = 0;
};

}  // namespace corvix
