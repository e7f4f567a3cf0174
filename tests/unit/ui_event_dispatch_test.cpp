#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/HeadlessUi.h"
#include "platform/ui/Button.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

// Logs what reaches it.
class Probe : public View {
  public:
    Probe(Rect frame, std::vector<std::string>& log, std::string name, bool firstMouse = true)
        : View(frame), log_(log), name_(std::move(name)), firstMouse_(firstMouse) {}
    void mouseDown(const Event& e) override { note("down", e); }
    void mouseDragged(const Event& e) override { note("drag", e); }
    void mouseUp(const Event& e) override { note("up", e); }
    void mouseEntered(const Event&) override { log_.push_back(name_ + " enter"); }
    void mouseExited(const Event&) override { log_.push_back(name_ + " exit"); }
    void keyDown(const Event& e) override { log_.push_back(name_ + " key " + e.characters); }
    bool acceptsFirstMouse(const Event&) const override { return firstMouse_; }
    bool acceptsFirstResponder() const override { return true; }
    void updateTrackingAreas() override {
        for (auto& a : std::vector(trackingAreas())) {
            removeTrackingArea(a);
        }
        addTrackingArea(std::make_shared<TrackingArea>(
            Rect{}, TrackingMouseEnteredAndExited | TrackingActiveAlways | TrackingInVisibleRect));
    }

  private:
    void note(const char* what, const Event& e) {
        Point p = convertFromView(e.locationInWindow, nullptr);
        log_.push_back(name_ + " " + what + " " + std::to_string(int(p.x)) + "," +
                       std::to_string(int(p.y)));
    }
    std::vector<std::string>& log_;
    std::string name_;
    bool firstMouse_;
};

class FlippedView : public View {
  public:
    using View::View;
    bool isFlipped() const override { return true; }
};

// The press, drag and release entries of a log.
std::vector<std::string> presses(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const auto& s : log) {
        if (s.find("enter") == std::string::npos && s.find("exit") == std::string::npos) {
            out.push_back(s);
        }
    }
    return out;
}

struct Fixture {
    std::vector<std::string> log;
    std::shared_ptr<Window> window;
    explicit Fixture(unsigned style = WindowStyleBorderless)
        : window(std::make_shared<Window>(Rect(0, 0, 200, 100), style)) {}
    EventDriver driver() { return EventDriver(*window); }
};

TEST(EventDispatchTest, HitTestingHonoursFlippedSuperviews) {
    Fixture f;
    auto flipped = std::make_shared<FlippedView>(Rect(0, 0, 200, 100));
    // At the top of a flipped superview: y 0..20 from the top.
    auto top = std::make_shared<Probe>(Rect(10, 0, 50, 20), f.log, "top");
    flipped->addSubview(top);
    f.window->contentView()->addSubview(flipped);
    auto d = f.driver();
    d.press({20, 90});  // window y 90 is near the top
    d.release({20, 90});
    d.press({20, 5});  // near the bottom: nothing there
    d.release({20, 5});
    EXPECT_EQ(presses(f.log), (std::vector<std::string>{"top down 10,10", "top up 10,10"}));
    EXPECT_EQ(top->convertToView({0, 0}, nullptr), (Point{10, 80}));  // its bottom left
}

TEST(EventDispatchTest, ThePressOwnerGetsDragsAndReleaseEvenOutside) {
    Fixture f;
    auto a = std::make_shared<Probe>(Rect(0, 0, 50, 50), f.log, "a");
    auto b = std::make_shared<Probe>(Rect(100, 0, 50, 50), f.log, "b");
    f.window->contentView()->addSubview(a);
    f.window->contentView()->addSubview(b);
    auto d = f.driver();
    d.press({10, 10});
    d.drag({120, 10});
    d.release({120, 10});
    EXPECT_EQ(presses(f.log),
              (std::vector<std::string>{"a down 10,10", "a drag 120,10", "a up 120,10"}));
}

TEST(EventDispatchTest, TrackingAreasReportEnterAndExitOnce) {
    Fixture f;
    auto a = std::make_shared<Probe>(Rect(0, 0, 50, 50), f.log, "a");
    f.window->contentView()->addSubview(a);
    auto d = f.driver();
    d.moveTo({10, 10});
    d.moveTo({20, 20});
    d.moveTo({80, 20});
    d.moveTo({10, 10});
    d.leave();
    EXPECT_EQ(f.log, (std::vector<std::string>{"a enter", "a exit", "a enter", "a exit"}));
}

TEST(EventDispatchTest, HiddenViewsTakeNoEventsAndTrackNothing) {
    Fixture f;
    auto a = std::make_shared<Probe>(Rect(0, 0, 50, 50), f.log, "a");
    f.window->contentView()->addSubview(a);
    a->setHidden(true);
    f.driver().click({10, 10});
    EXPECT_TRUE(f.log.empty());
}

TEST(EventDispatchTest, InactiveWindowDeliversOnlyToFirstMouseViews) {
    for (bool firstMouse : {true, false}) {
        Fixture f(WindowStyleTitled);
        auto a = std::make_shared<Probe>(Rect(0, 0, 50, 50), f.log, "a", firstMouse);
        f.window->contentView()->addSubview(a);
        f.driver().press({10, 10});
        EXPECT_EQ(!f.log.empty() && f.log.back() == "a down 10,10", firstMouse);
        EXPECT_TRUE(f.window->isKeyWindow());  // the click activated it either way
    }
}

TEST(EventDispatchTest, KeysGoToTheFirstResponderAndUpTheChain) {
    Fixture f(WindowStyleTitled);
    auto outer = std::make_shared<Probe>(Rect(0, 0, 100, 100), f.log, "outer");
    auto inner = std::make_shared<View>(Rect(0, 0, 10, 10));
    outer->addSubview(inner);
    f.window->contentView()->addSubview(outer);
    f.window->makeFirstResponder(outer.get());
    f.driver().key(KeyCode::Other, "x");
    EXPECT_EQ(f.log.back(), "outer key x");
    // A plain view refuses first responder.
    EXPECT_FALSE(f.window->makeFirstResponder(inner.get()));
    outer->removeFromSuperview();
    EXPECT_EQ(f.window->firstResponder(), nullptr);
}

TEST(EventDispatchTest, KeysAndWheelsNoViewTakesAreReportedSoTheHostMayUseThem) {
    Fixture f(WindowStyleTitled);
    auto slider = std::make_shared<Slider>(Rect(0, 0, 100, 20));
    f.window->contentView()->addSubview(slider);
    Event key;
    key.type = EventType::KeyDown;
    // Without a first responder nothing takes a key.
    key.keyCode = KeyCode::UpArrow;
    EXPECT_FALSE(f.window->sendEvent(key));
    ASSERT_TRUE(f.window->makeFirstResponder(slider.get()));
    EXPECT_TRUE(f.window->sendEvent(key));  // the slider steps
    key.keyCode = KeyCode::Escape;
    EXPECT_FALSE(f.window->sendEvent(key));  // up the chain, past the content view
    Event wheel;
    wheel.type = EventType::ScrollWheel;
    wheel.locationInWindow = {10, 10};
    wheel.scrollDeltaY = 4;
    EXPECT_FALSE(f.window->sendEvent(wheel));
}

TEST(EventDispatchTest, ButtonSendsOnlyOnAReleaseInside) {
    Fixture f;
    auto button = Button::push("Go");
    button->setFrame({0, 0, 80, 24});
    f.window->contentView()->addSubview(button);
    int sent = 0;
    auto target = ButtonTarget::make([&] { ++sent; });
    button->setTarget(target);
    auto d = f.driver();
    d.press({10, 10});
    EXPECT_TRUE(button->isHighlighted());
    d.drag({150, 10});
    EXPECT_FALSE(button->isHighlighted());
    d.release({150, 10});
    EXPECT_EQ(sent, 0);
    d.click({10, 10});
    EXPECT_EQ(sent, 1);
}

TEST(EventDispatchTest, SliderSendsContinuouslyOrOnlyOnRelease) {
    for (bool continuous : {true, false}) {
        Fixture f(WindowStyleTitled);
        f.window->makeKeyWindow();  // a plain slider takes no first click
        auto slider = Slider::make(0, 0, 100);
        slider->setFrame({0, 0, 116, 22});  // 100 points of travel after the knob
        slider->setContinuous(continuous);
        f.window->contentView()->addSubview(slider);
        std::vector<double> values;
        auto target = ButtonTarget::make([&] { values.push_back(slider->doubleValue()); });
        slider->setTarget(target);
        auto d = f.driver();
        d.press({18, 10});
        d.drag({58, 10});
        d.drag({500, 10});
        d.release({33, 10});
        if (continuous) {
            EXPECT_EQ(values, (std::vector<double>{10, 50, 100, 25}));
        } else {
            EXPECT_EQ(values, (std::vector<double>{25}));
        }
    }
}

// A menu that refuses to close while told to stay open.
class StickyMenu : public Menu {
  public:
    bool stay = false;
    void cancelTracking() override {
        if (!stay) {
            Menu::cancelTracking();
        }
    }
};

class RecordingSession : public MenuSession {
  public:
    explicit RecordingSession(Menu& m) : menu(m) {}
    void close(bool) override {
        ++closes;
        menu.didClose();
    }
    void itemChanged(MenuItem& item) override { changed.push_back(item.title()); }
    void itemsChanged() override {}
    Menu& menu;
    int closes = 0;
    std::vector<std::string> changed;
};

TEST(MenuTest, OverriddenCancelTrackingCanVetoClosing) {
    auto menu = std::make_shared<StickyMenu>();
    RecordingSession session(*menu);
    menu->willOpen(&session);
    menu->stay = true;
    menu->cancelTracking();
    EXPECT_TRUE(menu->isOpen());
    menu->stay = false;
    menu->cancelTracking();
    EXPECT_FALSE(menu->isOpen());
    EXPECT_EQ(session.closes, 1);
}

TEST(MenuTest, ItemChangesReachTheOpenSession) {
    auto menu = std::make_shared<Menu>();
    auto item = MenuItem::make("A");
    menu->addItem(item);
    auto sub = std::make_shared<Menu>();
    item->setSubmenu(sub);
    EXPECT_EQ(sub->supermenu(), menu.get());
    RecordingSession session(*menu);
    menu->willOpen(&session);
    item->setTitle("B");
    item->setView(std::make_shared<View>(Rect(0, 0, 326, 30)));
    EXPECT_EQ(session.changed, (std::vector<std::string>{"B", "B"}));
    menu->removeAllItems();
    EXPECT_EQ(item->menu(), nullptr);
    EXPECT_EQ(sub->supermenu(), nullptr);
}

}  // namespace
}  // namespace corvix
