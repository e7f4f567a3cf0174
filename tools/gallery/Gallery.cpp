// Renders the small controls in each of their states, in light and dark, to PNG files:
//   corvix_gallery [output directory]   (default out/gallery; QT_QPA_PLATFORM=offscreen works)

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ActionView.h"
#include "controls/InlineColorControls.h"
#include "controls/MusicAccent.h"
#include "controls/MusicArtworkView.h"
#include "controls/MusicPanelView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "menu/OrbeluneLightMenuItem.h"
#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/QtServices.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewRenderer.h"
#include "platform/ui/Window.h"

using namespace corvix;

namespace {

constexpr double kScale = 2;  // drawn at 2x so the pictures show detail

// A menu-like backdrop for one row, so controls are seen where they live.
std::shared_ptr<View> menuRow(Size size) {
    auto row = std::make_shared<View>(Rect(0, 0, size.width, size.height));
    return row;
}

QImage render(View& root, ColorScheme scheme) {
    Color::setCurrentScheme(scheme);
    Size s = root.frame().size;
    QImage image(int(s.width * kScale), int(s.height * kScale),
                 QImage::Format_ARGB32_Premultiplied);
    QColor backdrop = scheme == ColorScheme::Dark ? QColor(40, 40, 44) : QColor(246, 246, 247);
    image.fill(backdrop);
    QPainter painter(&image);
    painter.scale(kScale, kScale);
    painter.translate(0, s.height);
    painter.scale(1, -1);
    QtGraphicsContext ctx(painter);
    // Past every animation: the settled look.
    renderViewTree(root, ctx, Duration(std::chrono::hours(1)));
    return image;
}

struct Shot {
    std::string name;
    std::function<std::shared_ptr<View>()> make;
};

std::shared_ptr<TextField> label(const std::string& text, Rect frame, double size = 13) {
    auto l = TextField::label(text);
    l->setFrame(frame);
    l->setFont(Font::system(size));
    return l;
}

std::shared_ptr<View> switchRow(bool on, bool enabled) {
    auto row = menuRow({326, 32});
    auto icon = std::make_shared<ImageView>(Rect(14, 8, 16, 16));
    icon->setImage(systemSymbolImage("lightbulb"));
    icon->setContentTintColor(Color::system(SystemColor::SecondaryLabel));
    icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    row->addSubview(icon);
    row->addSubview(label("Living Room Lamp", {40, 7, 228, 17}));
    auto sw = std::make_shared<OrbeluneToggleSwitch>(Rect(268, 4, 44, 24));
    sw->setOn(on);
    sw->setEnabled(enabled);
    row->addSubview(sw);
    return row;
}

std::shared_ptr<View> actionRow(bool colours, int state, std::shared_ptr<Window>& keep) {
    // state: 0 normal, 1 hover, 2 pressed; driven through real events.
    keep = std::make_shared<Window>(Rect(0, 0, 326, 30), WindowStyleBorderless);
    auto view = std::make_shared<ActionView>(Rect(0, 0, 326, 30));
    view->setCornerRadius(8);
    Color accent = Color::system(SystemColor::ControlAccent);
    if (colours) {
        view->setHoverFillColor(accent.withAlphaComponent(0.10));
        view->setHoverStrokeColor(accent.withAlphaComponent(0.16));
        view->setPressedFillColor(accent.withAlphaComponent(0.20));
        view->setPressedStrokeColor(accent.withAlphaComponent(0.28));
    } else {
        view->setFillColor(Color::system(SystemColor::Control).withAlphaComponent(0.16));
        view->setStrokeColor(Color::system(SystemColor::Separator).withAlphaComponent(0.22));
    }
    auto icon = std::make_shared<ImageView>(Rect(14, 7, 16, 16));
    icon->setImage(systemSymbolImage("gearshape"));
    icon->setContentTintColor(Color::system(SystemColor::SecondaryLabel));
    icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    view->addSubview(icon);
    view->addSubview(label("Settings...", {40, 7, 272, 17}));
    keep->contentView()->addSubview(view);
    keep->contentView()->layoutSubtreeIfNeeded();
    Event e;
    e.locationInWindow = {120, 15};
    if (state >= 1) {
        e.type = EventType::MouseMoved;
        keep->sendEvent(e);
    }
    if (state == 2) {
        e.type = EventType::MouseDown;
        keep->sendEvent(e);
    }
    return keep->contentView();
}

std::shared_ptr<View> panel(bool zeroInsets) {
    auto row = menuRow({100, 40});
    auto p = std::make_shared<MusicPanelView>(Rect(0, 0, 100, 40));
    bool dark = Color::currentScheme() == ColorScheme::Dark;
    p->fillColor = dark ? Color::calibratedWhite(0.16, 0.52) : Color::calibratedWhite(0.98, 0.58);
    if (dark) {
        p->fillColor = Color::calibratedRGB(0.10, 0.10, 0.11, 0.92);
    } else {
        p->fillColor = Color::calibratedRGB(0.97, 0.96, 0.95, 0.98);
    }
    p->strokeColor = Color::system(SystemColor::Separator).withAlphaComponent(dark ? 0.28 : 0.38);
    if (zeroInsets) {
        p->inset = {0, 0, 0, 0};
    }
    row->addSubview(p);
    return row;
}

ImagePtr sampleArtwork() {
    // A small gradient "cover" drawn in a Qt bitmap, as a decoded image would arrive.
    QImage img(128, 128, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QLinearGradient g(0, 0, 128, 128);
    g.setColorAt(0, QColor(236, 72, 96));
    g.setColorAt(1, QColor(58, 34, 120));
    p.fillRect(img.rect(), g);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawEllipse(QPointF(84, 44), 30, 30);
    p.end();
    return Image::withBitmap(toBitmapRep(img), {128, 128});
}

std::shared_ptr<View> artwork(bool withImage) {
    auto row = menuRow({72, 72});
    auto art = std::make_shared<MusicArtworkView>(Rect(8, 8, 56, 56));
    art->setAccentColor(musicAccentRed);
    art->setFallback(nullptr);
    auto note = withSymbolConfiguration(systemSymbolImage("music.note"), 20, FontWeight::Regular);
    // The fallback symbol drawn in white, as the menu's now-playing card does.
    if (note) {
        auto white = Image::drawn(note->size(), [note](GraphicsContext& ctx, const Rect& r) {
            ctx.drawImage(*note, r, CompositingOperation::SourceOver, 1.0, Color::white());
        });
        art->setFallback(white);
    }
    if (withImage) {
        art->setImage(sampleArtwork());
    }
    row->addSubview(art);
    return row;
}

// The demo's colour light with no picker, the colour picker or the temperature picker open.
std::shared_ptr<View> lightRow(OrbeluneLightMenuItem::ExpandedMode mode) {
    const auto device = std::make_shared<const JsonObject>(
        JsonObject{{"id", "light-ceiling"},
                   {"name", "Ceiling Light"},
                   {"power", {{"isOn", true}}},
                   {"brightness", {{"value", 70}, {"command", "set_brightness"}}},
                   {"color", {{"command", "set_color"}, {"hue", 32}, {"saturation", 60}}},
                   {"colorTemperature", {{"command", "set_color_temp"}, {"value", 300}}}});
    auto item = OrbeluneLightMenuItem::make(
        device, objectMember(*device, "brightness"), objectMember(*device, "color"),
        objectMember(*device, "colorTemperature"), objectMember(*device, "power"), 326, {}, nullptr,
        nullptr, nullptr, nullptr, nullptr);
    item->expandedMode = mode;
    item->relayout();
    return item->containerView;
}

// All pictures of one scheme on one page, each with its name, for a quick look.
void writeSheet(const std::vector<std::pair<QString, QImage>>& shots, ColorScheme scheme,
                const QString& path) {
    int width = 0, height = 16;
    for (const auto& [name, image] : shots) {
        width = std::max(width, image.width() + 340);
        height += std::max(image.height(), 40) + 16;
    }
    QImage sheet(width + 32, height, QImage::Format_ARGB32_Premultiplied);
    bool dark = scheme == ColorScheme::Dark;
    sheet.fill(dark ? QColor(30, 30, 33) : QColor(255, 255, 255));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f = QGuiApplication::font();
    f.setPixelSize(22);
    p.setFont(f);
    p.setPen(dark ? QColor(220, 220, 225) : QColor(40, 40, 45));
    int y = 16;
    for (const auto& [name, image] : shots) {
        int h = std::max(image.height(), 40);
        p.drawText(QRect(16, y, 320, h), Qt::AlignVCenter, name);
        p.drawImage(QPoint(340, y + (h - image.height()) / 2), image);
        y += h + 16;
    }
    p.end();
    sheet.save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QtServices qt;
    PlatformServices services;
    qt.installInto(services);
    installPlatformServices(services);

    QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("out/gallery");
    QDir().mkpath(outDir);

    std::vector<std::shared_ptr<Window>> windows(6);
    std::vector<Shot> shots = {
        {"switch-on", [] { return switchRow(true, true); }},
        {"switch-off", [] { return switchRow(false, true); }},
        {"switch-on-disabled", [] { return switchRow(true, false); }},
        {"switch-off-disabled", [] { return switchRow(false, false); }},
        {"action-normal", [&] { return actionRow(true, 0, windows[0]); }},
        {"action-hover", [&] { return actionRow(true, 1, windows[1]); }},
        {"action-pressed", [&] { return actionRow(true, 2, windows[2]); }},
        {"action-plain-normal", [&] { return actionRow(false, 0, windows[3]); }},
        {"action-plain-hover", [&] { return actionRow(false, 1, windows[4]); }},
        {"action-plain-pressed", [&] { return actionRow(false, 2, windows[5]); }},
        {"panel-default-insets", [] { return panel(false); }},
        {"panel-zero-insets", [] { return panel(true); }},
        {"artwork-image", [] { return artwork(true); }},
        {"artwork-fallback", [] { return artwork(false); }},
        {"light-row", [] { return lightRow(OrbeluneLightMenuItem::ExpandedMode::none); }},
        {"light-color-picker", [] { return lightRow(OrbeluneLightMenuItem::ExpandedMode::color); }},
        {"light-temperature-picker",
         [] { return lightRow(OrbeluneLightMenuItem::ExpandedMode::temp); }},
    };
    int written = 0;
    for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
        const char* suffix = scheme == ColorScheme::Dark ? "dark" : "light";
        Color::setCurrentScheme(scheme);
        std::vector<std::pair<QString, QImage>> sheet;
        for (auto& shot : shots) {
            auto view = shot.make();
            QImage image = render(*view, scheme);
            sheet.emplace_back(QString::fromStdString(shot.name), image);
            QString path = QStringLiteral("%1/%2-%3.png")
                               .arg(outDir, QString::fromStdString(shot.name), suffix);
            if (image.save(path)) {
                ++written;
            } else {
                std::fprintf(stderr, "could not write %s\n", path.toLocal8Bit().constData());
            }
        }
        writeSheet(sheet, scheme, QStringLiteral("%1/sheet-%2.png").arg(outDir, suffix));
    }
    std::printf("wrote %d pictures to %s\n", written, outDir.toLocal8Bit().constData());
    installPlatformServices({});
    return written == int(shots.size()) * 2 ? 0 : 1;
}
