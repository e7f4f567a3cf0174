#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "MenuTestSupport.h"
#include "QtTestSupport.h"
#include "platform/qt/ViewHostWidget.h"

namespace corvix {
namespace {

class QtMediaRemoteTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::app(); }
    void TearDown() override { Color::setCurrentScheme(ColorScheme::Light); }
};

TEST_F(QtMediaRemoteTest, RemoteButtonsAreFilledFromTheColourTableOfTheScheme) {
    struct Case {
        ColorScheme scheme;
        // The emphasized OK button's fill, drawn at 0.96.
        double ok[3];
    };
    const Case cases[] = {
        {ColorScheme::Dark, {0.68, 0.71, 0.76}},
        {ColorScheme::Light, {0.31, 0.35, 0.40}},
    };
    for (const Case& c : cases) {
        Color::setCurrentScheme(c.scheme);
        testing::MenuHarness menu;
        menu.build("media-remote-and-apps.json");
        StayOpenMenu* atv = menu.submenu("Den Apple TV");
        ASSERT_NE(atv, nullptr);
        MenuItem* remote = testing::itemTitled(*atv, "Remote");
        ASSERT_TRUE(remote && remote->view());
        ViewHostWidget host(remote->view(), nullptr);
        const QImage image = host.grab().toImage();
        ASSERT_EQ(image.size(), QSize(326, 270));
        // Left of the "OK" title inside the button (127, 110, 72, 56), from the top in Qt.
        const QColor pixel = image.pixelColor(138, 270 - 150);
        const double got[3] = {pixel.redF(), pixel.greenF(), pixel.blueF()};
        for (int i = 0; i < 3; ++i) {
            // At 0.96 over the panel the fill shows nearly as it is.
            EXPECT_NEAR(got[i], c.ok[i], 0.05)
                << (c.scheme == ColorScheme::Dark ? "dark" : "light") << " component " << i << " "
                << pixel.name().toStdString();
        }
    }
}

}  // namespace
}  // namespace corvix
