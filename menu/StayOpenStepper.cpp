#include "menu/StayOpenStepper.h"

namespace corvix {

bool StayOpenStepper::acceptsFirstMouse(const Event&) const {
    return true;
}

void StayOpenStepper::mouseDown(const Event& event) {
    suspension_.begin(stayOpenMenu);
    Stepper::mouseDown(event);
}

void StayOpenStepper::mouseUp(const Event& event) {
    Stepper::mouseUp(event);
    suspension_.end();
}

void StayOpenStepper::viewDidMoveToWindow() {
    Stepper::viewDidMoveToWindow();
    if (!window()) {
        suspension_.end();
    }
}

}  // namespace corvix
