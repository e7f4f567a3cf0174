#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/Workspace.h"
#include "platform/ui/ColorWell.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"

class QColorDialog;
class QScreen;

namespace corvix {

/// Screens from QScreen (primary first), in y-up screen coordinates; notifies on changes.
class QtScreens final : public QObject, public ScreenService {
  public:
    QtScreens();
    std::vector<Screen> screens() const override;
    Point mouseLocation() const override;

  private:
    void watch(QScreen* screen);
};

/// Opens URLs with the desktop's opener (xdg-open), or with QDesktopServices where it is
/// missing, and notices when neither can open them.
class QtWorkspace final : public QObject, public Workspace {
  public:
    void openURL(const std::string& url, std::function<void()> failed) override;
};

/// Decoding with Qt's image readers (no display needed) and QImage bitmap contexts.
class QtImageService final : public ImageService {
  public:
    /// 4096 x 4096: more than anything the program shows, 64 MB once decoded.
    static constexpr qint64 kDefaultMaxPixels = qint64(4096) * 4096;

    /// Images of more than `maxPixels` pixels do not decode: a file of a few kilobytes can
    /// declare one of hundreds of megabytes, and each step after decoding copies it again.
    explicit QtImageService(qint64 maxPixels = kDefaultMaxPixels) : maxPixels_(maxPixels) {}

    ImagePtr decode(const std::vector<std::uint8_t>& data) override;
    /// Reads the header and scales while decoding, so the whole picture is never held; a
    /// picture whose header claims more than Qt's allocation limit is refused.
    ImagePtr decodeReduced(const std::vector<std::uint8_t>& data, int maxPixelDimension) override;
    std::unique_ptr<BitmapContext> makeBitmapContext(int pixelsWide, int pixelsHigh) override;

  private:
    qint64 maxPixels_;
};

/// A non-modal QColorDialog.
class QtColorPanel final : public ColorPanel {
  public:
    ~QtColorPanel() override;
    void show(const Color& initial, std::function<void(const Color&)> onPick) override;

  private:
    QPointer<QColorDialog> dialog_;
};

}  // namespace corvix
