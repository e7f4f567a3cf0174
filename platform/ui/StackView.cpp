#include "platform/ui/StackView.h"

namespace corvix {

StackView::StackView(Rect frame) : View(frame) {}

void StackView::addArrangedSubview(std::shared_ptr<View> view) {
    if (!view) {
        return;
    }
    arranged_.push_back(view);
    addSubview(std::move(view));
    setNeedsLayout();
}

void StackView::setSpacing(double spacing) {
    spacing_ = spacing;
    setNeedsLayout();
}

Size StackView::fittingSize() const {
    double height = 0;
    for (const auto& view : arranged_) {
        height += view->frame().height();
    }
    if (arranged_.size() > 1) {
        height += spacing_ * double(arranged_.size() - 1);
    }
    return {frame().width(), height};
}

void StackView::layout() {
    const double width = frame().width();
    const bool flipped = isFlipped();
    // Distance from the top edge to the next view's top edge.
    double top = 0;
    for (const auto& view : arranged_) {
        const double height = view->frame().height();
        const double y = flipped ? top : frame().height() - top - height;
        view->setFrame({0, y, width, height});
        top += height + spacing_;
    }
}

}  // namespace corvix
