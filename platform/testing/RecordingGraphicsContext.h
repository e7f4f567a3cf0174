#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

/// One recorded drawing call, with its arguments in the caller's coordinates and the
/// translation in effect (`origin`: where the caller's (0, 0) lies in the context's base space).
struct DrawCall {
    enum class Kind {
        Save,
        Restore,
        Translate,
        Scale,
        Clip,
        SetAlpha,
        SetCompositing,
        Fill,
        Stroke,
        Gradient,
        Image,
        Text
    };
    Kind kind = Kind::Save;
    Path path;
    Color color;
    double lineWidth = 0;
    double value = 0;  // alpha, opacity
    Point point;       // translate/scale amounts, gradient start
    Point end;         // gradient end
    Rect rect;         // image or text rect
    std::string text;
    const Image* image = nullptr;
    CompositingOperation op = CompositingOperation::SourceOver;
    std::vector<GradientStop> stops;
    std::optional<Color> tint;
    TextStyle style;
    Point origin;      // translation in effect
    double alpha = 1;  // product of setAlpha in effect
};

/// Records every drawing call for assertions; draws nothing.
class RecordingGraphicsContext : public BitmapContext {
  public:
    RecordingGraphicsContext() = default;
    /// A bitmap context of that many pixels (what `makeImage` reports).
    RecordingGraphicsContext(int pixelsWide, int pixelsHigh) : w_(pixelsWide), h_(pixelsHigh) {}

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
    ImagePtr makeImage() override;

    std::vector<DrawCall> calls;
    /// The fill and stroke calls only.
    std::vector<DrawCall> shapes() const;
    std::vector<DrawCall> ofKind(DrawCall::Kind kind) const;

  private:
    struct State {
        Point origin;
        Point scale{1, 1};
        double alpha = 1;
    };
    DrawCall make(DrawCall::Kind kind) const;
    std::vector<State> stack_ = std::vector<State>(1);
    int w_ = 0, h_ = 0;
};

}  // namespace corvix
