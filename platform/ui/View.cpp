#include "platform/ui/View.h"

#include <algorithm>

#include "platform/ui/EventRouter.h"
#include "platform/ui/Window.h"

namespace corvix {

View::View(Rect frame) : frame_(frame) {}

View::~View() {
    for (auto& sub : subviews_) {
        sub->superview_ = nullptr;
    }
    if (layer_) {
        layer_->setHostView(nullptr);
    }
}

void View::setFrame(const Rect& frame) {
    setFrameOrigin(frame.origin);
    setFrameSize(frame.size);
}

void View::setFrameOrigin(Point origin) {
    if (origin == frame_.origin) {
        return;
    }
    frame_.origin = origin;
    if (layer_) {
        layer_->setFrame(frame_);
    }
    if (superview_) {
        superview_->setNeedsDisplay();
    }
    if (window()) {
        updateTrackingAreas();
    }
}

void View::setFrameSize(Size size) {
    if (size == frame_.size) {
        return;
    }
    Size old = frame_.size;
    frame_.size = size;
    if (layer_) {
        layer_->setFrame(frame_);
    }
    resizeSubviews(old);
    setNeedsLayout();
    setNeedsDisplay();
    if (window()) {
        updateTrackingAreas();
    }
}

void View::resizeSubviews(Size old) {
    double dw = frame_.size.width - old.width;
    double dh = frame_.size.height - old.height;
    for (auto& sub : subviews_) {
        unsigned m = sub->autoresizingMask_;
        if (m == AutoresizeNone) {
            continue;
        }
        Rect f = sub->frame_;
        auto share = [](double delta, bool a, bool b, bool c) {
            int n = int(a) + int(b) + int(c);
            return n == 0 ? 0.0 : delta / n;
        };
        double hx = share(dw, m & AutoresizeMinXMargin, m & AutoresizeWidthSizable,
                          m & AutoresizeMaxXMargin);
        if (m & AutoresizeMinXMargin) {
            f.origin.x += hx;
        }
        if (m & AutoresizeWidthSizable) {
            f.size.width += hx;
        }
        double hy = share(dh, m & AutoresizeMinYMargin, m & AutoresizeHeightSizable,
                          m & AutoresizeMaxYMargin);
        // In a flipped view the top margin is the low-y one.
        bool lowMargin = isFlipped() ? (m & AutoresizeMaxYMargin) : (m & AutoresizeMinYMargin);
        if (lowMargin) {
            f.origin.y += hy;
        }
        if (m & AutoresizeHeightSizable) {
            f.size.height += hy;
        }
        sub->setFrame(f);
    }
}

void View::setBoundsOrigin(Point origin) {
    if (origin == boundsOrigin_) {
        return;
    }
    boundsOrigin_ = origin;
    setNeedsDisplay();
    if (window()) {
        updateTrackingAreas();
    }
}

Rect View::visibleRect() const {
    if (isHiddenOrHasHiddenAncestor()) {
        return {};
    }
    Rect visible = bounds();
    const View* v = this;
    // Intersect with each ancestor's bounds, expressed back in this view's coordinates.
    while (v->superview_) {
        const View* s = v->superview_;
        Rect sb = s->bounds();
        Point a = s->convertToView({sb.minX(), sb.minY()}, this);
        Point b = s->convertToView({sb.maxX(), sb.maxY()}, this);
        Rect inSelf(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x),
                    std::abs(b.y - a.y));
        visible = visible.intersection(inSelf);
        v = s;
    }
    return visible;
}

void View::addSubview(std::shared_ptr<View> view) {
    addSubview(std::move(view), SubviewPosition::Above, nullptr);
}

void View::addSubview(std::shared_ptr<View> view, SubviewPosition position,
                      const View* relativeTo) {
    if (!view || view.get() == this) {
        return;
    }
    Window* oldWindow = view->window();
    view->removeFromSuperview();
    view->superview_ = this;
    auto it = subviews_.end();
    if (relativeTo) {
        auto rel = std::find_if(subviews_.begin(), subviews_.end(),
                                [relativeTo](const auto& v) { return v.get() == relativeTo; });
        if (rel != subviews_.end()) {
            it = position == SubviewPosition::Below ? rel : rel + 1;
        }
    } else if (position == SubviewPosition::Below) {
        it = subviews_.begin();
    }
    View* raw = view.get();
    if (subviews_.capacity() == 0) {
        // Most views hold a handful of subviews: one allocation instead of growing 1, 2, 4.
        subviews_.reserve(4);
        it = subviews_.end();
    }
    subviews_.insert(it, std::move(view));
    if (raw->layer_ && layer_) {
        layer_->setHostView(this);
    }
    if (oldWindow != raw->window()) {
        raw->windowChanged();
    }
    setNeedsDisplay();
}

void View::removeFromSuperview() {
    View* parent = superview_;
    if (!parent) {
        return;
    }
    auto keep = shared_from_this();
    Window* oldWindow = window();
    if (oldWindow) {
        oldWindow->viewWillBeRemoved(*this);
    }
    superview_ = nullptr;
    auto& list = parent->subviews_;
    list.erase(
        std::remove_if(list.begin(), list.end(), [this](const auto& v) { return v.get() == this; }),
        list.end());
    parent->setNeedsDisplay();
    if (oldWindow) {
        windowChanged();
    }
}

bool View::isDescendantOf(const View& other) const {
    for (const View* v = this; v; v = v->superview_) {
        if (v == &other) {
            return true;
        }
    }
    return false;
}

Window* View::window() const {
    const View* v = this;
    while (v->superview_) {
        v = v->superview_;
    }
    return v->hostWindow_;
}

void View::setHostWindow(Window* window) {
    if (hostWindow_ == window) {
        return;
    }
    if (hostWindow_) {
        hostWindow_->viewWillBeRemoved(*this);
    }
    hostWindow_ = window;
    windowChanged();
}

void View::windowChanged() {
    viewDidMoveToWindow();
    if (window()) {
        updateTrackingAreas();
        setNeedsDisplay();
    }
    for (auto& sub : std::vector<std::shared_ptr<View>>(subviews_)) {
        sub->windowChanged();
    }
}

void View::viewDidMoveToWindow() {}

Point View::convertFromSuperview(Point p) const {
    bool superFlipped = superview_ && superview_->isFlipped();
    double x = p.x - frame_.minX() + boundsOrigin_.x;
    double fromLow = superFlipped ? (frame_.maxY() - p.y) : (p.y - frame_.minY());
    double fromTop = frame_.height() - fromLow;
    double y = (isFlipped() ? fromTop : fromLow) + boundsOrigin_.y;
    return {x, y};
}

Point View::convertToSuperview(Point p) const {
    bool superFlipped = superview_ && superview_->isFlipped();
    double x = p.x - boundsOrigin_.x + frame_.minX();
    double local = p.y - boundsOrigin_.y;
    double fromLow = isFlipped() ? frame_.height() - local : local;
    double y = superFlipped ? frame_.maxY() - fromLow : frame_.minY() + fromLow;
    return {x, y};
}

Point View::convertFromView(Point p, const View* view) const {
    // Up from `view` to the window, then down to this view.
    for (const View* v = view; v; v = v->superview_) {
        p = v->convertToSuperview(p);
    }
    std::vector<const View*> chain;
    for (const View* v = this; v; v = v->superview_) {
        chain.push_back(v);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        p = (*it)->convertFromSuperview(p);
    }
    return p;
}

Point View::convertToView(Point p, const View* view) const {
    for (const View* v = this; v; v = v->superview_) {
        p = v->convertToSuperview(p);
    }
    if (!view) {
        return p;
    }
    return view->convertFromView(p, nullptr);
}

Rect View::convertRectToView(const Rect& r, const View* view) const {
    Point a = convertToView({r.minX(), r.minY()}, view);
    Point b = convertToView({r.maxX(), r.maxY()}, view);
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y)};
}

void View::setHidden(bool hidden) {
    if (hidden == hidden_) {
        return;
    }
    hidden_ = hidden;
    if (superview_) {
        superview_->setNeedsDisplay();
    }
    setNeedsDisplay();
}

bool View::isHiddenOrHasHiddenAncestor() const {
    for (const View* v = this; v; v = v->superview_) {
        if (v->hidden_) {
            return true;
        }
    }
    return false;
}

void View::setAlphaValue(double alpha) {
    alpha_ = alpha;
    setNeedsDisplay();
}

void View::setNeedsDisplay() {
    needsDisplay_ = true;
    ++displayRequests_;
    if (Window* w = window()) {
        w->viewNeedsDisplay(*this);
    }
}

void View::draw(GraphicsContext&, const Rect&) {}

void View::setNeedsLayout() {
    needsLayout_ = true;
    if (Window* w = window()) {
        w->viewNeedsDisplay(*this);
    }
}

void View::layoutSubtreeIfNeeded() {
    if (needsLayout_) {
        needsLayout_ = false;
        layout();
    }
    for (auto& sub : std::vector<std::shared_ptr<View>>(subviews_)) {
        sub->layoutSubtreeIfNeeded();
    }
}

void View::setWantsLayer(bool wants) {
    if (wants && !layer_) {
        layer_ = std::make_shared<Layer>();
        layer_->setFrame(frame_);
        layer_->setHostView(this);
    } else if (!wants && layer_) {
        layer_->setHostView(nullptr);
        layer_.reset();
    }
    setNeedsDisplay();
}

View* View::hitTest(Point p) {
    if (hidden_ || !frame_.contains(p)) {
        return nullptr;
    }
    Point local = convertFromSuperview(p);
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        if (View* hit = (*it)->hitTest(local)) {
            return hit;
        }
    }
    return this;
}

// Unhandled presses travel up the view chain, so a label over a clickable row lets the row
// take the click.
void View::mouseDown(const Event& event) {
    if (superview_) {
        superview_->mouseDown(event);
    }
}

void View::mouseDragged(const Event& event) {
    if (superview_) {
        superview_->mouseDragged(event);
    }
}

void View::mouseUp(const Event& event) {
    if (superview_) {
        superview_->mouseUp(event);
    }
}

void View::mouseMoved(const Event&) {}
void View::mouseEntered(const Event&) {}
void View::mouseExited(const Event&) {}

void View::rightMouseDown(const Event& event) {
    if (superview_) {
        superview_->rightMouseDown(event);
    }
}

void View::scrollWheel(const Event& event) {
    if (superview_) {
        superview_->scrollWheel(event);
    } else {
        EventRouter::noResponderFor(event);
    }
}

void View::keyDown(const Event& event) {
    if (superview_) {
        superview_->keyDown(event);
    } else {
        EventRouter::noResponderFor(event);
    }
}

void View::keyUp(const Event& event) {
    if (superview_) {
        superview_->keyUp(event);
    } else {
        EventRouter::noResponderFor(event);
    }
}

bool View::acceptKeyboardEntry(bool forward) {
    if (isHidden()) {
        return false;
    }
    const auto views = subviews();  // an entry may change the tree
    if (forward) {
        return std::any_of(views.begin(), views.end(),
                           [](const auto& view) { return view->acceptKeyboardEntry(true); });
    }
    return std::any_of(views.rbegin(), views.rend(),
                       [](const auto& view) { return view->acceptKeyboardEntry(false); });
}

bool View::acceptsFirstMouse(const Event&) const {
    return false;
}

void View::addTrackingArea(std::shared_ptr<TrackingArea> area) {
    if (!area) {
        return;
    }
    area->owner_ = this;
    trackingAreas_.push_back(std::move(area));
}

void View::replaceHoverTrackingArea(std::shared_ptr<TrackingArea>& slot, Rect rect,
                                    unsigned extraOptions) {
    if (slot) {
        removeTrackingArea(slot);
    }
    slot =
        std::make_shared<TrackingArea>(rect, TrackingMouseEnteredAndExited | TrackingActiveAlways |
                                                 TrackingInVisibleRect | extraOptions);
    addTrackingArea(slot);
}

void View::removeTrackingArea(const std::shared_ptr<TrackingArea>& area) {
    std::erase(trackingAreas_, area);
    if (area && area->owner_ == this) {
        area->owner_ = nullptr;
    }
}

namespace {

ObserverList<View&, AccessibilityNotification>& accessibilityObservers() {
    static ObserverList<View&, AccessibilityNotification> observers;
    return observers;
}

}  // namespace

void View::postAccessibilityNotification(AccessibilityNotification notification) {
    accessibilityObservers().notify(*this, notification);
}

Subscription View::observeAccessibilityNotifications(
    std::function<void(View&, AccessibilityNotification)> observer) {
    return accessibilityObservers().add(std::move(observer));
}

}  // namespace corvix
