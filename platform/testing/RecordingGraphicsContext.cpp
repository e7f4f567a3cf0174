#include "platform/testing/RecordingGraphicsContext.h"

namespace corvix {

DrawCall RecordingGraphicsContext::make(DrawCall::Kind kind) const {
    DrawCall c;
    c.kind = kind;
    c.origin = stack_.back().origin;
    c.alpha = stack_.back().alpha;
    return c;
}

void RecordingGraphicsContext::save() {
    stack_.push_back(stack_.back());
    calls.push_back(make(DrawCall::Kind::Save));
}

void RecordingGraphicsContext::restore() {
    if (stack_.size() > 1) {
        stack_.pop_back();
    }
    calls.push_back(make(DrawCall::Kind::Restore));
}

void RecordingGraphicsContext::translate(double dx, double dy) {
    State& s = stack_.back();
    s.origin.x += dx * s.scale.x;
    s.origin.y += dy * s.scale.y;
    auto c = make(DrawCall::Kind::Translate);
    c.point = {dx, dy};
    calls.push_back(c);
}

void RecordingGraphicsContext::scale(double sx, double sy) {
    State& s = stack_.back();
    s.scale.x *= sx;
    s.scale.y *= sy;
    auto c = make(DrawCall::Kind::Scale);
    c.point = {sx, sy};
    calls.push_back(c);
}

void RecordingGraphicsContext::clip(const Path& path) {
    auto c = make(DrawCall::Kind::Clip);
    c.path = path;
    calls.push_back(c);
}

void RecordingGraphicsContext::setAlpha(double alpha) {
    stack_.back().alpha *= alpha;
    auto c = make(DrawCall::Kind::SetAlpha);
    c.value = alpha;
    calls.push_back(c);
}

void RecordingGraphicsContext::setCompositingOperation(CompositingOperation op) {
    auto c = make(DrawCall::Kind::SetCompositing);
    c.op = op;
    calls.push_back(c);
}

void RecordingGraphicsContext::fill(const Path& path, const Color& color, FillRule) {
    auto c = make(DrawCall::Kind::Fill);
    c.path = path;
    c.color = color;
    calls.push_back(c);
}

void RecordingGraphicsContext::stroke(const Path& path, const Color& color, double lineWidth) {
    auto c = make(DrawCall::Kind::Stroke);
    c.path = path;
    c.color = color;
    c.lineWidth = lineWidth;
    calls.push_back(c);
}

void RecordingGraphicsContext::drawLinearGradient(const std::vector<GradientStop>& stops,
                                                  Point start, Point end) {
    auto c = make(DrawCall::Kind::Gradient);
    c.stops = stops;
    c.point = start;
    c.end = end;
    calls.push_back(c);
}

void RecordingGraphicsContext::drawImage(const Image& image, const Rect& rect,
                                         CompositingOperation op, double opacity,
                                         const std::optional<Color>& tint) {
    auto c = make(DrawCall::Kind::Image);
    c.image = &image;
    c.rect = rect;
    c.op = op;
    c.value = opacity;
    c.tint = tint;
    calls.push_back(c);
}

void RecordingGraphicsContext::drawText(std::string_view text, const Rect& rect,
                                        const TextStyle& style) {
    auto c = make(DrawCall::Kind::Text);
    c.text = std::string(text);
    c.rect = rect;
    c.style = style;
    calls.push_back(c);
}

ImagePtr RecordingGraphicsContext::makeImage() {
    BitmapRep rep{w_, h_, {}};
    return Image::withBitmap(std::move(rep), {double(w_), double(h_)});
}

std::vector<DrawCall> RecordingGraphicsContext::shapes() const {
    std::vector<DrawCall> out;
    for (const auto& c : calls) {
        if (c.kind == DrawCall::Kind::Fill || c.kind == DrawCall::Kind::Stroke) {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<DrawCall> RecordingGraphicsContext::ofKind(DrawCall::Kind kind) const {
    std::vector<DrawCall> out;
    for (const auto& c : calls) {
        if (c.kind == kind) {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace corvix
