#include "platform/qt/QtDesktopServices.h"

#include <QBuffer>
#include <QColorDialog>
#include <QCursor>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageReader>
#include <QPalette>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
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

void QtWorkspace::openURL(const std::string& url, std::function<void()> failed) {
    const QString address = QString::fromStdString(url);
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        // Qt looks for $BROWSER and a few known browsers itself.
        if (!QDesktopServices::openUrl(QUrl(address)) && failed) {
            failed();
        }
        return;
    }
    // The opener reports a missing browser through its exit status (3: a required tool is
    // missing, 4: the action failed) within moments. A browser it runs in the foreground ends
    // much later, with a status that says nothing about the opening, so only a quick end
    // counts.
    // The process object has no parent and is deleted only once the opener ended: deleting it
    // earlier, at the program's end too, would kill the browser the opener runs.
    constexpr qint64 kQuickEndMs = 15000;
    auto* process = new QProcess();
    auto started = std::make_shared<QElapsedTimer>();
    auto report = std::make_shared<std::function<void()>>(std::move(failed));
    auto fail = [report] {
        if (*report) {
            auto once = std::move(*report);
            *report = nullptr;
            once();
        }
    };
    connect(process, &QProcess::errorOccurred, process, [process, fail](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            fail();
            process->deleteLater();
        }
    });
    connect(
        process, &QProcess::finished, process,
        [process, started, fail](int code, QProcess::ExitStatus status) {
            if ((status != QProcess::NormalExit || code != 0) && started->elapsed() < kQuickEndMs) {
                fail();
            }
            process->deleteLater();
        });
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    started->start();
    process->start(opener, {address});
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
