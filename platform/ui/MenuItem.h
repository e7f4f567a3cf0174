#pragma once

#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/Control.h"
#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace corvix {

class GraphicsContext;
class Menu;

/// One row of a menu: a title, or a custom view that sets the row's size, a submenu, or a
/// separator. Changes notify the menu ("item changed") so an open menu re-measures the row.
class MenuItem : public std::enable_shared_from_this<MenuItem>, public ActionSender {
  public:
    explicit MenuItem(std::string title = {}) : title_(std::move(title)) {}
    static std::shared_ptr<MenuItem> make(std::string title) {
        return std::make_shared<MenuItem>(std::move(title));
    }
    static std::shared_ptr<MenuItem> separator();

    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool isSeparatorItem() const { return separator_; }
    const std::shared_ptr<View>& view() const { return view_; }
    void setView(std::shared_ptr<View> view);
    const std::shared_ptr<Menu>& submenu() const { return submenu_; }
    void setSubmenu(std::shared_ptr<Menu> submenu);
    bool hasSubmenu() const { return submenu_ != nullptr; }
    const ImagePtr& image() const { return image_; }
    void setImage(ImagePtr image);
    ControlState state() const { return state_; }
    void setState(ControlState state);
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string toolTip) { toolTip_ = std::move(toolTip); }
    /// Held weakly, like a control's target.
    void setTarget(const std::shared_ptr<ActionTarget>& target) { target_ = target; }
    std::shared_ptr<ActionTarget> target() const { return target_.lock(); }
    /// What choosing the item does: sends the action when enabled; false when nothing was sent.
    bool performAction();

    /// Whether the open menu shows the row highlighted (the keyboard's or the pointer's
    /// selection). Set by the backend; the custom view is told of every change.
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);

    /// The menu the item is in, or null.
    Menu* menu() const { return menu_; }

  private:
    friend class Menu;
    void changed();

    std::string title_;
    bool enabled_ = true;
    bool hidden_ = false;
    bool separator_ = false;
    bool highlighted_ = false;
    std::shared_ptr<View> view_;
    std::shared_ptr<Menu> submenu_;
    ImagePtr image_;
    ControlState state_ = ControlState::Off;
    std::string toolTip_;
    std::weak_ptr<ActionTarget> target_;
    Menu* menu_ = nullptr;
};

/// The standard look of a highlighted row whose view has no hover look of its own: an action
/// row's hover (the accent colour at 10% fill and 16% stroke, corner radius 8, inset 6 by 3).
void drawMenuItemHighlight(GraphicsContext& context, const Rect& rowBounds);

}  // namespace corvix
