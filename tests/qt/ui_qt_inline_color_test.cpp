#include <gtest/gtest.h>

#include <QApplication>

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <memory>
#include "QtTestSupport.h"

#include "controls/InlineColorControls.h"
#include "platform/qt/ViewHostWidget.h"
#include "platform/ui/Color.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

using testing::app;

QImage rendered(const std::shared_ptr<View>& view) {
    ViewHostWidget host(view, nullptr);
    return host.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

class QtInlineColorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app();
        Color::setCurrentScheme(ColorScheme::Light);
    }
};

TEST_F(QtInlineColorTest, TheHueFieldRunsRedToCyanAcrossTheTopAndFadesToWhiteBelow) {
    // The marker sits clear of the sampled points.
    auto picker = std::make_shared<InlineColorPickerView>(300, 30, nullptr);
    QImage image = rendered(picker);
    ASSERT_EQ(image.size(), QSize(216, 48));
    // The field spans x 6...210 and, from the top, y 8...40.
    const QColor topLeft = image.pixelColor(9, 10);
    EXPECT_GT(topLeft.red(), 235) << topLeft.name().toStdString();
    EXPECT_LT(topLeft.green(), 60) << topLeft.name().toStdString();
    EXPECT_LT(topLeft.blue(), 40) << topLeft.name().toStdString();
    const QColor topMiddle = image.pixelColor(108, 10);
    EXPECT_LT(topMiddle.red(), 40) << topMiddle.name().toStdString();
    EXPECT_GT(topMiddle.green(), 220) << topMiddle.name().toStdString();
    EXPECT_GT(topMiddle.blue(), 220) << topMiddle.name().toStdString();
    for (int x : {12, 60, 108, 160, 204}) {
        const QColor bottom = image.pixelColor(x, 38);
        EXPECT_GT(std::min({bottom.red(), bottom.green(), bottom.blue()}), 225)
            << x << " " << bottom.name().toStdString();
    }
}

TEST_F(QtInlineColorTest, TheTemperatureStripIsWarmOnTheLeftAndCoolOnTheRight) {
    auto picker = std::make_shared<InlineTemperaturePickerView>(153, 153, 500, nullptr);
    QImage image = rendered(picker);
    const QColor warm = image.pixelColor(12, 24);
    const QColor cool = image.pixelColor(200, 24);
    EXPECT_GT(warm.red(), 240);
    EXPECT_LT(warm.blue(), 110) << warm.name().toStdString();
    EXPECT_GT(cool.blue(), 240);
    EXPECT_LT(cool.red(), 230) << cool.name().toStdString();
}

TEST_F(QtInlineColorTest, KeysPressedInAHostedRowReachTheFocusedPicker) {
    // A row as a menu popup hosts it: its own router, the popup's model window.
    auto row = std::make_shared<View>(Rect(0, 0, 326, 90));
    std::vector<double> reports;
    auto picker = std::make_shared<InlineTemperaturePickerView>(
        300, 153, 500, [&](double v) { reports.push_back(v); });
    picker->setFrame(Rect(55, 4, 216, 48));
    row->addSubview(picker);
    auto window = std::make_shared<Window>(Rect(0, 0, 326, 90), WindowStyleBorderless);
    ViewHostWidget host(row, window.get());
    host.show();

    // A click focuses it (the first click counts in the inactive menu window).
    const QPointF at(100, 60);  // y from the top: 30 up from the bottom
    QMouseEvent press(QEvent::MouseButtonPress, at, host.mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&host, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, host.mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&host, &release);
    ASSERT_EQ(window->firstResponder(), picker.get());
    ASSERT_EQ(reports.size(), 1u);

    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::ShiftModifier);
    QCoreApplication::sendEvent(&host, &left);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1], std::min(reports[0] + 25, 500.0));
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QCoreApplication::sendEvent(&host, &end);
    EXPECT_EQ(reports.back(), 153);
    row->setHostWindow(nullptr);
}

}  // namespace
}  // namespace corvix
