#include <gtest/gtest.h>

#include "platform/ui/Color.h"

namespace corvix {
namespace {

struct HsbCase {
    double h, s, b;
    double r, g, bl;
};

TEST(ColorTest, HsbRoundTripsThroughRgb) {
    const HsbCase cases[] = {
        {0.0, 1.0, 1.0, 1.0, 0.0, 0.0},     {1.0 / 3, 1.0, 1.0, 0.0, 1.0, 0.0},
        {2.0 / 3, 1.0, 1.0, 0.0, 0.0, 1.0}, {0.5, 0.5, 0.8, 0.4, 0.8, 0.8},
        {0.0, 0.0, 0.25, 0.25, 0.25, 0.25}, {0.9, 0.3, 0.6, 0.6, 0.42, 0.528},
    };
    for (const auto& c : cases) {
        Color color = Color::hsb(c.h, c.s, c.b, 0.5);
        EXPECT_NEAR(color.redComponent(), c.r, 1e-9) << c.h;
        EXPECT_NEAR(color.greenComponent(), c.g, 1e-9) << c.h;
        EXPECT_NEAR(color.blueComponent(), c.bl, 1e-9) << c.h;
        EXPECT_DOUBLE_EQ(color.alphaComponent(), 0.5);
        if (c.s > 0) {
            EXPECT_NEAR(color.hueComponent(), c.h, 1e-9);
        }
        EXPECT_NEAR(color.saturationComponent(), c.s, 1e-9);
        EXPECT_NEAR(color.brightnessComponent(), c.b, 1e-9);
    }
}

TEST(ColorTest, HueOfOneWrapsToRed) {
    Color c = Color::hsb(1.0, 1.0, 1.0);
    EXPECT_DOUBLE_EQ(c.redComponent(), 1.0);
    EXPECT_DOUBLE_EQ(c.greenComponent(), 0.0);
}

TEST(ColorTest, NamedColoursResolvePerSchemeAndKeepAnAlphaOverride) {
    Color green = Color::system(SystemColor::Green);
    EXPECT_EQ(green.systemName(), SystemColor::Green);
    Color light = green.resolved(ColorScheme::Light);
    Color dark = green.resolved(ColorScheme::Dark);
    EXPECT_NE(light, dark);
    EXPECT_FALSE(light.systemName().has_value());

    Color faded = Color::system(SystemColor::Label).withAlphaComponent(0.3);
    EXPECT_EQ(faded.systemName(), SystemColor::Label);
    EXPECT_DOUBLE_EQ(faded.resolved(ColorScheme::Dark).alphaComponent(), 0.3);
    EXPECT_DOUBLE_EQ(faded.resolved(ColorScheme::Dark).redComponent(), 1.0);
    EXPECT_DOUBLE_EQ(faded.resolved(ColorScheme::Light).redComponent(), 0.0);

    Color::setCurrentScheme(ColorScheme::Dark);
    EXPECT_DOUBLE_EQ(faded.redComponent(), 1.0);
    EXPECT_EQ(faded.usingDeviceRGB().space(), Color::Space::DeviceRGB);
    Color::setCurrentScheme(ColorScheme::Light);
    EXPECT_DOUBLE_EQ(faded.redComponent(), 0.0);
}

TEST(ColorTest, WhiteConvertsToEqualRgbComponents) {
    Color c = Color::calibratedWhite(0.08).usingDeviceRGB();
    EXPECT_DOUBLE_EQ(c.redComponent(), 0.08);
    EXPECT_DOUBLE_EQ(c.blueComponent(), 0.08);
    EXPECT_DOUBLE_EQ(c.alphaComponent(), 1.0);
    EXPECT_EQ(Color(), Color::clear());
}

}  // namespace
}  // namespace corvix
