#include "platform/ui/Color.h"

#include <algorithm>
#include <cmath>

namespace corvix {

namespace {

ColorScheme gScheme = ColorScheme::Light;

struct Pair {
    Color light;
    Color dark;
};

// Close to the desktop palette the program was designed against, so the drawn controls keep
// their intended contrast in both schemes.
Pair systemPair(SystemColor name) {
    using C = Color;
    switch (name) {
        case SystemColor::Label:
            return {C::calibratedWhite(0, 0.85), C::calibratedWhite(1, 0.85)};
        case SystemColor::SecondaryLabel:
            return {C::calibratedWhite(0, 0.5), C::calibratedWhite(1, 0.55)};
        case SystemColor::TertiaryLabel:
            return {C::calibratedWhite(0, 0.26), C::calibratedWhite(1, 0.25)};
        case SystemColor::QuaternaryLabel:
            return {C::calibratedWhite(0, 0.1), C::calibratedWhite(1, 0.1)};
        case SystemColor::Separator:
            return {C::calibratedWhite(0, 0.1), C::calibratedWhite(1, 0.1)};
        case SystemColor::ControlAccent:
            return {C::calibratedRGB(0.0, 0.478, 1.0), C::calibratedRGB(0.039, 0.518, 1.0)};
        case SystemColor::Control:
            return {C::calibratedWhite(0.88), C::calibratedWhite(0.32)};
        case SystemColor::ControlBackground:
            return {C::calibratedWhite(1.0), C::calibratedWhite(0.93)};
        case SystemColor::ControlText:
            return {C::calibratedWhite(0, 0.85), C::calibratedWhite(1, 0.85)};
        case SystemColor::DisabledControlText:
            return {C::calibratedWhite(0, 0.25), C::calibratedWhite(1, 0.25)};
        case SystemColor::SelectedControl:
            return {C::calibratedRGB(0.7, 0.84, 1.0), C::calibratedRGB(0.25, 0.4, 0.62)};
        case SystemColor::KeyboardFocusIndicator:
            return {C::calibratedRGB(0.0, 0.4, 1.0, 0.5), C::calibratedRGB(0.1, 0.52, 1.0, 0.5)};
        case SystemColor::WindowBackground:
            return {C::calibratedWhite(0.925), C::calibratedWhite(0.196)};
        case SystemColor::Red:
            return {C::calibratedRGB(1.0, 0.231, 0.188), C::calibratedRGB(1.0, 0.271, 0.227)};
        case SystemColor::Green:
            return {C::calibratedRGB(0.204, 0.78, 0.349), C::calibratedRGB(0.188, 0.82, 0.345)};
        case SystemColor::Blue:
            return {C::calibratedRGB(0.0, 0.478, 1.0), C::calibratedRGB(0.039, 0.518, 1.0)};
        case SystemColor::Orange:
            return {C::calibratedRGB(1.0, 0.584, 0.0), C::calibratedRGB(1.0, 0.624, 0.039)};
        case SystemColor::Yellow:
            return {C::calibratedRGB(1.0, 0.8, 0.0), C::calibratedRGB(1.0, 0.839, 0.039)};
        case SystemColor::Gray:
            return {C::calibratedRGB(0.557, 0.557, 0.576), C::calibratedRGB(0.596, 0.596, 0.616)};
    }
    return {C::black(), C::white()};
}

}  // namespace

Color Color::hsb(double hue, double saturation, double brightness, double a) {
    hue = std::clamp(hue, 0.0, 1.0);
    saturation = std::clamp(saturation, 0.0, 1.0);
    brightness = std::clamp(brightness, 0.0, 1.0);
    double h = hue >= 1.0 ? 0.0 : hue * 6.0;
    int sector = static_cast<int>(std::floor(h));
    double f = h - sector;
    double p = brightness * (1 - saturation);
    double q = brightness * (1 - saturation * f);
    double t = brightness * (1 - saturation * (1 - f));
    double v = brightness;
    switch (sector) {
        case 0:
            return calibratedRGB(v, t, p, a);
        case 1:
            return calibratedRGB(q, v, p, a);
        case 2:
            return calibratedRGB(p, v, t, a);
        case 3:
            return calibratedRGB(p, q, v, a);
        case 4:
            return calibratedRGB(t, p, v, a);
        default:
            return calibratedRGB(v, p, q, a);
    }
}

Color Color::system(SystemColor name) {
    Color c(Space::Named, 0, 0, 0, -1);  // alpha < 0: the palette's own alpha
    c.name_ = name;
    return c;
}

std::optional<SystemColor> Color::systemName() const {
    if (space_ == Space::Named) {
        return name_;
    }
    return std::nullopt;
}

Color Color::withAlphaComponent(double alpha) const {
    Color c = *this;
    c.a_ = std::clamp(alpha, 0.0, 1.0);
    return c;
}

Color Color::usingDeviceRGB() const {
    Color p = plain();
    return deviceRGB(p.r_, p.g_, p.b_, p.a_);
}

Color Color::resolved(ColorScheme scheme) const {
    if (space_ != Space::Named) {
        return *this;
    }
    Pair pair = systemPair(name_);
    Color c = scheme == ColorScheme::Dark ? pair.dark : pair.light;
    if (a_ >= 0) {
        c.a_ = a_;
    }
    return c;
}

double Color::whiteComponent() const {
    Color p = plain();
    return (p.r_ + p.g_ + p.b_) / 3.0;
}

double Color::brightnessComponent() const {
    Color p = plain();
    return std::max({p.r_, p.g_, p.b_});
}

double Color::saturationComponent() const {
    Color p = plain();
    double mx = std::max({p.r_, p.g_, p.b_});
    double mn = std::min({p.r_, p.g_, p.b_});
    return mx <= 0 ? 0.0 : (mx - mn) / mx;
}

double Color::hueComponent() const {
    Color p = plain();
    double mx = std::max({p.r_, p.g_, p.b_});
    double mn = std::min({p.r_, p.g_, p.b_});
    double d = mx - mn;
    if (d <= 0) {
        return 0.0;
    }
    double h;
    if (mx == p.r_) {
        h = (p.g_ - p.b_) / d;
        if (h < 0) {
            h += 6;
        }
    } else if (mx == p.g_) {
        h = (p.b_ - p.r_) / d + 2;
    } else {
        h = (p.r_ - p.g_) / d + 4;
    }
    return h / 6.0;
}

ColorScheme Color::currentScheme() {
    return gScheme;
}

void Color::setCurrentScheme(ColorScheme scheme) {
    gScheme = scheme;
}

}  // namespace corvix
