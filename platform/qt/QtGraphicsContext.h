#pragma once

#include <string_view>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <memory>
#include <vector>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

QColor toQColor(const Color& color);
QPainterPath toQPath(const Path& path);
/// The system font of `font`'s size (points taken as pixels, as on the original desktop).
QFont toQFont(const Font& font);
/// An image as a QImage at `pixelSize` (symbols and drawn images are rendered; bitmaps
/// converted once and cached on the image). Template images come out in `tint`.
QImage renderImage(const Image& image, QSize pixelSize, const std::optional<Color>& tint);
/// The family of the icon font as the system's fonts name it (empty, after one line on standard
/// error, when it is not installed).
QString symbolFontFamily();
/// What a symbol looks like without the icon font: the program's house for its own mark, nothing
/// for the others.
QImage drawnFallbackSymbol(std::string_view name, QSize size, const QColor& color);

/// Drawing through a QPainter whose coordinates are y up (the host flips the device). Text and
/// images are drawn upright whatever the current orientation.
class QtGraphicsContext : public GraphicsContext {
  public:
    explicit QtGraphicsContext(QPainter& painter);

    void save() override;
    void restore() override;
    void translate(double dx, double dy) override;
    void scale(double sx, double sy) override;
    void clip(const Path& path) override;
    void setAlpha(double alpha) override;
    void setCompositingOperation(CompositingOperation op) override;
    void fill(const Path& path, const Color& color, FillRule rule) override;
    void stroke(const Path& path, const Color& color, double lineWidth) override;
    void drawLinearGradient(const std::vector<GradientStop>& stops, Point start,
                            Point end) override;
    void drawImage(const Image& image, const Rect& rect, CompositingOperation op, double opacity,
                   const std::optional<Color>& tint) override;
    void drawText(std::string_view text, const Rect& rect, const TextStyle& style) override;

  protected:
    QPainter& painter_;

  private:
    template <typename F>
    void upright(const Rect& r, F draw);
};

/// A bitmap context on a QImage (RGBA premultiplied), y up.
class QtBitmapContext final : public BitmapContext {
  public:
    QtBitmapContext(int pixelsWide, int pixelsHigh);
    ~QtBitmapContext() override;

    void save() override { inner_->save(); }
    void restore() override { inner_->restore(); }
    void translate(double dx, double dy) override { inner_->translate(dx, dy); }
    void scale(double sx, double sy) override { inner_->scale(sx, sy); }
    void clip(const Path& path) override { inner_->clip(path); }
    void setAlpha(double alpha) override { inner_->setAlpha(alpha); }
    void setCompositingOperation(CompositingOperation op) override {
        inner_->setCompositingOperation(op);
    }
    void fill(const Path& path, const Color& color, FillRule rule) override {
        inner_->fill(path, color, rule);
    }
    void stroke(const Path& path, const Color& color, double lineWidth) override {
        inner_->stroke(path, color, lineWidth);
    }
    void drawLinearGradient(const std::vector<GradientStop>& stops, Point start,
                            Point end) override {
        inner_->drawLinearGradient(stops, start, end);
    }
    void drawImage(const Image& image, const Rect& rect, CompositingOperation op, double opacity,
                   const std::optional<Color>& tint) override {
        inner_->drawImage(image, rect, op, opacity, tint);
    }
    void drawText(std::string_view text, const Rect& rect, const TextStyle& style) override {
        inner_->drawText(text, rect, style);
    }
    ImagePtr makeImage() override;

  private:
    QImage image_;
    std::unique_ptr<QPainter> painter_;
    std::unique_ptr<QtGraphicsContext> inner_;
};

/// Bitmaps of Qt images.
BitmapRep toBitmapRep(const QImage& image);

}  // namespace corvix
