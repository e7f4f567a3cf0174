#include "platform/testing/HeadlessUi.h"

#include "platform/testing/RecordingGraphicsContext.h"

namespace corvix {

HeadlessScreens::HeadlessScreens() {
    Screen main;
    main.name = "Headless";
    main.frame = Rect(0, 0, 1440, 900);
    main.visibleFrame = Rect(0, 0, 1440, 876);
    list.push_back(main);
}

void HeadlessAppearance::setScheme(ColorScheme scheme) {
    if (scheme == scheme_) {
        return;
    }
    scheme_ = scheme;
    Color::setCurrentScheme(scheme);
    notifyChanged();
}

namespace {

std::uint32_t be32(const std::vector<std::uint8_t>& d, std::size_t i) {
    return (std::uint32_t(d[i]) << 24) | (std::uint32_t(d[i + 1]) << 16) |
           (std::uint32_t(d[i + 2]) << 8) | d[i + 3];
}

bool dimensions(const std::vector<std::uint8_t>& d, int& w, int& h) {
    static const std::uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    if (d.size() >= 24 && std::equal(png, png + 8, d.begin())) {
        w = static_cast<int>(be32(d, 16));
        h = static_cast<int>(be32(d, 20));
        return w > 0 && h > 0;
    }
    if (d.size() >= 10 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F') {
        w = d[6] | (d[7] << 8);
        h = d[8] | (d[9] << 8);
        return w > 0 && h > 0;
    }
    if (d.size() >= 4 && d[0] == 0xff && d[1] == 0xd8) {
        std::size_t i = 2;
        while (i + 9 < d.size()) {
            if (d[i] != 0xff) {
                return false;
            }
            std::uint8_t marker = d[i + 1];
            std::size_t len = (d[i + 2] << 8) | d[i + 3];
            if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 &&
                marker != 0xcc) {
                h = (d[i + 5] << 8) | d[i + 6];
                w = (d[i + 7] << 8) | d[i + 8];
                return w > 0 && h > 0;
            }
            i += 2 + len;
        }
    }
    return false;
}

}  // namespace

ImagePtr HeadlessImageService::decode(const std::vector<std::uint8_t>& data) {
    int w = 0, h = 0;
    if (!dimensions(data, w, h)) {
        return nullptr;
    }
    return Image::withBitmap(BitmapRep{w, h, {}}, {double(w), double(h)});
}

std::unique_ptr<BitmapContext> HeadlessImageService::makeBitmapContext(int w, int h) {
    if (w <= 0 || h <= 0) {
        return nullptr;
    }
    return std::make_unique<RecordingGraphicsContext>(w, h);
}

std::shared_ptr<StatusItem> HeadlessStatusBar::statusItem(double length) {
    auto item = std::make_shared<StatusItem>(length);
    items.push_back(item);
    return item;
}

void HeadlessStatusBar::removeStatusItem(const std::shared_ptr<StatusItem>& item) {
    std::erase(items, item);
}

void EventDriver::send(EventType type, Point p) {
    Event e;
    e.type = type;
    e.locationInWindow = p;
    router_.dispatch(e);
}

void EventDriver::moveTo(Point p) {
    send(EventType::MouseMoved, p);
}
void EventDriver::press(Point p) {
    send(EventType::MouseDown, p);
}
void EventDriver::drag(Point p) {
    send(EventType::MouseDragged, p);
}
void EventDriver::release(Point p) {
    send(EventType::MouseUp, p);
}

void EventDriver::click(Point p) {
    moveTo(p);
    press(p);
    release(p);
}

void EventDriver::key(KeyCode code, std::string characters, unsigned modifiers) {
    Event e;
    e.type = EventType::KeyDown;
    e.keyCode = code;
    e.characters = std::move(characters);
    e.modifiers = modifiers;
    router_.dispatch(e);
}

void EventDriver::scroll(Point p, double dx, double dy) {
    Event e;
    e.type = EventType::ScrollWheel;
    e.locationInWindow = p;
    e.scrollDeltaX = dx;
    e.scrollDeltaY = dy;
    router_.dispatch(e);
}

Point windowPoint(const View& view, Point p) {
    return view.convertToView(p, nullptr);
}

}  // namespace corvix
