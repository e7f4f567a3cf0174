#pragma once

class QAccessibleInterface;

namespace corvix {

class View;

/// Exposes the model views hosted in menu rows to assistive technologies (AT-SPI through Qt):
/// each row of a menu popup becomes a menu item named by its view, and every accessibility
/// element inside it (switches, sliders, steppers, buttons, pickers) a child with the model's
/// role, label and value (as the model words it), whose press, increment, decrement and set
/// value reach the model's actions. A row that cannot be chosen and holds nothing to use (a
/// heading, a line of text) reads as static text. Value changes the model posts reach
/// assistive technologies as value-changed events of the element in the open menu.
/// Installing it more than once does nothing more.
void installModelAccessibility();

/// The interface standing for `view` (or the element holding it) in an open menu, made if no
/// assistive technology has asked for it yet: where its value changes are announced. Null
/// when the view is in no open menu.
QAccessibleInterface* accessibleInterfaceFor(const View& view);

}  // namespace corvix
