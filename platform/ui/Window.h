#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/EventRouter.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Transaction.h"
#include "platform/ui/View.h"

namespace corvix {

enum WindowStyle : unsigned {
    WindowStyleBorderless = 0,
    WindowStyleTitled = 1u << 0,
    WindowStyleClosable = 1u << 1,
    WindowStyleMiniaturizable = 1u << 2,
    WindowStyleResizable = 1u << 3,
    WindowStyleNonactivatingPanel = 1u << 7,
    WindowStyleFullSizeContentView = 1u << 15,
};

/// Stacking levels; higher levels stay above lower ones.
enum class WindowLevel : int { Normal = 0, Floating = 3, StatusBar = 25, PopUpMenu = 101 };

struct WindowAnimation {
    double duration = 0.2;  // seconds
    TimingFunction timing = TimingFunction::defaultCurve();
    bool operator==(const WindowAnimation&) const = default;
};

class Window;

/// The backend's side of one window: told about every change of the model window.
class WindowPeer {
  public:
    virtual ~WindowPeer() = default;
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    virtual void frameChanged(const Rect& frame, const std::optional<WindowAnimation>& anim) = 0;
    /// Style, level, title, background, content view or collection behaviour changed.
    virtual void propertiesChanged() = 0;
    virtual void setNeedsDisplay() = 0;
    virtual void makeKey() = 0;
};

/// Makes peers for windows; provided by the backend (none headless: windows then only keep
/// their model state).
class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    virtual std::unique_ptr<WindowPeer> makePeer(Window& window) = 0;
    /// Whether the program may place its own windows and keep them above the others (a
    /// Wayland compositor allows neither).
    virtual bool canPlaceFloatingWindows() const { return true; }
};

/// A top-level window: style, level, frame in screen coordinates (y up from the bottom of the
/// primary screen), content view, key state and first responder. Events from the backend come
/// in through `sendEvent`. Main thread only.
class Window : public std::enable_shared_from_this<Window> {
  public:
    Window(Rect contentRect, unsigned style);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    unsigned style() const { return style_; }
    void setStyle(unsigned style);
    WindowLevel level() const { return level_; }
    void setLevel(WindowLevel level);
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    /// Shown on every virtual desktop.
    bool canJoinAllSpaces() const { return allSpaces_; }
    void setCanJoinAllSpaces(bool value);
    std::optional<Color> backgroundColor() const { return background_; }
    void setBackgroundColor(std::optional<Color> color);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque);
    bool hasShadow() const { return shadow_; }
    void setHasShadow(bool shadow);
    bool ignoresMouseEvents() const { return ignoresMouse_; }
    void setIgnoresMouseEvents(bool value);

    Rect frame() const { return frame_; }
    /// Sets the frame at once; with an animation the backend moves the window there over time.
    void setFrame(const Rect& frame, std::optional<WindowAnimation> animation = std::nullopt);
    /// Moves the window to the middle of the main screen's visible area (keeping its size).
    void center();
    /// The animation of the latest frame change, if it had one.
    const std::optional<WindowAnimation>& lastFrameAnimation() const { return lastAnimation_; }

    const std::shared_ptr<View>& contentView() const { return contentView_; }
    /// The content view fills the window and follows its size.
    void setContentView(std::shared_ptr<View> view);

    bool isVisible() const { return visible_; }
    void orderFront();
    void orderOut();
    void makeKeyAndOrderFront();
    bool isKeyWindow() const { return key_; }
    /// Titled windows become key; borderless ones and menu windows only when allowed.
    virtual bool canBecomeKeyWindow() const;
    void makeKeyWindow();
    /// The backend reports activation changes here.
    void setKeyState(bool key);

    View* firstResponder() const { return firstResponder_.lock().get(); }
    /// Makes `view` (or the window itself, for null) the first responder; false when refused.
    bool makeFirstResponder(View* view);

    /// A raw event at a point in window coordinates.
    bool sendEvent(const Event& event);
    EventRouter& router() { return router_; }

    /// Called when the user closes the window.
    std::function<void()> onClose;
    void performClose();

    // Notifications from the view tree.
    void viewNeedsDisplay(View& view);
    void viewWillBeRemoved(View& view);

    WindowPeer* peer() const { return peer_.get(); }
    /// Attaches a backend peer (done on the first order-front when a window system is
    /// installed).
    void setPeer(std::unique_ptr<WindowPeer> peer);

  private:
    void ensurePeer();
    void propertiesChanged();

    unsigned style_;
    WindowLevel level_ = WindowLevel::Normal;
    std::string title_;
    bool allSpaces_ = false;
    std::optional<Color> background_;
    bool opaque_ = true;
    bool shadow_ = true;
    bool ignoresMouse_ = false;
    Rect frame_;
    std::optional<WindowAnimation> lastAnimation_;
    std::shared_ptr<View> contentView_;
    bool visible_ = false;
    bool key_ = false;
    std::weak_ptr<View> firstResponder_;
    EventRouter router_;
    std::unique_ptr<WindowPeer> peer_;
};

}  // namespace corvix
