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

ImagePtr QtImageService::decodeReduced(const std::vector<std::uint8_t>& data,
                                       int maxPixelDimension) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid()) {
        // A format that cannot tell its size before decoding.
        return ImageService::decodeReduced(data, maxPixelDimension);
    }
    // Scaled reading only allocates the reduced picture, so Qt's own limit would no longer
    // stop a picture whose header claims an absurd size; apply it to the claimed size.
    const double claimedMiB = 4.0 * stored.width() * stored.height() / (1024.0 * 1024.0);
    if (QImageReader::allocationLimit() > 0 && claimedMiB > QImageReader::allocationLimit()) {
        return nullptr;
    }
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize shown = turned ? stored.transposed() : stored;
    const PixelSize target = reducedPixelSize(shown.width(), shown.height(), maxPixelDimension);
    const QSize targetSize(target.width, target.height);
    if (targetSize != shown) {
        reader.setScaledSize(turned ? targetSize.transposed() : targetSize);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return nullptr;
    }
    if (image.size() != targetSize) {
        image = image.scaled(targetSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return Image::withBitmap(toBitmapRep(image), {double(target.width), double(target.height)});
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
