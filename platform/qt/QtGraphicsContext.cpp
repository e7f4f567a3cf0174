#include "platform/qt/QtGraphicsContext.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string_view>

namespace corvix {

QColor toQColor(const Color& color) {
    Color c = color.usingDeviceRGB();
    return QColor::fromRgbF(
        static_cast<float>(c.redComponent()), static_cast<float>(c.greenComponent()),
        static_cast<float>(c.blueComponent()), static_cast<float>(c.alphaComponent()));
}

QPainterPath toQPath(const Path& path) {
    QPainterPath q;
    const Rect& r = path.rect();
    QRectF qr(r.x(), r.y(), r.width(), r.height());
    switch (path.kind()) {
        case Path::Kind::Rect:
            q.addRect(qr);
            return q;
        case Path::Kind::RoundedRect:
            q.addRoundedRect(qr, path.radiusX(), path.radiusY());
            return q;
        case Path::Kind::Ellipse:
            q.addEllipse(qr);
            return q;
        case Path::Kind::Custom:
            break;
    }
    for (const auto& e : path.elements()) {
        using T = Path::Element::Type;
        switch (e.type) {
            case T::MoveTo:
                q.moveTo(e.p.x, e.p.y);
                break;
            case T::LineTo:
                q.lineTo(e.p.x, e.p.y);
                break;
            case T::CurveTo:
                q.cubicTo(e.c1.x, e.c1.y, e.c2.x, e.c2.y, e.p.x, e.p.y);
                break;
            case T::Arc: {
                // Qt's angles run counter-clockwise on a y-down device; ours are y-up, which
                // the host's flip turns into the same visual direction.
                double start = e.startAngle * 180 / std::numbers::pi;
                double sweep = (e.endAngle - e.startAngle) * 180 / std::numbers::pi;
                if (e.clockwise && sweep > 0) {
                    sweep -= 360;
                } else if (!e.clockwise && sweep < 0) {
                    sweep += 360;
                }
                QRectF box(e.p.x - e.radius, e.p.y - e.radius, 2 * e.radius, 2 * e.radius);
                QPointF first(e.p.x + e.radius * std::cos(e.startAngle),
                              e.p.y + e.radius * std::sin(e.startAngle));
                if (q.elementCount() == 0) {
                    q.moveTo(first);
                } else {
                    q.lineTo(first);
                }
                // arcTo measures angles with y down; negate to keep ours (y up).
                q.arcTo(box, -start, -sweep);
                break;
            }
            case T::Close:
                q.closeSubpath();
                break;
        }
    }
    return q;
}

QFont toQFont(const Font& font) {
    QFont f = QGuiApplication::font();
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pointSize))));
    static const QFont::Weight weights[] = {QFont::ExtraLight, QFont::Thin,      QFont::Light,
                                            QFont::Normal,     QFont::Medium,    QFont::DemiBold,
                                            QFont::Bold,       QFont::ExtraBold, QFont::Black};
    f.setWeight(weights[static_cast<int>(font.weight)]);
    return f;
}

QString symbolFontFamily() {
    static const QString family = [] {
        // Found by its family name, as the system's font configuration knows it, wherever the
        // package put the file.
        const QString name = QStringLiteral("Material Icons");
        if (QFontDatabase::families().contains(name)) {
            return name;
        }
        std::fprintf(stderr,
                     "corvix: the symbol font \"Material Icons\" is not installed (Debian package "
                     "fonts-material-design-icons-iconfont); the tray icon is drawn without it "
                     "and menu rows show no symbols\n");
        return QString();
    }();
    return family;
}

QImage drawnFallbackSymbol(std::string_view name, QSize size, const QColor& color) {
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    if (name != "house.fill" && name != "house") {
        return out;
    }
    // The program's own mark, a house: a roof over a body with a door, in a square of `size`.
    const qreal side = std::min(size.width(), size.height());
    const QPointF origin((size.width() - side) / 2, (size.height() - side) / 2);
    auto at = [&](qreal x, qreal y) { return origin + QPointF(x * side, y * side); };
    QPainterPath house;
    house.moveTo(at(0.5, 0.08));
    house.lineTo(at(0.95, 0.48));
    house.lineTo(at(0.82, 0.48));
    house.lineTo(at(0.82, 0.90));
    house.lineTo(at(0.18, 0.90));
    house.lineTo(at(0.18, 0.48));
    house.lineTo(at(0.05, 0.48));
    house.closeSubpath();
    QPainterPath door;
    door.addRect(QRectF(at(0.42, 0.62), at(0.58, 0.90)));
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(house.subtracted(door), color);
    return out;
}

namespace {

struct CachedBitmap {
    QImage image;
};

QImage bitmapImage(const Image& image) {
    if (auto cached = std::static_pointer_cast<CachedBitmap>(image.backendCache)) {
        return cached->image;
    }
    const BitmapRep* rep = image.largestBitmap();
    if (!rep || rep->pixels.size() < std::size_t(rep->pixelsWide) * rep->pixelsHigh * 4) {
        return {};
    }
    QImage q(rep->pixels.data(), rep->pixelsWide, rep->pixelsHigh, rep->pixelsWide * 4,
             QImage::Format_RGBA8888_Premultiplied);
    auto cached = std::make_shared<CachedBitmap>(CachedBitmap{q.copy()});
    image.backendCache = cached;
    return cached->image;
}

QImage symbolImage(const SymbolRep& symbol, QSize size, const QColor& color) {
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QString family = symbolFontFamily();
    if (family.isEmpty()) {
        return drawnFallbackSymbol(symbol.name, size, color);
    }
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f(family);
    f.setPixelSize(std::max(1, std::min(size.width(), size.height())));
    // The icon font has one weight; heavier symbols get a thin outline of their own colour.
    p.setFont(f);
    p.setPen(color);
    QString glyph = QString::fromStdString(symbol.glyph);
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, glyph);
    if (symbol.weight >= FontWeight::Semibold) {
        QPainterPath path;
        QFontMetricsF m(f);
        QRectF br = m.boundingRect(glyph);
        path.addText((size.width() - m.horizontalAdvance(glyph)) / 2,
                     (size.height() - br.height()) / 2 + m.ascent(), f, glyph);
        p.setPen(QPen(color, std::max(0.6, size.height() / 36.0)));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    return out;
}

}  // namespace

QImage renderImage(const Image& image, QSize pixelSize, const std::optional<Color>& tint) {
    if (pixelSize.isEmpty()) {
        return {};
    }
    QColor tintColor = toQColor(tint.value_or(Color::system(SystemColor::Label)));
    QImage out;
    if (image.symbol()) {
        return symbolImage(*image.symbol(), pixelSize,
                           image.isTemplate() ? tintColor : QColor(Qt::black));
    }
    if (image.drawing()) {
        out = QImage(pixelSize, QImage::Format_ARGB32_Premultiplied);
        out.fill(Qt::transparent);
        QPainter p(&out);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        Size s = image.size();
        p.translate(0, pixelSize.height());
        p.scale(pixelSize.width() / std::max(1.0, s.width),
                -pixelSize.height() / std::max(1.0, s.height));
        QtGraphicsContext ctx(p);
        image.drawing()(ctx, Rect(0, 0, s.width, s.height));
    } else {
        out = bitmapImage(image);
        if (out.isNull()) {
            return out;
        }
    }
    if (image.isTemplate()) {
        out = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&out);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(out.rect(), tintColor);
    }
    return out;
}

QtGraphicsContext::QtGraphicsContext(QPainter& painter) : painter_(painter) {
    painter_.setRenderHint(QPainter::Antialiasing);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform);
    painter_.setRenderHint(QPainter::TextAntialiasing);
}

void QtGraphicsContext::save() {
    painter_.save();
}
void QtGraphicsContext::restore() {
    painter_.restore();
}
void QtGraphicsContext::translate(double dx, double dy) {
    painter_.translate(dx, dy);
}
void QtGraphicsContext::scale(double sx, double sy) {
    painter_.scale(sx, sy);
}

void QtGraphicsContext::clip(const Path& path) {
    painter_.setClipPath(toQPath(path),
                         painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void QtGraphicsContext::setAlpha(double alpha) {
    painter_.setOpacity(painter_.opacity() * alpha);
}

void QtGraphicsContext::setCompositingOperation(CompositingOperation op) {
    switch (op) {
        case CompositingOperation::SourceOver:
            painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
            break;
        case CompositingOperation::Copy:
            painter_.setCompositionMode(QPainter::CompositionMode_Source);
            break;
        case CompositingOperation::SourceAtop:
            painter_.setCompositionMode(QPainter::CompositionMode_SourceAtop);
            break;
        case CompositingOperation::SourceIn:
            painter_.setCompositionMode(QPainter::CompositionMode_SourceIn);
            break;
        case CompositingOperation::DestinationOut:
            painter_.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            break;
        case CompositingOperation::Clear:
            painter_.setCompositionMode(QPainter::CompositionMode_Clear);
            break;
    }
}

void QtGraphicsContext::fill(const Path& path, const Color& color, FillRule rule) {
    QPainterPath q = toQPath(path);
    q.setFillRule(rule == FillRule::EvenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    painter_.fillPath(q, toQColor(color));
}

void QtGraphicsContext::stroke(const Path& path, const Color& color, double lineWidth) {
    QPen pen(toQColor(color), lineWidth);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    painter_.strokePath(toQPath(path), pen);
}

void QtGraphicsContext::drawLinearGradient(const std::vector<GradientStop>& stops, Point start,
                                           Point end) {
    QLinearGradient g(start.x, start.y, end.x, end.y);
    for (const auto& s : stops) {
        g.setColorAt(s.location, toQColor(s.color));
    }
    QRectF area = painter_.hasClipping()
                      ? painter_.clipBoundingRect()
                      : painter_.worldTransform().inverted().mapRect(
                            QRectF(0, 0, painter_.device()->width(), painter_.device()->height()));
    painter_.fillRect(area, g);
}

template <typename F>
void QtGraphicsContext::upright(const Rect& r, F draw) {
    QRectF q(r.x(), r.y(), r.width(), r.height());
    if (painter_.worldTransform().m22() < 0) {
        painter_.save();
        painter_.translate(0, r.minY() + r.maxY());
        painter_.scale(1, -1);
        draw(q);
        painter_.restore();
    } else {
        draw(q);
    }
}

void QtGraphicsContext::drawImage(const Image& image, const Rect& rect, CompositingOperation op,
                                  double opacity, const std::optional<Color>& tint) {
    if (rect.isEmpty()) {
        return;
    }
    QRectF device = painter_.worldTransform().mapRect(QRectF(0, 0, rect.width(), rect.height()));
    qreal dpr = painter_.device()->devicePixelRatioF();
    QSize pixels(std::max(1, int(std::ceil(device.width() * dpr))),
                 std::max(1, int(std::ceil(device.height() * dpr))));
    QImage img = renderImage(image, pixels, tint);
    if (img.isNull()) {
        return;
    }
    painter_.save();
    setCompositingOperation(op);
    painter_.setOpacity(painter_.opacity() * opacity);
    upright(rect, [&](const QRectF& q) { painter_.drawImage(q, img); });
    painter_.restore();
}

void QtGraphicsContext::drawText(std::string_view text, const Rect& rect, const TextStyle& style) {
    if (text.empty() || rect.isEmpty()) {
        return;
    }
    QFont f = toQFont(style.font);
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QFontMetricsF metrics(f);
    if (style.truncateTail) {
        s = metrics.elidedText(s, Qt::ElideRight, rect.width());
    }
    Qt::Alignment align = Qt::AlignVCenter;
    align |= style.alignment == TextAlignment::Center  ? Qt::AlignHCenter
             : style.alignment == TextAlignment::Right ? Qt::AlignRight
                                                       : Qt::AlignLeft;
    painter_.save();
    painter_.setFont(f);
    painter_.setPen(toQColor(style.color));
    upright(rect, [&](const QRectF& q) { painter_.drawText(q, int(align), s); });
    painter_.restore();
}

QtBitmapContext::QtBitmapContext(int w, int h)
    : image_(w, h, QImage::Format_RGBA8888_Premultiplied) {
    image_.fill(Qt::transparent);
    painter_ = std::make_unique<QPainter>(&image_);
    painter_->translate(0, h);
    painter_->scale(1, -1);
    inner_ = std::make_unique<QtGraphicsContext>(*painter_);
}

QtBitmapContext::~QtBitmapContext() {
    inner_.reset();
    if (painter_) {
        painter_->end();
    }
}

BitmapRep toBitmapRep(const QImage& image) {
    QImage q = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    BitmapRep rep{q.width(), q.height(), {}};
    rep.pixels.resize(std::size_t(q.width()) * q.height() * 4);
    for (int y = 0; y < q.height(); ++y) {
        std::memcpy(rep.pixels.data() + std::size_t(y) * q.width() * 4, q.constScanLine(y),
                    std::size_t(q.width()) * 4);
    }
    return rep;
}

ImagePtr QtBitmapContext::makeImage() {
    inner_.reset();
    painter_->end();
    auto image =
        Image::withBitmap(toBitmapRep(image_), {double(image_.width()), double(image_.height())});
    painter_ = std::make_unique<QPainter>(&image_);
    painter_->translate(0, image_.height());
    painter_->scale(1, -1);
    inner_ = std::make_unique<QtGraphicsContext>(*painter_);
    return image;
}

}  // namespace corvix
