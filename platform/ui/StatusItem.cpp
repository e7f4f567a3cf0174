#include "platform/ui/StatusItem.h"

namespace corvix {

void StatusItem::setLength(double length) {
    length_ = length;
    changed();
}

void StatusItem::setImage(ImagePtr image) {
    image_ = std::move(image);
    changed();
}

void StatusItem::setTitle(std::string title) {
    title_ = std::move(title);
    changed();
}

void StatusItem::setImagePosition(ImagePosition position) {
    imagePosition_ = position;
    changed();
}

void StatusItem::setToolTip(std::string toolTip) {
    toolTip_ = std::move(toolTip);
    changed();
}

void StatusItem::setVisible(bool visible) {
    visible_ = visible;
    changed();
}

void StatusItem::setMenu(std::shared_ptr<Menu> menu) {
    menu_ = std::move(menu);
    changed();
}

void StatusItem::setIconStyle(StatusItemIconStyle style) {
    if (style == iconStyle_) {
        return;
    }
    iconStyle_ = style;
    changed();
}

}  // namespace corvix
