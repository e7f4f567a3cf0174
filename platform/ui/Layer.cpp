#include "platform/ui/Layer.h"

#include <algorithm>
#include <chrono>

#include "platform/ui/View.h"

namespace corvix {

namespace {

double seconds(Duration d) {
    return std::chrono::duration<double>(d).count();
}

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

Color lerp(const Color& a, const Color& b, double t) {
    Color pa = a.usingDeviceRGB();
    Color pb = b.usingDeviceRGB();
    return Color::deviceRGB(lerp(pa.redComponent(), pb.redComponent(), t),
                            lerp(pa.greenComponent(), pb.greenComponent(), t),
                            lerp(pa.blueComponent(), pb.blueComponent(), t),
                            lerp(pa.alphaComponent(), pb.alphaComponent(), t));
}

LayerAnimation::Value interpolate(const LayerAnimation::Value& from,
                                  const LayerAnimation::Value& to, double t) {
    if (auto* a = std::get_if<double>(&from)) {
        return lerp(*a, std::get<double>(to), t);
    }
    if (auto* a = std::get_if<Color>(&from)) {
        return lerp(*a, std::get<Color>(to), t);
    }
    if (auto* a = std::get_if<Rect>(&from)) {
        const Rect& b = std::get<Rect>(to);
        return Rect(lerp(a->x(), b.x(), t), lerp(a->y(), b.y(), t), lerp(a->width(), b.width(), t),
                    lerp(a->height(), b.height(), t));
    }
    if (std::holds_alternative<ImagePtr>(from)) {
        return t;  // contents fade: the progress itself
    }
    const Scale3D& a = std::get<Scale3D>(from);
    const Scale3D& b = std::get<Scale3D>(to);
    return Scale3D{lerp(a.x, b.x, t), lerp(a.y, b.y, t), lerp(a.z, b.z, t)};
}

// A missing colour animates as its clear version, so fades in and out look right.
Color orClear(const std::optional<Color>& c, const std::optional<Color>& other) {
    if (c) {
        return *c;
    }
    return other ? other->withAlphaComponent(0) : Color::clear();
}

}  // namespace

void Layer::record(LayerProperty property, LayerAnimation::Value from, LayerAnimation::Value to) {
    auto t = Transaction::current();
    if (t && t->duration > 0 && !t->disableActions && from != to) {
        // A new animation of a property replaces the previous one, as the backend would.
        std::erase_if(animations_,
                      [property](const LayerAnimation& a) { return a.property == property; });
        animations_.push_back(
            {property, std::move(from), std::move(to), Transaction::now(), t->duration, t->timing});
    }
}

void Layer::changed() {
    for (Layer* l = this; l; l = l->superlayer_) {
        if (l->hostView_) {
            l->hostView_->setNeedsDisplay();
            return;
        }
    }
}

void Layer::setFrame(const Rect& frame) {
    if (frame == s_.frame) {
        return;
    }
    record(LayerProperty::Frame, s_.frame, frame);
    s_.frame = frame;
    changed();
}

void Layer::setBackgroundColor(std::optional<Color> color) {
    if (color == s_.backgroundColor) {
        return;
    }
    record(LayerProperty::BackgroundColor, orClear(s_.backgroundColor, color),
           orClear(color, s_.backgroundColor));
    s_.backgroundColor = color;
    changed();
}

void Layer::setBorderColor(std::optional<Color> color) {
    if (color == s_.borderColor) {
        return;
    }
    record(LayerProperty::BorderColor, orClear(s_.borderColor, color),
           orClear(color, s_.borderColor));
    s_.borderColor = color;
    changed();
}

void Layer::setBorderWidth(double width) {
    if (width == s_.borderWidth) {
        return;
    }
    record(LayerProperty::BorderWidth, s_.borderWidth, width);
    s_.borderWidth = width;
    changed();
}

void Layer::setCornerRadius(double radius) {
    if (radius == s_.cornerRadius) {
        return;
    }
    record(LayerProperty::CornerRadius, s_.cornerRadius, radius);
    s_.cornerRadius = radius;
    changed();
}

void Layer::setOpacity(double opacity) {
    if (opacity == s_.opacity) {
        return;
    }
    record(LayerProperty::Opacity, s_.opacity, opacity);
    s_.opacity = opacity;
    changed();
}

void Layer::setTransform(Scale3D transform) {
    if (transform == s_.transform) {
        return;
    }
    record(LayerProperty::Transform, s_.transform, transform);
    s_.transform = transform;
    changed();
}

void Layer::setMasksToBounds(bool value) {
    s_.masksToBounds = value;
    changed();
}

void Layer::setHidden(bool hidden) {
    s_.hidden = hidden;
    changed();
}

void Layer::setContents(ImagePtr image) {
    if (image == s_.contents) {
        return;
    }
    if (s_.contents && image) {
        record(LayerProperty::Contents, s_.contents, image);
    }
    s_.contents = std::move(image);
    changed();
}

void Layer::setContentsGravity(ContentsGravity gravity) {
    s_.contentsGravity = gravity;
    changed();
}

void Layer::setShadow(std::optional<Color> color, double opacity, double radius, Size offset) {
    s_.shadowColor = color;
    s_.shadowOpacity = opacity;
    s_.shadowRadius = radius;
    s_.shadowOffset = offset;
    changed();
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) {
    insertSublayer(std::move(layer), sublayers_.size());
}

void Layer::insertSublayer(std::shared_ptr<Layer> layer, std::size_t index) {
    if (!layer || layer.get() == this) {
        return;
    }
    auto keep = layer;
    layer->removeFromSuperlayer();
    layer->superlayer_ = this;
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
    changed();
}

void Layer::removeFromSuperlayer() {
    Layer* parent = superlayer_;
    if (!parent) {
        return;
    }
    superlayer_ = nullptr;
    auto& list = parent->sublayers_;
    auto keep = shared_from_this();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](const std::shared_ptr<Layer>& l) { return l.get() == this; }),
               list.end());
    parent->changed();
}

const LayerAnimation* Layer::animation(LayerProperty property) const {
    for (auto it = animations_.rbegin(); it != animations_.rend(); ++it) {
        if (it->property == property) {
            return &*it;
        }
    }
    return nullptr;
}

bool Layer::isAnimating(Duration now) const {
    for (const auto& a : animations_) {
        if (seconds(now - a.begin) < a.duration) {
            return true;
        }
    }
    return false;
}

LayerState Layer::presentation(Duration now) const {
    LayerState p = s_;
    for (const auto& a : animations_) {
        double elapsed = seconds(now - a.begin);
        if (elapsed >= a.duration || elapsed < 0) {
            continue;
        }
        double t = a.timing.valueAt(elapsed / a.duration);
        LayerAnimation::Value v = interpolate(a.from, a.to, t);
        switch (a.property) {
            case LayerProperty::Frame:
                p.frame = std::get<Rect>(v);
                break;
            case LayerProperty::BackgroundColor:
                p.backgroundColor = std::get<Color>(v);
                break;
            case LayerProperty::BorderColor:
                p.borderColor = std::get<Color>(v);
                break;
            case LayerProperty::BorderWidth:
                p.borderWidth = std::get<double>(v);
                break;
            case LayerProperty::CornerRadius:
                p.cornerRadius = std::get<double>(v);
                break;
            case LayerProperty::Opacity:
                p.opacity = std::get<double>(v);
                break;
            case LayerProperty::Transform:
                p.transform = std::get<Scale3D>(v);
                break;
            case LayerProperty::Contents:
                p.fadingContents = std::get<ImagePtr>(a.from);
                p.contentsFade = std::get<double>(v);
                break;
        }
    }
    return p;
}

}  // namespace corvix
