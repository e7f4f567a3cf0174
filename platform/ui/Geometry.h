#pragma once

#include <algorithm>

namespace corvix {

/// Geometry in points. Unless a view is flipped, y grows upwards from the bottom left.
struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    constexpr Rect(Point o, Size s) : origin(o), size(s) {}

    double x() const { return origin.x; }
    double y() const { return origin.y; }
    double width() const { return size.width; }
    double height() const { return size.height; }
    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    Point center() const { return {midX(), midY()}; }
    bool isEmpty() const { return size.width <= 0 || size.height <= 0; }

    /// Shrinks by `dx` on the left and right and `dy` at the bottom and top (negative grows).
    Rect insetBy(double dx, double dy) const {
        return {origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
    }
    Rect offsetBy(double dx, double dy) const {
        return {origin.x + dx, origin.y + dy, size.width, size.height};
    }
    /// Half-open on the far edges, so adjacent rects never both contain a point.
    bool contains(Point p) const {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }
    bool intersects(const Rect& o) const { return !intersection(o).isEmpty(); }
    Rect intersection(const Rect& o) const {
        double x0 = std::max(minX(), o.minX());
        double y0 = std::max(minY(), o.minY());
        double x1 = std::min(maxX(), o.maxX());
        double y1 = std::min(maxY(), o.maxY());
        if (x1 <= x0 || y1 <= y0) {
            return {};
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }
    bool operator==(const Rect&) const = default;
};

/// Distances from the edges of a rectangle.
struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    bool operator==(const EdgeInsets&) const = default;
};

}  // namespace corvix
