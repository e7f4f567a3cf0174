#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/Color.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

namespace corvix {

// Small pieces every part of the status menu builds its rows from.

/// A row drawn by `view`; `title` names it for type-ahead and accessibility.
inline std::shared_ptr<MenuItem> itemWithView(std::string_view title, std::shared_ptr<View> view) {
    auto item = MenuItem::make(std::string(title));
    item->setView(std::move(view));
    return item;
}

/// A line of text that cannot be chosen ("Loading...", an error, "No apps available").
inline std::shared_ptr<MenuItem> disabledLine(std::string_view title) {
    auto item = MenuItem::make(std::string(title));
    item->setEnabled(false);
    return item;
}

/// The `index`th label of a row, or null.
inline TextField* labelAt(const View& view, std::size_t index) {
    for (const auto& subview : view.subviews()) {
        if (auto* field = dynamic_cast<TextField*>(subview.get()); field && index-- == 0) {
            return field;
        }
    }
    return nullptr;
}

inline Color secondaryLabelColor() {
    return Color::system(SystemColor::SecondaryLabel);
}

inline Color separatorColor(double alpha) {
    return Color::system(SystemColor::Separator).withAlphaComponent(alpha);
}

inline Color accentColor(double alpha = 1) {
    return Color::system(SystemColor::ControlAccent).withAlphaComponent(alpha);
}

}  // namespace corvix
