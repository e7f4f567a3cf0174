#pragma once

namespace corvix {

enum class FontWeight { UltraLight, Thin, Light, Regular, Medium, Semibold, Bold, Heavy, Black };

/// The system font at a size (points) and weight; the backend maps it to the desktop's UI font.
struct Font {
    double pointSize = 13;
    FontWeight weight = FontWeight::Regular;

    static Font system(double size, FontWeight weight = FontWeight::Regular) {
        return {size, weight};
    }
    bool operator==(const Font&) const = default;
};

}  // namespace corvix
