#include "platform/qt/QtDesktopServices.h"

#include <QBuffer>
#include <QColorDialog>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QImageReader>
#include <QPalette>
#include <QScreen>
#include <QUrl>

#ifdef CORVIX_QT_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#endif

#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/QtWindowSystem.h"

namespace corvix {

QtScreens::QtScreens() {
    for (QScreen* s : QGuiApplication::screens()) {
        watch(s);
    }
    connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* s) {
        watch(s);
        notifyScreensChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] { notifyScreensChanged(); });
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this] { notifyScreensChanged(); });
}

void QtScreens::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { notifyScreensChanged(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { notifyScreensChanged(); });
}

std::vector<Screen> QtScreens::screens() const {
    std::vector<Screen> out;
    QScreen* primary = QGuiApplication::primaryScreen();
    auto add = [&out](QScreen* s) {
        Screen screen;
        screen.name = s->name().toStdString();
        screen.frame = fromQtScreenRect(s->geometry());
        screen.visibleFrame = fromQtScreenRect(s->availableGeometry());
        screen.backingScaleFactor = s->devicePixelRatio();
        // Desktops here report no camera housing: no inset and no auxiliary areas.
        out.push_back(screen);
    };
    if (primary) {
        add(primary);
    }
    for (QScreen* s : QGuiApplication::screens()) {
        if (s != primary) {
            add(s);
        }
    }
    return out;
}

Point QtScreens::mouseLocation() const {
    return fromQtScreenPoint(QCursor::pos());
}

QtAppearance::QtAppearance() {
#ifdef CORVIX_QT_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "org.freedesktop.portal.Settings", "Read");
        call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
        QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            QVariant v = reply.arguments().first();
            // The value comes wrapped in one or two variants.
            while (v.canConvert<QDBusVariant>()) {
                v = v.value<QDBusVariant>().variant();
            }
            portalValue_ = v.toInt();
        }
        bus.connect("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                    "org.freedesktop.portal.Settings", "SettingChanged", this,
                    SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
    }
#endif
    qApp->installEventFilter(this);
    scheme_ = ColorScheme::Light;
    update();
}

void QtAppearance::portalSettingChanged(const QString& ns, const QString& key,
                                        const QDBusVariant& v) {
#ifdef CORVIX_QT_DBUS
    if (ns == "org.freedesktop.appearance" && key == "color-scheme") {
        QVariant value = v.variant();
        while (value.canConvert<QDBusVariant>()) {
            value = value.value<QDBusVariant>().variant();
        }
        portalValue_ = value.toInt();
        update();
    }
#else
    (void)ns;
    (void)key;
    (void)v;
#endif
}

bool QtAppearance::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        update();
    }
    return false;
}

void QtAppearance::update() {
    ColorScheme next;
    if (portalValue_ == 1) {
        next = ColorScheme::Dark;
    } else if (portalValue_ == 2) {
        next = ColorScheme::Light;
    } else {
        QColor window = QGuiApplication::palette().color(QPalette::Window);
        next = window.lightness() < 128 ? ColorScheme::Dark : ColorScheme::Light;
    }
    bool changed = next != scheme_ || next != Color::currentScheme();
    scheme_ = next;
    Color::setCurrentScheme(next);
    if (changed) {
        notifyChanged();
    }
}

bool QtWorkspace::openURL(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

ImagePtr QtImageService::decode(const std::vector<std::uint8_t>& data) {
    QByteArray bytes(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    auto tooLarge = [this](QSize size) {
        return qint64(size.width()) * size.height() > maxPixels_;
    };
    if (tooLarge(reader.size())) {
        return nullptr;  // refused from the header, before any pixel is read
    }
    QImage image = reader.read();
    if (image.isNull() || tooLarge(image.size())) {
        return nullptr;
    }
    return Image::withBitmap(toBitmapRep(image), {double(image.width()), double(image.height())});
}

std::unique_ptr<BitmapContext> QtImageService::makeBitmapContext(int w, int h) {
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) {
        return nullptr;
    }
    return std::make_unique<QtBitmapContext>(w, h);
}

QtColorPanel::~QtColorPanel() {
    delete dialog_;
}

void QtColorPanel::show(const Color& initial, std::function<void(const Color&)> onPick) {
    delete dialog_;
    dialog_ = new QColorDialog(toQColor(initial));
    dialog_->setOption(QColorDialog::NoButtons);
    QObject::connect(dialog_, &QColorDialog::currentColorChanged, dialog_,
                     [onPick](const QColor& c) {
                         onPick(Color::deviceRGB(c.redF(), c.greenF(), c.blueF(), c.alphaF()));
                     });
    dialog_->show();
}

}  // namespace corvix
