#include <gtest/gtest.h>

#include "platform/ui/StackView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

class FlippedStack : public StackView {
  public:
    using StackView::StackView;
    bool isFlipped() const override { return true; }
};

TEST(StackViewTest, ViewsRunTopDownAcrossTheWidthAtTheirOwnHeights) {
    for (bool flipped : {false, true}) {
        SCOPED_TRACE(flipped ? "flipped" : "not flipped");
        std::shared_ptr<StackView> stack = flipped
                                               ? std::make_shared<FlippedStack>(Rect(0, 0, 200, 0))
                                               : std::make_shared<StackView>(Rect(0, 0, 200, 0));
        stack->setSpacing(4);
        auto a = std::make_shared<View>(Rect(10, 10, 50, 30));
        auto b = std::make_shared<View>(Rect(0, 0, 80, 10));
        auto c = std::make_shared<View>(Rect(0, 0, 20, 20));
        for (const auto& v : {a, b, c}) {
            stack->addArrangedSubview(v);
        }
        EXPECT_EQ(stack->fittingSize(), (Size{200, 30 + 10 + 20 + 2 * 4}));
        stack->setFrameSize(stack->fittingSize());
        stack->layoutSubtreeIfNeeded();
        if (flipped) {
            EXPECT_EQ(a->frame(), Rect(0, 0, 200, 30));
            EXPECT_EQ(b->frame(), Rect(0, 34, 200, 10));
            EXPECT_EQ(c->frame(), Rect(0, 48, 200, 20));
        } else {
            EXPECT_EQ(a->frame(), Rect(0, 38, 200, 30));
            EXPECT_EQ(b->frame(), Rect(0, 24, 200, 10));
            EXPECT_EQ(c->frame(), Rect(0, 0, 200, 20));
        }
    }
}

TEST(StackViewTest, AWindowTakesItsContentControllersPreferredSize) {
    class Content : public ViewController {
      public:
        Content() { setPreferredContentSize({360, 480}); }
    };
    auto controller = std::make_shared<Content>();
    WindowController windowController(
        std::make_shared<Window>(Rect(30, 40, 100, 100), WindowStyleTitled));
    windowController.setContentViewController(controller);
    EXPECT_EQ(windowController.window()->frame(), Rect(30, 40, 360, 480));
    EXPECT_EQ(controller->view()->frame(), Rect(0, 0, 360, 480));
}

}  // namespace
}  // namespace corvix
