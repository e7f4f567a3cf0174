#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "menu/StayOpenSlider.h"
#include "menu/StayOpenStepper.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

/// A root menu with one submenu whose popup window is open at `kSubmenuFrame`.
class MenuStayOpenTest : public ::testing::Test {
  protected:
    static constexpr Rect kSubmenuFrame{600, 400, 326, 120};

    void SetUp() override {
        previous_ = platformServices();
        PlatformServices services = previous_;
        services.screens = &screens;
        installPlatformServices(services);

        auto parent = MenuItem::make("Kitchen");
        parent->setSubmenu(submenu);
        root->addItem(parent);
        submenu->addItem(MenuItem::separator());  // no view: not what places the window
        submenu->addItem(rowWithView("Ceiling"));
        submenu->addItem(rowWithView("Counter"));
        hostInWindow(*submenu, kSubmenuFrame);
        root->willOpen(nullptr);
    }
    void TearDown() override { installPlatformServices(previous_); }

    static std::shared_ptr<MenuItem> rowWithView(std::string title) {
        auto item = MenuItem::make(std::move(title));
        item->setView(std::make_shared<View>(Rect(0, 0, 326, 30)));
        return item;
    }
    /// Shows the menu's row views in one visible popup window, as the backend does.
    std::shared_ptr<Window> hostInWindow(Menu& menu, Rect frame) {
        auto window = std::make_shared<Window>(frame, WindowStyleBorderless);
        window->orderFront();
        for (const auto& item : menu.itemArray()) {
            if (item->view()) {
                item->view()->setHostWindow(window.get());
            }
        }
        windows_.push_back(window);
        return window;
    }
    void pointAt(Point p) { screens.pointer = p; }

    HeadlessScreens screens;
    // Before the menus: the row views point at their windows until the menus are gone.
    std::vector<std::shared_ptr<Window>> windows_;
    std::shared_ptr<StayOpenMenu> root = StayOpenMenu::make();
    std::shared_ptr<StayOpenMenu> submenu = StayOpenMenu::make();

  private:
    PlatformServices previous_;
};

TEST_F(MenuStayOpenTest, ThePointerNearAnOpenSubmenuKeepsTheMenuOpen) {
    const double left = kSubmenuFrame.minX();
    const double top = kSubmenuFrame.maxY();
    const double middleY = kSubmenuFrame.midY();
    const struct {
        const char* where;
        Point pointer;
        bool staysOpen;
    } cases[] = {
        {"inside", {left + 10, middleY}, true},
        {"5 points left", {left - 5, middleY}, true},
        {"8 points left", {left - 8, middleY}, true},
        {"9 points left", {left - 9, middleY}, false},
        {"5 points above", {left + 10, top + 5}, true},
        {"9 points above", {left + 10, top + 9}, false},
        {"far away", {10, 10}, false},
    };
    for (bool animated : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.where << (animated ? " animated" : ""));
            root->willOpen(nullptr);
            pointAt(c.pointer);
            if (animated) {
                root->cancelTracking();
            } else {
                root->cancelTrackingWithoutAnimation();
            }
            EXPECT_EQ(root->isOpen(), c.staysOpen);
        }
    }
}

TEST_F(MenuStayOpenTest, OpenSubmenusAreCollectedThroughStayOpenSubmenusOnly) {
    auto nested = StayOpenMenu::make();
    nested->addItem(rowWithView("Dimmer"));
    submenu->itemAt(1)->setSubmenu(nested);
    hostInWindow(*nested, Rect(930, 380, 326, 60));

    auto plain = std::make_shared<Menu>();
    plain->addItem(rowWithView("Other"));
    auto plainParent = MenuItem::make("Other");
    plainParent->setSubmenu(plain);
    root->addItem(plainParent);
    hostInWindow(*plain, Rect(100, 100, 326, 30));

    auto hidden = StayOpenMenu::make();
    hidden->addItem(rowWithView("Hidden"));
    auto hiddenParent = MenuItem::make("Hidden");
    hiddenParent->setSubmenu(hidden);
    root->addItem(hiddenParent);
    hostInWindow(*hidden, Rect(100, 600, 326, 30))->orderOut();

    EXPECT_EQ(root->openSubmenuWindowFrames(),
              (std::vector<Rect>{kSubmenuFrame, Rect(930, 380, 326, 60)}));

    pointAt({1260, 400});  // 4 points right of the nested submenu
    root->cancelTracking();
    EXPECT_TRUE(root->isOpen());
    pointAt({110, 110});  // over the plain submenu: not searched
    root->cancelTracking();
    EXPECT_FALSE(root->isOpen());
}

TEST_F(MenuStayOpenTest, ASubmenuWaitingForItsRowsIsFilledOnceWhenFirstAskedAndNeverByTracking) {
    int fills = 0;
    auto lazy = StayOpenMenu::make();
    lazy->fillWhenNeeded([&](Menu& menu) {
        ++fills;
        menu.addItem(rowWithView("Lamp"));
        menu.addItem(rowWithView("Fan"));
    });
    auto parent = MenuItem::make("Den");
    parent->setSubmenu(lazy);
    root->addItem(parent);

    // Ending tracking looks for open submenus: one not filled has never been shown.
    pointAt({10, 10});
    root->isTrackingSuspended = true;
    root->cancelTracking();
    root->isTrackingSuspended = false;
    EXPECT_EQ(root->openSubmenuWindowFrames(), std::vector<Rect>{kSubmenuFrame});
    EXPECT_EQ(fills, 0);
    EXPECT_TRUE(lazy->hasPendingFill());

    // Adding fills first, so the filled rows keep their place.
    lazy->addItem(rowWithView("Extra"));
    EXPECT_EQ(fills, 1);
    EXPECT_EQ(testing::outline(*lazy), (std::vector<std::string>{"Lamp", "Fan", "Extra"}));
    EXPECT_EQ(lazy->numberOfItems(), 3);
    EXPECT_EQ(fills, 1);

    // Emptied before it was ever filled: the fill is dropped.
    auto dropped = StayOpenMenu::make();
    dropped->fillWhenNeeded([&](Menu& menu) {
        ++fills;
        menu.addItem(rowWithView("Gone"));
    });
    dropped->removeAllItems();
    EXPECT_FALSE(dropped->hasPendingFill());
    EXPECT_EQ(dropped->itemAt(0), nullptr);
    EXPECT_EQ(fills, 1);
}

TEST_F(MenuStayOpenTest, ASuspendedMenuIgnoresRequestsToClose) {
    pointAt({10, 10});
    root->isTrackingSuspended = true;
    root->cancelTracking();
    root->cancelTrackingWithoutAnimation();
    EXPECT_TRUE(root->isOpen());
    root->isTrackingSuspended = false;
    root->cancelTracking();
    EXPECT_FALSE(root->isOpen());
}

TEST_F(MenuStayOpenTest, WithoutAPointerTheMenuCloses) {
    PlatformServices services = platformServices();
    services.screens = nullptr;
    installPlatformServices(services);
    root->cancelTracking();
    EXPECT_FALSE(root->isOpen());
}

TEST_F(MenuStayOpenTest, ADraggedSliderKeepsTheMenuOpenUntilReleased) {
    pointAt({10, 10});
    auto slider = std::make_shared<StayOpenSlider>(Rect(0, 0, 174, 22));
    slider->setMaxValue(100);
    slider->stayOpenMenu = root;
    EXPECT_TRUE(slider->acceptsFirstMouse(Event{}));
    EventRouter router;
    router.setRoot(slider);
    EventDriver pointer(router);

    pointer.press({20, 10});
    root->cancelTracking();
    EXPECT_TRUE(root->isOpen());
    pointer.drag({150, 10});
    root->cancelTracking();
    EXPECT_TRUE(root->isOpen());
    EXPECT_GT(slider->doubleValue(), 50);

    pointer.release({150, 10});
    EXPECT_FALSE(root->isTrackingSuspended);
    root->cancelTracking();
    EXPECT_FALSE(root->isOpen());
}

TEST_F(MenuStayOpenTest, AControlDroppedMidPressLiftsTheSuspension) {
    auto slider = std::make_shared<StayOpenSlider>(Rect(0, 0, 174, 22));
    slider->stayOpenMenu = root;
    {
        EventRouter router;
        router.setRoot(slider);
        EventDriver(router).press({20, 10});
    }
    EXPECT_TRUE(root->isTrackingSuspended);
    slider.reset();  // a rebuild dropped the row before the release
    EXPECT_FALSE(root->isTrackingSuspended);

    auto stepper = std::make_shared<StayOpenStepper>(Rect(0, 0, 26, 24));
    stepper->stayOpenMenu = root;
    Window window(Rect(0, 0, 26, 24), WindowStyleBorderless);
    stepper->setHostWindow(&window);
    EventRouter router;
    router.setRoot(stepper);
    EventDriver(router).press({13, 20});
    EXPECT_TRUE(root->isTrackingSuspended);
    stepper->setHostWindow(nullptr);  // the menu closed under the press
    EXPECT_FALSE(root->isTrackingSuspended);
}

TEST_F(MenuStayOpenTest, AHeldStepperKeepsTheMenuOpenAndSteps) {
    pointAt({10, 10});
    auto stepper = std::make_shared<StayOpenStepper>(Rect(0, 0, 26, 24));
    stepper->setMinValue(5);
    stepper->setMaxValue(35);
    stepper->setIncrement(0.5);
    stepper->setDoubleValue(22);
    stepper->stayOpenMenu = root;
    EventRouter router;
    router.setRoot(stepper);
    EventDriver pointer(router);

    pointer.press({13, 20});
    EXPECT_EQ(stepper->doubleValue(), 22.5);
    root->cancelTracking();
    EXPECT_TRUE(root->isOpen());
    pointer.release({13, 20});
    root->cancelTracking();
    EXPECT_FALSE(root->isOpen());
}

}  // namespace
}  // namespace corvix
