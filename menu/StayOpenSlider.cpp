#include "menu/StayOpenSlider.h"

namespace corvix {

bool StayOpenSlider::acceptsFirstMouse(const Event&) const {
    return true;
}

void StayOpenSlider::mouseDown(const Event& event) {
    suspension_.begin(stayOpenMenu);
    Slider::mouseDown(event);
}

void StayOpenSlider::mouseUp(const Event& event) {
    Slider::mouseUp(event);
    suspension_.end();
}

void StayOpenSlider::viewDidMoveToWindow() {
    Slider::viewDidMoveToWindow();
    if (!window()) {
        suspension_.end();
    }
}

}  // namespace corvix
