// Model windows as Qt top-level windows, offscreen.
#include <gtest/gtest.h>

#include <QApplication>

#include <QCloseEvent>
#include <QWidget>
#include "QtTestSupport.h"

#include "platform/PlatformServices.h"
#include "platform/qt/QtWindowSystem.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

void ensureApplication() {
    testing::app();
}

QWidget* topLevelTitled(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == title) {
            return w;
        }
    }
    return nullptr;
}

class QtWindowSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        previous = platformServices();
        PlatformServices services = previous;
        services.windows = &windows;
        installPlatformServices(services);
    }
    void TearDown() override { installPlatformServices(previous); }

    QtWindowSystem windows;
    PlatformServices previous;
};

TEST_F(QtWindowSystemTest, ATitledWindowThatCannotResizeHasAFixedSizeAndNoMaximise) {
    struct Case {
        unsigned style;
        bool fixed;
    };
    const Case cases[] = {
        {WindowStyleTitled | WindowStyleClosable | WindowStyleMiniaturizable, true},
        {WindowStyleTitled | WindowStyleClosable | WindowStyleResizable, false},
    };
    for (const Case& c : cases) {
        const QString title = c.fixed ? "Fixed window" : "Resizable window";
        Window window(Rect(100, 100, 360, 480), c.style);
        window.setTitle(title.toStdString());
        window.makeKeyAndOrderFront();
        QWidget* host = topLevelTitled(title);
        ASSERT_TRUE(host);
        EXPECT_TRUE(host->isVisible());
        EXPECT_EQ(host->size(), QSize(360, 480));
        EXPECT_EQ(host->minimumSize() == host->maximumSize(), c.fixed);
        const Qt::WindowFlags flags = host->windowFlags();
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        EXPECT_EQ(bool(flags & Qt::WindowMinimizeButtonHint), c.fixed);
        EXPECT_EQ(bool(flags & Qt::WindowMaximizeButtonHint), !c.fixed);
    }
}

TEST_F(QtWindowSystemTest, ClosingHidesAndOpeningAgainBringsAMinimisedWindowBack) {
    Window window(Rect(0, 0, 200, 100),
                  WindowStyleTitled | WindowStyleClosable | WindowStyleMiniaturizable);
    window.setTitle("Reopened window");
    int closes = 0;
    window.onClose = [&] { ++closes; };
    window.makeKeyAndOrderFront();
    QWidget* host = topLevelTitled("Reopened window");
    ASSERT_TRUE(host);

    QCloseEvent close;
    QCoreApplication::sendEvent(host, &close);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(host->isVisible());
    EXPECT_EQ(topLevelTitled("Reopened window"), host) << "closed, not destroyed";

    window.makeKeyAndOrderFront();
    host->setWindowState(host->windowState() | Qt::WindowMinimized);
    window.makeKeyAndOrderFront();
    EXPECT_TRUE(host->isVisible());
    EXPECT_FALSE(host->isMinimized());
}

TEST_F(QtWindowSystemTest, AFloatingPanelStaysOnTopWithoutTakingFocusOrATaskbarEntry) {
    Window window(Rect(100, 100, 195, 32), WindowStyleBorderless | WindowStyleNonactivatingPanel);
    window.setTitle("Floating panel");
    window.setLevel(WindowLevel::StatusBar);
    window.setCanJoinAllSpaces(true);
    window.setOpaque(false);
    window.orderFront();
    QWidget* host = topLevelTitled("Floating panel");
    ASSERT_TRUE(host);
    const Qt::WindowFlags flags = host->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    // A tool window is left out of task bars and window switchers.
    EXPECT_EQ(host->windowType(), Qt::Tool);
    EXPECT_FALSE(flags.testFlag(Qt::WindowTransparentForInput));  // it still takes clicks
    EXPECT_TRUE(host->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(host->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_FALSE(host->isActiveWindow());
    window.orderOut();
}

}  // namespace
}  // namespace corvix
