#include "platform/ui/Menu.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

std::shared_ptr<MenuItem> MenuItem::separator() {
    auto item = std::make_shared<MenuItem>();
    item->separator_ = true;
    item->enabled_ = false;
    return item;
}

void MenuItem::changed() {
    if (menu_) {
        menu_->itemChanged(*this);
    }
}

void MenuItem::setTitle(std::string title) {
    if (title == title_) {
        return;
    }
    title_ = std::move(title);
    changed();
}

void MenuItem::setEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    changed();
}

void MenuItem::setHidden(bool hidden) {
    if (hidden == hidden_) {
        return;
    }
    hidden_ = hidden;
    changed();
}

void MenuItem::setView(std::shared_ptr<View> view) {
    if (highlighted_ && view_ && view_ != view) {
        view_->menuItemHighlightChanged(false);
    }
    view_ = std::move(view);
    if (highlighted_ && view_) {
        view_->menuItemHighlightChanged(true);
    }
    changed();
}

void MenuItem::setSubmenu(std::shared_ptr<Menu> submenu) {
    if (submenu_) {
        submenu_->supermenu_ = nullptr;
    }
    submenu_ = std::move(submenu);
    if (submenu_) {
        submenu_->supermenu_ = menu_;
    }
    changed();
}

void MenuItem::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) {
        return;
    }
    highlighted_ = highlighted;
    if (view_) {
        auto keep = view_;
        keep->menuItemHighlightChanged(highlighted);
    }
}

void MenuItem::setImage(ImagePtr image) {
    image_ = std::move(image);
    changed();
}

void MenuItem::setState(ControlState state) {
    if (state == state_) {
        return;
    }
    state_ = state;
    changed();
}

bool MenuItem::performAction() {
    if (!enabled_) {
        return false;
    }
    auto target = target_.lock();
    if (!target) {
        return false;
    }
    auto keep = shared_from_this();
    target->invoke(*this);
    return true;
}

Menu::~Menu() {
    for (auto& item : items_) {
        item->menu_ = nullptr;
        if (item->submenu_) {
            item->submenu_->supermenu_ = nullptr;
        }
    }
}

MenuItem* Menu::itemAt(int index) const {
    if (index < 0 || index >= numberOfItems()) {
        return nullptr;
    }
    return items_[static_cast<std::size_t>(index)].get();
}

void Menu::attach(MenuItem& item) {
    item.menu_ = this;
    if (item.submenu_) {
        item.submenu_->supermenu_ = this;
    }
}

void Menu::detach(MenuItem& item) {
    item.menu_ = nullptr;
    if (item.submenu_) {
        item.submenu_->supermenu_ = nullptr;
    }
}

void Menu::fillWhenNeeded(std::function<void(Menu&)> fill) {
    pendingFill_ = std::move(fill);
}

void Menu::fillIfPending() const {
    if (!pendingFill_) {
        return;
    }
    // Cleared first: the fill adds items, which asks again.
    auto fill = std::move(pendingFill_);
    pendingFill_ = nullptr;
    auto* self = const_cast<Menu*>(this);
    auto keep = self->weak_from_this().lock();
    fill(*self);
}

void Menu::addItem(std::shared_ptr<MenuItem> item) {
    insertItem(std::move(item), numberOfItems());
}

void Menu::insertItem(std::shared_ptr<MenuItem> item, int index) {
    if (!item) {
        return;
    }
    fillIfPending();
    if (item->menu_ && item->menu_ != this) {
        item->menu_->removeItem(*item);
    }
    attach(*item);
    index = std::clamp(index, 0, numberOfItems());
    if (items_.capacity() == 0) {
        // Menus hold several items: one allocation instead of growing 1, 2, 4.
        items_.reserve(8);
    }
    items_.insert(items_.begin() + index, std::move(item));
    if (session_) {
        session_->itemsChanged();
    }
}

void Menu::removeItem(const MenuItem& item) {
    fillIfPending();
    auto it =
        std::find_if(items_.begin(), items_.end(), [&](const auto& i) { return i.get() == &item; });
    if (it == items_.end()) {
        return;
    }
    auto keep = *it;
    items_.erase(it);
    detach(*keep);
    if (session_) {
        session_->itemsChanged();
    }
}

void Menu::removeAllItems() {
    pendingFill_ = nullptr;
    auto old = std::move(items_);
    items_.clear();
    for (auto& item : old) {
        detach(*item);
    }
    if (session_) {
        session_->itemsChanged();
    }
}

void Menu::cancelTracking() {
    endTracking(true);
}

void Menu::cancelTrackingWithoutAnimation() {
    endTracking(false);
}

void Menu::endTracking(bool animated) {
    if (session_) {
        session_->close(animated);
    } else if (open_) {
        didClose();
    }
}

void Menu::itemChanged(MenuItem& item) {
    if (session_) {
        session_->itemChanged(item);
    }
}

void Menu::willOpen(MenuSession* session) {
    session_ = session;
    open_ = true;
    auto keep = weak_from_this().lock();
    if (auto d = delegate()) {
        d->menuWillOpen(*this);
    }
}

void Menu::didClose() {
    if (!open_) {
        return;
    }
    open_ = false;
    session_ = nullptr;
    auto keep = weak_from_this().lock();
    if (auto d = delegate()) {
        d->menuDidClose(*this);
    }
}

void drawMenuItemHighlight(GraphicsContext& context, const Rect& rowBounds) {
    const Color accent = Color::system(SystemColor::ControlAccent);
    const Rect shape = rowBounds.insetBy(6, 3);
    context.fillRoundedRect(shape, 8, accent.withAlphaComponent(0.10));
    context.strokeRoundedRect(shape, 8, accent.withAlphaComponent(0.16), 0.6);
}

}  // namespace corvix
