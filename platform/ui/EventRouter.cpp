#include "platform/ui/EventRouter.h"

#include <algorithm>
#include <utility>

#include "platform/ui/Window.h"

namespace corvix {

namespace {

bool trackingActive(const TrackingArea& area, const Window* window) {
    if (area.options() & TrackingActiveAlways) {
        return true;
    }
    return window && window->isKeyWindow();
}

void collectAreas(View& view, Point inSuperview, const Window* window,
                  std::vector<std::shared_ptr<TrackingArea>>& out) {
    if (view.isHidden()) {
        return;
    }
    Point local = view.convertFromSuperview(inSuperview);
    for (const auto& area : view.trackingAreas()) {
        if (!trackingActive(*area, window)) {
            continue;
        }
        Rect r = (area->options() & TrackingInVisibleRect) ? view.visibleRect() : area->rect();
        if (r.contains(local)) {
            out.push_back(area);
        }
    }
    for (const auto& sub : view.subviews()) {
        collectAreas(*sub, local, window, out);
    }
}

// Set while a key or wheel event goes up a view chain; cleared when it falls off the end.
bool* gEventTaken = nullptr;

// Runs one delivery up the responder chain and tells whether a view took the event.
template <typename Deliver>
bool deliverUpTheChain(Deliver&& deliver) {
    bool taken = true;
    bool* outer = std::exchange(gEventTaken, &taken);
    deliver();
    gEventTaken = outer;
    return taken;
}

}  // namespace

void EventRouter::noResponderFor(const Event&) {
    if (gEventTaken) {
        *gEventTaken = false;
    }
}

void EventRouter::setRoot(std::shared_ptr<View> root) {
    pointerLeft(lastTimestamp_);
    pressed_.reset();
    root_ = std::move(root);
}

bool EventRouter::dispatch(const Event& event) {
    if (!root_) {
        return false;
    }
    lastTimestamp_ = event.timestamp;
    switch (event.type) {
        case EventType::MouseDown: {
            track(event);
            View* hit = root_->hitTest(event.locationInWindow);
            if (!hit) {
                return false;
            }
            auto acceptsFirstMouse = [&event](View* v) {
                for (; v; v = v->superview()) {
                    if (v->acceptsFirstMouse(event)) {
                        return true;
                    }
                }
                return false;
            };
            if (window_ && !window_->isKeyWindow() && !acceptsFirstMouse(hit)) {
                // The click only activates the window.
                if (window_->canBecomeKeyWindow()) {
                    window_->makeKeyWindow();
                }
                return false;
            }
            if (window_ && window_->canBecomeKeyWindow() && !window_->isKeyWindow()) {
                window_->makeKeyWindow();
            }
            pressed_ = hit->shared_from_this();
            hit->mouseDown(event);
            return true;
        }
        case EventType::MouseDragged: {
            track(event);
            if (auto view = pressed_.lock()) {
                view->mouseDragged(event);
                return true;
            }
            return false;
        }
        case EventType::MouseUp: {
            auto view = pressed_.lock();
            pressed_.reset();
            if (view) {
                view->mouseUp(event);
            }
            track(event);
            return view != nullptr;
        }
        case EventType::MouseMoved:
            track(event);
            return true;
        case EventType::RightMouseDown:
        case EventType::ScrollWheel: {
            View* hit = root_->hitTest(event.locationInWindow);
            if (!hit) {
                return false;
            }
            if (event.type == EventType::ScrollWheel) {
                return deliverUpTheChain([&] { hit->scrollWheel(event); });
            }
            hit->rightMouseDown(event);
            return true;
        }
        case EventType::KeyDown:
        case EventType::KeyUp: {
            View* target = window_ ? window_->firstResponder() : nullptr;
            if (!target || !target->isDescendantOf(*root_)) {
                return false;
            }
            auto keep = target->shared_from_this();
            return deliverUpTheChain([&] {
                if (event.type == EventType::KeyDown) {
                    target->keyDown(event);
                } else {
                    target->keyUp(event);
                }
            });
        }
        case EventType::MouseEntered:
        case EventType::MouseExited:
            return false;
    }
    return false;
}

void EventRouter::track(const Event& event) {
    pointerKnown_ = true;
    lastPointer_ = event.locationInWindow;
    std::vector<std::shared_ptr<TrackingArea>> now;
    if (root_) {
        collectAreas(*root_, event.locationInWindow, window_, now);
    }
    std::vector<std::shared_ptr<TrackingArea>> before;
    for (auto& weak : inside_) {
        if (auto area = weak.lock()) {
            before.push_back(area);
        }
    }
    auto contains = [](const auto& list, const std::shared_ptr<TrackingArea>& a) {
        return std::find(list.begin(), list.end(), a) != list.end();
    };
    auto send = [&](const std::shared_ptr<TrackingArea>& area, EventType type) {
        View* owner = area->owner();
        if (!owner) {
            return;
        }
        Event e = event;
        e.type = type;
        e.trackingArea = area;
        auto keep = owner->shared_from_this();
        if (type == EventType::MouseExited) {
            owner->mouseExited(e);
        } else if (type == EventType::MouseEntered) {
            owner->mouseEntered(e);
        } else {
            owner->mouseMoved(e);
        }
    };
    for (auto& area : before) {
        if (!contains(now, area) && (area->options() & TrackingMouseEnteredAndExited)) {
            send(area, EventType::MouseExited);
        }
    }
    for (auto& area : now) {
        if (!contains(before, area) && (area->options() & TrackingMouseEnteredAndExited)) {
            send(area, EventType::MouseEntered);
        }
    }
    if (event.type == EventType::MouseMoved || event.type == EventType::MouseDragged) {
        for (auto& area : now) {
            if (area->options() & TrackingMouseMoved) {
                send(area, EventType::MouseMoved);
            }
        }
    }
    inside_.assign(now.begin(), now.end());
}

void EventRouter::pointerLeft(Duration timestamp) {
    std::vector<std::shared_ptr<TrackingArea>> before;
    for (auto& weak : inside_) {
        if (auto area = weak.lock()) {
            before.push_back(area);
        }
    }
    inside_.clear();
    pointerKnown_ = false;
    for (auto& area : before) {
        View* owner = area->owner();
        if (owner && (area->options() & TrackingMouseEnteredAndExited)) {
            Event e;
            e.type = EventType::MouseExited;
            e.locationInWindow = lastPointer_;
            e.timestamp = timestamp;
            e.trackingArea = area;
            auto keep = owner->shared_from_this();
            owner->mouseExited(e);
        }
    }
}

void EventRouter::refreshTracking() {
    if (!pointerKnown_) {
        return;
    }
    Event e;
    e.type = EventType::MouseEntered;  // neither moved nor dragged: no move reports
    e.locationInWindow = lastPointer_;
    e.timestamp = lastTimestamp_;
    track(e);
}

}  // namespace corvix
