#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/Observers.h"
#include "platform/ui/Event.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Layer.h"
#include "platform/ui/TrackingArea.h"

namespace corvix {

class GraphicsContext;
class Window;

enum AutoresizingMask : unsigned {
    AutoresizeNone = 0,
    AutoresizeMinXMargin = 1u << 0,
    AutoresizeWidthSizable = 1u << 1,
    AutoresizeMaxXMargin = 1u << 2,
    AutoresizeMinYMargin = 1u << 3,
    AutoresizeHeightSizable = 1u << 4,
    AutoresizeMaxYMargin = 1u << 5,
};

enum class AccessibilityRole {
    None,
    Group,
    Button,
    CheckBox,
    Slider,
    Stepper,
    StaticText,
    Image,
    ColorWell,
    RadioGroup,
    ScrollArea,
    MenuItem,
};

/// An accessibility value: none, a number (a switch's 1 or 0) or a text.
using AccessibilityValue = std::variant<std::monostate, double, std::string>;

/// What a view tells assistive technologies about a change they cannot see coming.
enum class AccessibilityNotification {
    /// The value changed by a key or an accessibility action, so a screen reader says it.
    ValueChanged,
};

enum class SubviewPosition { Below, Above };

/// A rectangle of the user interface in a tree of views. `frame` is in the superview's
/// coordinates (y up from the bottom left unless the superview is flipped); `bounds` is the
/// view's own coordinate system. Views are shared by pointer; a superview owns its subviews.
/// Main thread only.
class View : public std::enable_shared_from_this<View> {
  public:
    explicit View(Rect frame = {});
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // Geometry.
    Rect frame() const { return frame_; }
    void setFrame(const Rect& frame);
    void setFrameOrigin(Point origin);
    /// The override point for views that follow their size; resizes subviews by their masks.
    virtual void setFrameSize(Size size);
    Rect bounds() const { return {boundsOrigin_, frame_.size}; }
    /// Moves the bounds origin (how a clip view scrolls its document).
    void setBoundsOrigin(Point origin);
    /// Whether the view's coordinates start at the top left, y growing downwards.
    virtual bool isFlipped() const { return flipped_; }
    void setFlipped(bool flipped) { flipped_ = flipped; }
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    /// The part of the bounds not clipped away by the superviews.
    Rect visibleRect() const;

    // Hierarchy.
    View* superview() const { return superview_; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    void addSubview(std::shared_ptr<View> view);
    void addSubview(std::shared_ptr<View> view, SubviewPosition position, const View* relativeTo);
    void removeFromSuperview();
    bool isDescendantOf(const View& other) const;
    /// The window of the tree this view is in, or null.
    Window* window() const;
    /// Called after the view (or an ancestor) was attached to or detached from a window.
    virtual void viewDidMoveToWindow();

    // Conversion between this view's bounds and a superview's (null: the window's).
    Point convertFromSuperview(Point p) const;
    Point convertToSuperview(Point p) const;
    Point convertFromView(Point p, const View* view) const;
    Point convertToView(Point p, const View* view) const;
    Rect convertRectToView(const Rect& r, const View* view) const;

    // Display.
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool isHiddenOrHasHiddenAncestor() const;
    double alphaValue() const { return alpha_; }
    void setAlphaValue(double alpha);
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string toolTip) { toolTip_ = std::move(toolTip); }
    /// Asks for a redraw; counted so tests can tell whether a change redrew.
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    int displayRequestCount() const { return displayRequests_; }
    /// The backend calls this after drawing the view.
    void clearNeedsDisplay() { needsDisplay_ = false; }
    /// Draws the view's own content in its bounds coordinates; subviews draw themselves.
    virtual void draw(GraphicsContext& context, const Rect& dirtyRect);
    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    /// Places subviews and sublayers; runs before the next draw after `setNeedsLayout`.
    virtual void layout() {}
    /// Runs pending layout in this view and its subviews.
    void layoutSubtreeIfNeeded();
    /// The natural size; negative components when the view has none.
    virtual Size intrinsicContentSize() const { return {-1, -1}; }

    // Layer backing.
    bool wantsLayer() const { return layer_ != nullptr; }
    void setWantsLayer(bool wants);
    /// The backing layer; null unless the view wants a layer.
    Layer* layer() const { return layer_.get(); }

    // Events. Unhandled presses and keys go up the view chain; tracking events stop here.
    /// The deepest visible view under `p` (in the superview's coordinates), or null.
    virtual View* hitTest(Point p);
    virtual void mouseDown(const Event& event);
    virtual void mouseDragged(const Event& event);
    virtual void mouseUp(const Event& event);
    virtual void mouseMoved(const Event& event);
    virtual void mouseEntered(const Event& event);
    virtual void mouseExited(const Event& event);
    virtual void rightMouseDown(const Event& event);
    virtual void scrollWheel(const Event& event);
    virtual void keyDown(const Event& event);
    virtual void keyUp(const Event& event);
    /// Whether a click in an inactive window reaches this view instead of only activating
    /// (the click is delivered when the view or one of its ancestors accepts it).
    virtual bool acceptsFirstMouse(const Event& event) const;
    virtual bool acceptsFirstResponder() const { return false; }
    virtual bool becomeFirstResponder() { return true; }
    virtual bool resignFirstResponder() { return true; }
    /// The keyboard arrived at this view's menu row, going on (`forward`: down, Tab) or back. A
    /// view that keeps a keyboard focus of its own (a grid of tiles) gives it to one of its views
    /// and returns true; keys then reach that view before the menu until it lets the focus go.
    /// By default the subviews are offered it in order (last first going back).
    virtual bool acceptKeyboardEntry(bool forward);

    // Menu rows.
    /// Told, on the custom view of a menu item, when the open menu highlights the row or takes
    /// the highlight away (the keyboard's selection, or the pointer's in a menu).
    virtual void menuItemHighlightChanged(bool highlighted) { (void)highlighted; }
    /// Whether the view shows its menu item's highlight itself (as its hover look); when not,
    /// the menu draws its standard highlight behind the row.
    virtual bool drawsMenuItemHighlight() const { return false; }

    // Tracking areas.
    void addTrackingArea(std::shared_ptr<TrackingArea> area);
    void removeTrackingArea(const std::shared_ptr<TrackingArea>& area);
    const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const {
        return trackingAreas_;
    }
    /// Called when the view's geometry or window changed; views replace their areas here.
    virtual void updateTrackingAreas() {}
    /// Replaces the area `slot` holds (if any) by a new hover area over `rect`: entered and
    /// exited, active whatever window is key (a menu's never is), following the visible rect,
    /// plus `extraOptions`. What a hover look's `updateTrackingAreas` does.
    void replaceHoverTrackingArea(std::shared_ptr<TrackingArea>& slot, Rect rect,
                                  unsigned extraOptions = 0);

    // Accessibility.
    bool isAccessibilityElement() const { return accessibilityElement_; }
    void setAccessibilityElement(bool value) { accessibilityElement_ = value; }
    AccessibilityRole accessibilityRole() const { return accessibilityRole_; }
    void setAccessibilityRole(AccessibilityRole role) { accessibilityRole_ = role; }
    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
    virtual AccessibilityValue accessibilityValue() const { return accessibilityValue_; }
    void setAccessibilityValue(AccessibilityValue value) { accessibilityValue_ = std::move(value); }
    /// The value as a screen reader should say it ("1:42 of 3:34"); empty to say the value.
    virtual std::string accessibilityValueDescription() const { return {}; }
    /// Accessibility actions; false when the view does not support them.
    virtual bool accessibilityPerformPress() { return false; }
    virtual bool accessibilityPerformIncrement() { return false; }
    virtual bool accessibilityPerformDecrement() { return false; }
    /// Sets a numeric value as the user would, action included.
    virtual bool accessibilityPerformSetValue(double value) {
        (void)value;
        return false;
    }
    /// Tells whoever observes (the backend's bridge to assistive technologies) that this view
    /// changed. Main thread only; nothing happens without an observer.
    void postAccessibilityNotification(AccessibilityNotification notification);
    /// Observes the notifications every view posts, while the subscription lives.
    static Subscription observeAccessibilityNotifications(
        std::function<void(View&, AccessibilityNotification)> observer);

    /// Attaches the root of a tree to a window (or detaches with null). Used by Window and by
    /// backends that host a tree somewhere else (menu rows).
    void setHostWindow(Window* window);

  private:
    void windowChanged();
    void resizeSubviews(Size oldSize);

    Rect frame_;
    Point boundsOrigin_;
    bool flipped_ = false;
    unsigned autoresizingMask_ = AutoresizeNone;
    View* superview_ = nullptr;
    Window* hostWindow_ = nullptr;
    std::vector<std::shared_ptr<View>> subviews_;
    bool hidden_ = false;
    double alpha_ = 1;
    std::string toolTip_;
    bool needsDisplay_ = true;
    int displayRequests_ = 0;
    bool needsLayout_ = true;
    std::shared_ptr<Layer> layer_;
    std::vector<std::shared_ptr<TrackingArea>> trackingAreas_;
    bool accessibilityElement_ = false;
    AccessibilityRole accessibilityRole_ = AccessibilityRole::None;
    std::string accessibilityLabel_;
    AccessibilityValue accessibilityValue_;
};

}  // namespace corvix
