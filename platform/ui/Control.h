#pragma once

#include <memory>

#include "platform/ui/Font.h"
#include "platform/ui/View.h"

namespace corvix {

/// Anything that sends actions: controls and menu items.
class ActionSender {
  public:
    virtual ~ActionSender() = default;
};

/// The receiving end of a control's action.
class ActionTarget {
  public:
    virtual ~ActionTarget() = default;
    virtual void invoke(ActionSender& sender) = 0;
};

enum class ControlSize { Regular, Small, Mini, Large };

/// A view that sends an action to a target. The target is held weakly: once its owner lets it
/// go the control sends nothing, so owners keep their targets alive (see ButtonTarget).
class Control : public View, public ActionSender {
  public:
    explicit Control(Rect frame = {}) : View(frame) {}

    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    void setTarget(const std::shared_ptr<ActionTarget>& target) { target_ = target; }
    std::shared_ptr<ActionTarget> target() const { return target_.lock(); }
    /// Sends the action to the target; false when there is none (or it is gone).
    bool sendAction();
    /// Whether the action is sent while the user drags, not only at release.
    bool isContinuous() const { return continuous_; }
    void setContinuous(bool continuous) { continuous_ = continuous; }
    ControlSize controlSize() const { return controlSize_; }
    void setControlSize(ControlSize size);
    const Font& font() const { return font_; }
    void setFont(Font font);
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    /// True between a mouse down in the control and the matching mouse up.
    bool isTracking() const { return tracking_; }

  protected:
    void setTracking(bool tracking) { tracking_ = tracking; }

  private:
    bool enabled_ = true;
    std::weak_ptr<ActionTarget> target_;
    bool continuous_ = false;
    ControlSize controlSize_ = ControlSize::Regular;
    Font font_ = Font::system(13);
    int tag_ = 0;
    bool tracking_ = false;
};

}  // namespace corvix
