#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Workspace.h"
#include "platform/ui/Appearance.h"
#include "platform/ui/ColorWell.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"
#include "platform/ui/StatusItem.h"
#include "platform/ui/Window.h"

namespace corvix {

/// Screens set by the test; the pointer where the test puts it.
class HeadlessScreens final : public ScreenService {
  public:
    HeadlessScreens();
    std::vector<Screen> screens() const override { return list; }
    Point mouseLocation() const override { return pointer; }
    void setScreens(std::vector<Screen> screens) {
        list = std::move(screens);
        notifyScreensChanged();
    }

    std::vector<Screen> list;
    Point pointer;
};

/// Light until the test switches it; a switch notifies like the desktop would.
class HeadlessAppearance final : public AppearanceService {
  public:
    ColorScheme scheme() const override { return scheme_; }
    void setScheme(ColorScheme scheme);

  private:
    ColorScheme scheme_ = ColorScheme::Light;
};

/// Keeps every URL it was asked to open; while `opens` is false, no program opens them.
class RecordingWorkspace final : public Workspace {
  public:
    void openURL(const std::string& url, std::function<void()> failed) override {
        opened.push_back(url);
        if (!opens && failed) {
            failed();
        }
    }
    std::vector<std::string> opened;
    bool opens = true;
};

/// Reads the dimensions of PNG, GIF and JPEG data (no pixels); bitmap contexts record.
class HeadlessImageService final : public ImageService {
  public:
    ImagePtr decode(const std::vector<std::uint8_t>& data) override;
    std::unique_ptr<BitmapContext> makeBitmapContext(int pixelsWide, int pixelsHigh) override;
};

/// Keeps the status items it made.
class HeadlessStatusBar final : public StatusBar {
  public:
    std::shared_ptr<StatusItem> statusItem(double length) override;
    void removeStatusItem(const std::shared_ptr<StatusItem>& item) override;
    std::vector<std::shared_ptr<StatusItem>> items;
};

/// Remembers the colour chooser request so a test can pick a colour.
class RecordingColorPanel final : public ColorPanel {
  public:
    void show(const Color& initial, std::function<void(const Color&)> onPick) override {
        shownWith = initial;
        pick = std::move(onPick);
    }
    std::optional<Color> shownWith;
    std::function<void(const Color&)> pick;
};

/// Synthesises pointer and key events for a window or an event router, in window coordinates.
class EventDriver {
  public:
    explicit EventDriver(EventRouter& router) : router_(router) {}
    explicit EventDriver(Window& window) : router_(window.router()) {}

    void moveTo(Point p);
    void press(Point p);
    void drag(Point p);
    void release(Point p);
    /// Press and release at `p` (the pointer moves there first).
    void click(Point p);
    void key(KeyCode code, std::string characters = {}, unsigned modifiers = ModifierNone);
    void scroll(Point p, double dx, double dy);
    void leave() { router_.pointerLeft(); }

  private:
    void send(EventType type, Point p);
    EventRouter& router_;
};

/// A window's point (window coordinates) at `p` in `view`'s own coordinates.
Point windowPoint(const View& view, Point p);

}  // namespace corvix
