#pragma once

#include <cstdint>
#include <optional>

namespace corvix {

/// Light or dark: what the named system colours resolve against.
enum class ColorScheme { Light, Dark };

/// The named system colours. They are dynamic: their components depend on the scheme in effect.
enum class SystemColor : std::uint8_t {
    Label,
    SecondaryLabel,
    TertiaryLabel,
    QuaternaryLabel,
    Separator,
    ControlAccent,
    Control,
    ControlBackground,
    ControlText,
    DisabledControlText,
    SelectedControl,
    KeyboardFocusIndicator,
    WindowBackground,
    Red,
    Green,
    Blue,
    Orange,
    Yellow,
    Gray,
};

/// A colour value: calibrated or device RGB, calibrated white, or a named system colour.
/// Components are 0...1. Reading the components of a named colour resolves it against the current
/// scheme (`Color::currentScheme`), as drawing code does.
class Color {
  public:
    enum class Space : std::uint8_t { CalibratedRGB, DeviceRGB, CalibratedWhite, Named };

    /// Fully transparent black.
    constexpr Color() = default;

    static constexpr Color calibratedRGB(double r, double g, double b, double a = 1.0) {
        return Color(Space::CalibratedRGB, r, g, b, a);
    }
    static constexpr Color deviceRGB(double r, double g, double b, double a = 1.0) {
        return Color(Space::DeviceRGB, r, g, b, a);
    }
    static constexpr Color calibratedWhite(double white, double a = 1.0) {
        return Color(Space::CalibratedWhite, white, white, white, a);
    }
    /// Hue, saturation and brightness (all 0...1), as a calibrated RGB colour.
    static Color hsb(double hue, double saturation, double brightness, double a = 1.0);
    static Color system(SystemColor name);

    static constexpr Color clear() { return calibratedWhite(0, 0); }
    static constexpr Color black() { return calibratedWhite(0, 1); }
    static constexpr Color white() { return calibratedWhite(1, 1); }

    Space space() const { return space_; }
    /// The name of a system colour; none for a plain colour.
    std::optional<SystemColor> systemName() const;

    /// The same colour with another alpha (a named colour stays named, its own alpha replaced).
    Color withAlphaComponent(double alpha) const;
    /// A plain RGB colour in the device space; a named colour is resolved for the current scheme.
    Color usingDeviceRGB() const;
    /// A plain colour for `scheme` (plain colours are returned unchanged).
    Color resolved(ColorScheme scheme) const;

    double redComponent() const { return plain().r_; }
    double greenComponent() const { return plain().g_; }
    double blueComponent() const { return plain().b_; }
    double alphaComponent() const { return plain().a_; }
    /// White level: the average of red, green and blue.
    double whiteComponent() const;
    double hueComponent() const;
    double saturationComponent() const;
    double brightnessComponent() const;

    bool operator==(const Color&) const = default;

    /// The scheme that named colours resolve against while drawing. Main thread.
    static ColorScheme currentScheme();
    static void setCurrentScheme(ColorScheme scheme);

  private:
    constexpr Color(Space space, double r, double g, double b, double a)
        : r_(r), g_(g), b_(b), a_(a), space_(space) {}
    Color plain() const { return space_ == Space::Named ? resolved(currentScheme()) : *this; }

    double r_ = 0, g_ = 0, b_ = 0, a_ = 0;
    Space space_ = Space::CalibratedWhite;
    SystemColor name_ = SystemColor::Label;
};

}  // namespace corvix
