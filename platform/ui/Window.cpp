#include "platform/ui/Window.h"

#include <cmath>

#include "platform/PlatformServices.h"
#include "platform/ui/Screen.h"

namespace corvix {

Window::Window(Rect contentRect, unsigned style)
    : style_(style), frame_(contentRect), router_(this) {
    setContentView(std::make_shared<View>(Rect(0, 0, contentRect.width(), contentRect.height())));
}

Window::~Window() {
    if (contentView_) {
        contentView_->setHostWindow(nullptr);
    }
}

void Window::propertiesChanged() {
    if (peer_) {
        peer_->propertiesChanged();
    }
}

void Window::setStyle(unsigned style) {
    style_ = style;
    propertiesChanged();
}

void Window::setLevel(WindowLevel level) {
    level_ = level;
    propertiesChanged();
}

void Window::setTitle(std::string title) {
    title_ = std::move(title);
    propertiesChanged();
}

void Window::setCanJoinAllSpaces(bool value) {
    allSpaces_ = value;
    propertiesChanged();
}

void Window::setBackgroundColor(std::optional<Color> color) {
    background_ = color;
    propertiesChanged();
}

void Window::setOpaque(bool opaque) {
    opaque_ = opaque;
    propertiesChanged();
}

void Window::setHasShadow(bool shadow) {
    shadow_ = shadow;
    propertiesChanged();
}

void Window::setIgnoresMouseEvents(bool value) {
    ignoresMouse_ = value;
    propertiesChanged();
}

void Window::setFrame(const Rect& frame, std::optional<WindowAnimation> animation) {
    lastAnimation_ = animation;
    frame_ = frame;
    if (contentView_) {
        contentView_->setFrame({0, 0, frame.width(), frame.height()});
    }
    if (peer_) {
        peer_->frameChanged(frame, animation);
    }
    router_.refreshTracking();
}

void Window::center() {
    ScreenService* screens = platformServices().screens;
    std::optional<Screen> main = screens ? screens->mainScreen() : std::nullopt;
    if (!main) {
        return;
    }
    const Rect area = main->visibleFrame;
    setFrame({std::round(area.midX() - frame_.width() / 2),
              std::round(area.midY() - frame_.height() / 2), frame_.width(), frame_.height()});
}

void Window::setContentView(std::shared_ptr<View> view) {
    if (contentView_) {
        contentView_->setHostWindow(nullptr);
    }
    contentView_ = std::move(view);
    if (contentView_) {
        contentView_->setFrame({0, 0, frame_.width(), frame_.height()});
        contentView_->setHostWindow(this);
    }
    router_.setRoot(contentView_);
    propertiesChanged();
}

void Window::ensurePeer() {
    if (!peer_) {
        if (WindowSystem* system = platformServices().windows) {
            peer_ = system->makePeer(*this);
        }
    }
}

void Window::setPeer(std::unique_ptr<WindowPeer> peer) {
    peer_ = std::move(peer);
}

void Window::orderFront() {
    ensurePeer();
    visible_ = true;
    if (peer_) {
        peer_->orderFront();
    }
}

void Window::orderOut() {
    visible_ = false;
    if (key_) {
        setKeyState(false);
    }
    router_.pointerLeft();
    if (peer_) {
        peer_->orderOut();
    }
}

void Window::makeKeyAndOrderFront() {
    orderFront();
    makeKeyWindow();
}

bool Window::canBecomeKeyWindow() const {
    return (style_ & WindowStyleTitled) != 0;
}

void Window::makeKeyWindow() {
    if (!canBecomeKeyWindow()) {
        return;
    }
    setKeyState(true);
    if (peer_) {
        peer_->makeKey();
    }
}

void Window::setKeyState(bool key) {
    if (key_ == key) {
        return;
    }
    key_ = key;
    if (contentView_) {
        contentView_->setNeedsDisplay();
    }
}

bool Window::makeFirstResponder(View* view) {
    View* current = firstResponder();
    if (current == view) {
        return true;
    }
    if (view && !view->acceptsFirstResponder()) {
        return false;
    }
    if (current && !current->resignFirstResponder()) {
        return false;
    }
    firstResponder_.reset();
    if (view) {
        if (!view->becomeFirstResponder()) {
            return false;
        }
        firstResponder_ = view->shared_from_this();
    }
    return true;
}

bool Window::sendEvent(const Event& event) {
    if (ignoresMouse_ && event.type != EventType::KeyDown && event.type != EventType::KeyUp) {
        return false;
    }
    return router_.dispatch(event);
}

void Window::performClose() {
    if (onClose) {
        onClose();
    }
    orderOut();
}

void Window::viewNeedsDisplay(View&) {
    if (peer_) {
        peer_->setNeedsDisplay();
    }
}

void Window::viewWillBeRemoved(View& view) {
    if (View* responder = firstResponder(); responder && responder->isDescendantOf(view)) {
        firstResponder_.reset();
    }
}

}  // namespace corvix
