#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"

namespace corvix {

enum class CompositingOperation { SourceOver, Copy, SourceAtop, SourceIn, DestinationOut, Clear };
enum class FillRule { NonZero, EvenOdd };
enum class TextAlignment { Left, Center, Right };

/// A shape to fill, stroke or clip to. Simple shapes keep what they are (kind, rect, radii) so
/// backends can draw them natively and tests can assert them.
class Path {
  public:
    enum class Kind { Rect, RoundedRect, Ellipse, Custom };
    struct Element {
        enum class Type { MoveTo, LineTo, CurveTo, Arc, Close } type;
        Point p;                // MoveTo/LineTo/CurveTo end point, Arc centre
        Point c1, c2;           // CurveTo control points
        double radius = 0;      // Arc
        double startAngle = 0;  // Arc, radians, counter-clockwise from +x (y up)
        double endAngle = 0;
        bool clockwise = false;
    };

    Path() = default;
    static Path rect(const Rect& r);
    static Path roundedRect(const Rect& r, double radiusX, double radiusY);
    static Path ellipse(const Rect& r);

    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point end, Point c1, Point c2);
    /// Adds an arc around `center` (a line to its start when the path is not empty).
    void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
    void close();

    Kind kind() const { return kind_; }
    /// The rect of a simple shape; for custom paths the bounds of the points.
    const Rect& rect() const { return rect_; }
    double radiusX() const { return rx_; }
    double radiusY() const { return ry_; }
    const std::vector<Element>& elements() const { return elements_; }
    bool operator==(const Path& o) const {
        return kind_ == o.kind_ && rect_ == o.rect_ && rx_ == o.rx_ && ry_ == o.ry_ &&
               elements_.size() == o.elements_.size();
    }

  private:
    void include(Point p);

    Kind kind_ = Kind::Custom;
    Rect rect_;
    double rx_ = 0, ry_ = 0;
    std::vector<Element> elements_;
    bool hasPoints_ = false;
};

struct GradientStop {
    double location = 0;  // 0...1
    Color color;
};

/// How text is drawn in a rect: one line, truncated at the tail with an ellipsis when too long.
struct TextStyle {
    Font font;
    Color color = Color::system(SystemColor::Label);
    TextAlignment alignment = TextAlignment::Left;
    bool truncateTail = true;
};

/// Drawing into a view or a bitmap, in the coordinates of whoever draws (y up unless the view is
/// flipped; the backend takes care of the device). Named colours resolve for the scheme in effect.
class GraphicsContext {
  public:
    virtual ~GraphicsContext() = default;

    virtual void save() = 0;
    virtual void restore() = 0;
    virtual void translate(double dx, double dy) = 0;
    virtual void scale(double sx, double sy) = 0;
    /// Intersects the clip with `path`.
    virtual void clip(const Path& path) = 0;
    /// Multiplies the alpha of everything drawn until the matching restore.
    virtual void setAlpha(double alpha) = 0;
    virtual void setCompositingOperation(CompositingOperation op) = 0;

    virtual void fill(const Path& path, const Color& color, FillRule rule = FillRule::NonZero) = 0;
    virtual void stroke(const Path& path, const Color& color, double lineWidth) = 0;
    /// Fills the current clip with a gradient running from `start` to `end`.
    virtual void drawLinearGradient(const std::vector<GradientStop>& stops, Point start,
                                    Point end) = 0;
    /// Draws `image` scaled into `rect`; a template image is drawn in `tint` (label colour when
    /// none).
    virtual void drawImage(const Image& image, const Rect& rect,
                           CompositingOperation op = CompositingOperation::SourceOver,
                           double opacity = 1.0, const std::optional<Color>& tint = {}) = 0;
    /// One line of text in `rect`, vertically centred, aligned and truncated per `style`.
    virtual void drawText(std::string_view text, const Rect& rect, const TextStyle& style) = 0;

    void fillRect(const Rect& r, const Color& c) { fill(Path::rect(r), c); }
    void strokeRect(const Rect& r, const Color& c, double width) {
        stroke(Path::rect(r), c, width);
    }
    void fillRoundedRect(const Rect& r, double radius, const Color& c) {
        fill(Path::roundedRect(r, radius, radius), c);
    }
    void strokeRoundedRect(const Rect& r, double radius, const Color& c, double width) {
        stroke(Path::roundedRect(r, radius, radius), c, width);
    }
    void fillEllipse(const Rect& r, const Color& c) { fill(Path::ellipse(r), c); }
    void strokeEllipse(const Rect& r, const Color& c, double width) {
        stroke(Path::ellipse(r), c, width);
    }
};

/// A context drawing into pixels; `makeImage` returns what was drawn as an image of
/// `pixelsWide` × `pixelsHigh` points with one bitmap representation.
class BitmapContext : public GraphicsContext {
  public:
    virtual ImagePtr makeImage() = 0;
};

/// Decoding and rendering of images; provided by the backend.
class ImageService {
  public:
    virtual ~ImageService() = default;
    /// Decodes encoded image data (PNG, JPEG, ...); null when it does not decode.
    virtual ImagePtr decode(const std::vector<std::uint8_t>& data) = 0;
    /// Decodes `data` reduced to `reducedPixelSize` of its pixels for `maxPixelDimension`: an
    /// image of that many points with one bitmap; null when it does not decode. This default
    /// decodes the whole picture and redraws it; backends may scale while decoding.
    virtual ImagePtr decodeReduced(const std::vector<std::uint8_t>& data, int maxPixelDimension);
    /// A transparent RGBA bitmap context (8 bits per sample, device RGB, y up); null when it
    /// cannot be created.
    virtual std::unique_ptr<BitmapContext> makeBitmapContext(int pixelsWide, int pixelsHigh) = 0;
};

}  // namespace corvix
