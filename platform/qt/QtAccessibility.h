#pragma once

namespace corvix {

/// Exposes the model views hosted in menu rows to assistive technologies (AT-SPI through Qt):
/// each row of a menu popup becomes a menu item named by its view, and every accessibility
/// element inside it (switches, sliders, steppers, buttons, pickers) a child with the model's
/// role, label and value, whose press, increment and decrement reach the model's actions.
/// Installing it more than once does nothing more.
void installModelAccessibility();

}  // namespace corvix
