#include "platform/ui/GraphicsContext.h"

#include <algorithm>
#include <cmath>

namespace corvix {

Path Path::rect(const Rect& r) {
    Path p;
    p.kind_ = Kind::Rect;
    p.rect_ = r;
    return p;
}

Path Path::roundedRect(const Rect& r, double radiusX, double radiusY) {
    Path p;
    p.kind_ = Kind::RoundedRect;
    p.rect_ = r;
    p.rx_ = std::clamp(radiusX, 0.0, std::max(0.0, r.width() / 2));
    p.ry_ = std::clamp(radiusY, 0.0, std::max(0.0, r.height() / 2));
    return p;
}

Path Path::ellipse(const Rect& r) {
    Path p;
    p.kind_ = Kind::Ellipse;
    p.rect_ = r;
    return p;
}

void Path::include(Point p) {
    if (!hasPoints_) {
        rect_ = Rect(p.x, p.y, 0, 0);
        hasPoints_ = true;
        return;
    }
    double x0 = std::min(rect_.minX(), p.x);
    double y0 = std::min(rect_.minY(), p.y);
    double x1 = std::max(rect_.maxX(), p.x);
    double y1 = std::max(rect_.maxY(), p.y);
    rect_ = Rect(x0, y0, x1 - x0, y1 - y0);
}

void Path::moveTo(Point p) {
    elements_.push_back({Element::Type::MoveTo, p, {}, {}});
    include(p);
}

void Path::lineTo(Point p) {
    elements_.push_back({Element::Type::LineTo, p, {}, {}});
    include(p);
}

void Path::curveTo(Point end, Point c1, Point c2) {
    elements_.push_back({Element::Type::CurveTo, end, c1, c2});
    include(end);
}

void Path::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
    Element e{Element::Type::Arc, center, {}, {}};
    e.radius = radius;
    e.startAngle = startAngle;
    e.endAngle = endAngle;
    e.clockwise = clockwise;
    elements_.push_back(e);
    include({center.x - radius, center.y - radius});
    include({center.x + radius, center.y + radius});
}

void Path::close() {
    elements_.push_back({Element::Type::Close, {}, {}, {}});
}

ImagePtr ImageService::decodeReduced(const std::vector<std::uint8_t>& data, int maxPixelDimension) {
    ImagePtr decoded = decode(data);
    if (!decoded) {
        return nullptr;
    }
    const PixelSize source = pixelDimensions(*decoded);
    const PixelSize target = reducedPixelSize(source.width, source.height, maxPixelDimension);
    std::unique_ptr<BitmapContext> context = makeBitmapContext(target.width, target.height);
    if (!context) {
        return nullptr;
    }
    const Rect bounds(0, 0, target.width, target.height);
    context->drawImage(*decoded, bounds, CompositingOperation::Copy, 1.0, std::nullopt);
    ImagePtr image = context->makeImage();
    if (image) {
        image->setSize({double(target.width), double(target.height)});
    }
    return image;
}

}  // namespace corvix
