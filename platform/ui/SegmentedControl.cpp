#include "platform/ui/SegmentedControl.h"

#include <cmath>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

SegmentedControl::SegmentedControl(Rect frame) : Control(frame) {
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::RadioGroup);
}

std::shared_ptr<SegmentedControl> SegmentedControl::withLabels(
    const std::vector<std::string>& labels, SegmentTracking tracking) {
    auto c = std::make_shared<SegmentedControl>(Rect(0, 0, 60.0 * labels.size(), 24));
    c->setSegmentCount(static_cast<int>(labels.size()));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        c->segments_[i].label = labels[i];
    }
    c->tracking_ = tracking;
    return c;
}

void SegmentedControl::setSegmentCount(int count) {
    segments_.resize(static_cast<std::size_t>(std::max(count, 0)));
    if (selected_ >= count) {
        selected_ = -1;
    }
    setNeedsDisplay();
}

void SegmentedControl::setLabel(std::string label, int segment) {
    segments_.at(segment).label = std::move(label);
    setNeedsDisplay();
}

void SegmentedControl::setImage(ImagePtr image, int segment) {
    segments_.at(segment).image = std::move(image);
    setNeedsDisplay();
}

void SegmentedControl::setEnabled(bool enabled, int segment) {
    segments_.at(segment).enabled = enabled;
    setNeedsDisplay();
}

void SegmentedControl::setSelectedSegment(int segment) {
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (tracking_ != SegmentTracking::SelectAny || static_cast<int>(i) == segment) {
            segments_[i].selected = static_cast<int>(i) == segment;
        }
    }
    selected_ = segment >= 0 && segment < segmentCount() ? segment : -1;
    setNeedsDisplay();
}

void SegmentedControl::setSelected(bool selected, int segment) {
    if (tracking_ == SegmentTracking::SelectAny) {
        segments_.at(segment).selected = selected;
        if (selected) {
            selected_ = segment;
        }
        setNeedsDisplay();
    } else {
        setSelectedSegment(selected ? segment : (selected_ == segment ? -1 : selected_));
    }
}

int SegmentedControl::segmentAt(double x) const {
    if (segments_.empty() || x < 0 || x >= bounds().width()) {
        return -1;
    }
    return static_cast<int>(std::floor(x / (bounds().width() / segments_.size())));
}

void SegmentedControl::mouseDown(const Event& event) {
    if (!isEnabled()) {
        return;
    }
    Point p = convertFromView(event.locationInWindow, nullptr);
    int s = segmentAt(p.x);
    pressed_ = s >= 0 && segments_[s].enabled ? s : -1;
    setTracking(pressed_ >= 0);
    setNeedsDisplay();
}

void SegmentedControl::mouseUp(const Event& event) {
    int pressed = pressed_;
    pressed_ = -1;
    setTracking(false);
    setNeedsDisplay();
    Point p = convertFromView(event.locationInWindow, nullptr);
    if (pressed < 0 || !bounds().contains(p) || segmentAt(p.x) != pressed) {
        return;
    }
    switch (tracking_) {
        case SegmentTracking::SelectOne:
            setSelectedSegment(pressed);
            break;
        case SegmentTracking::SelectAny:
            setSelected(!segments_[pressed].selected, pressed);
            break;
        case SegmentTracking::Momentary:
            selected_ = pressed;
            break;
    }
    sendAction();
}

void SegmentedControl::draw(GraphicsContext& ctx, const Rect&) {
    Rect b = bounds().insetBy(1, 2);
    double alpha = isEnabled() ? 1.0 : 0.45;
    const bool rounded = style_ == SegmentStyle::Rounded;
    ctx.fillRoundedRect(b, rounded ? b.height() / 2 : 6,
                        Color::system(SystemColor::Label).withAlphaComponent(0.07));
    if (segments_.empty()) {
        return;
    }
    double w = b.width() / segments_.size();
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        Rect r(b.minX() + w * i, b.minY(), w, b.height());
        const Segment& s = segments_[i];
        if (s.selected && tracking_ != SegmentTracking::Momentary) {
            Rect face = r.insetBy(1.5, 1.5);
            const double radius = rounded ? face.height() / 2 : 5;
            ctx.fillRoundedRect(face.offsetBy(0, -0.5), radius,
                                Color::black().withAlphaComponent(0.08));
            // The selected face stands out from the track: white on a light ground, a lighter
            // grey on a dark one (the dark control background is light, for switch knobs).
            const SystemColor faceColor = Color::currentScheme() == ColorScheme::Dark
                                              ? SystemColor::Control
                                              : SystemColor::ControlBackground;
            ctx.fillRoundedRect(face, radius, Color::system(faceColor).withAlphaComponent(alpha));
        } else if (static_cast<int>(i) == pressed_) {
            const Rect face = r.insetBy(1.5, 1.5);
            ctx.fillRoundedRect(face, rounded ? face.height() / 2 : 5,
                                Color::system(SystemColor::Label).withAlphaComponent(0.1));
        } else if (i > 0 && !segments_[i - 1].selected) {
            ctx.fillRect({r.minX(), r.minY() + 5, 0.5, r.height() - 10},
                         Color::system(SystemColor::Separator));
        }
        Color text = Color::system(SystemColor::ControlText)
                         .withAlphaComponent(0.85 * alpha * (s.enabled ? 1 : 0.45));
        if (s.image) {
            Rect ir(r.midX() - 8, r.midY() - 8, 16, 16);
            ctx.drawImage(*s.image, ir, CompositingOperation::SourceOver, alpha, text);
        } else {
            Font f = font();
            f.pointSize = controlSize() == ControlSize::Small ? 11 : 12;
            if (s.selected) {
                f.weight = FontWeight::Medium;
            }
            ctx.drawText(s.label, r.insetBy(4, 0), TextStyle{f, text, TextAlignment::Center});
        }
    }
}

}  // namespace corvix
