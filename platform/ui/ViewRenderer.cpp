#include "platform/ui/ViewRenderer.h"

#include <algorithm>

namespace corvix {

namespace {

Path layerShape(const LayerState& s, const Rect& r) {
    if (s.cornerRadius > 0) {
        return Path::roundedRect(r, s.cornerRadius, s.cornerRadius);
    }
    return Path::rect(r);
}

void applyScale(GraphicsContext& ctx, const LayerState& s, const Rect& r) {
    if (s.transform.x == 1 && s.transform.y == 1) {
        return;
    }
    ctx.translate(r.midX(), r.midY());
    ctx.scale(s.transform.x, s.transform.y);
    ctx.translate(-r.midX(), -r.midY());
}

void drawShadow(GraphicsContext& ctx, const LayerState& s, const Rect& r, bool flipped) {
    if (!s.shadowColor || s.shadowOpacity <= 0) {
        return;
    }
    double dy = flipped ? -s.shadowOffset.height : s.shadowOffset.height;
    Rect shadow = r.offsetBy(s.shadowOffset.width, dy);
    Color c = s.shadowColor->withAlphaComponent(s.shadowColor->alphaComponent() * s.shadowOpacity);
    // A few widening passes stand in for the blur.
    int passes = std::max(1, static_cast<int>(s.shadowRadius));
    for (int i = passes; i >= 1; --i) {
        Rect grown = shadow.insetBy(-i * 0.5, -i * 0.5);
        LayerState g = s;
        g.cornerRadius = s.cornerRadius + i * 0.5;
        ctx.fill(layerShape(g, grown), c.withAlphaComponent(c.alphaComponent() / (passes + 1)));
    }
}

void drawImageWithGravity(GraphicsContext& ctx, const Image& image, ContentsGravity gravity,
                          const Rect& r, double opacity) {
    Size is = image.size();
    Rect target = r;
    if (is.width > 0 && is.height > 0) {
        double sx = r.width() / is.width, sy = r.height() / is.height;
        double scale = 1;
        switch (gravity) {
            case ContentsGravity::Resize:
                scale = 0;
                break;
            case ContentsGravity::ResizeAspect:
                scale = std::min(sx, sy);
                break;
            case ContentsGravity::ResizeAspectFill:
                scale = std::max(sx, sy);
                break;
            case ContentsGravity::Center:
                scale = 1;
                break;
        }
        if (scale > 0) {
            double w = is.width * scale, h = is.height * scale;
            target = Rect(r.midX() - w / 2, r.midY() - h / 2, w, h);
        }
    }
    ctx.drawImage(image, target, CompositingOperation::SourceOver, opacity);
}

void drawContents(GraphicsContext& ctx, const LayerState& s, const Rect& r) {
    if (s.fadingContents) {
        drawImageWithGravity(ctx, *s.fadingContents, s.contentsGravity, r, 1 - s.contentsFade);
    }
    if (s.contents) {
        drawImageWithGravity(ctx, *s.contents, s.contentsGravity, r,
                             s.fadingContents ? s.contentsFade : 1.0);
    }
}

void drawBorder(GraphicsContext& ctx, const LayerState& s, const Rect& r) {
    if (s.borderColor && s.borderWidth > 0) {
        LayerState inner = s;
        inner.cornerRadius = std::max(0.0, s.cornerRadius - s.borderWidth / 2);
        Rect in = r.insetBy(s.borderWidth / 2, s.borderWidth / 2);
        ctx.stroke(layerShape(inner, in), *s.borderColor, s.borderWidth);
    }
}

void renderLayer(const Layer& layer, GraphicsContext& ctx, Duration now, bool flipped) {
    LayerState s = layer.presentation(now);
    if (s.hidden || s.opacity <= 0) {
        return;
    }
    ctx.save();
    ctx.translate(s.frame.minX(), s.frame.minY());
    Rect r(0, 0, s.frame.width(), s.frame.height());
    applyScale(ctx, s, r);
    if (s.opacity < 1) {
        ctx.setAlpha(s.opacity);
    }
    drawShadow(ctx, s, r, flipped);
    if (s.backgroundColor) {
        ctx.fill(layerShape(s, r), *s.backgroundColor);
    }
    ctx.save();
    if (s.masksToBounds) {
        ctx.clip(layerShape(s, r));
    }
    drawContents(ctx, s, r);
    for (const auto& sub : layer.sublayers()) {
        renderLayer(*sub, ctx, now, flipped);
    }
    ctx.restore();
    drawBorder(ctx, s, r);
    ctx.restore();
}

void renderView(View& view, GraphicsContext& ctx, Duration now, bool superFlipped) {
    if (view.isHidden()) {
        return;
    }
    std::optional<LayerState> ls;
    if (Layer* layer = view.layer()) {
        ls = layer->presentation(now);
        if (ls->hidden || ls->opacity <= 0) {
            view.clearNeedsDisplay();
            return;
        }
    }
    double alpha = view.alphaValue() * (ls ? ls->opacity : 1.0);
    if (alpha <= 0) {
        view.clearNeedsDisplay();
        return;
    }
    Rect f = view.frame();
    Rect r(0, 0, f.width(), f.height());
    ctx.save();
    ctx.translate(f.minX(), f.minY());
    if (view.isFlipped() != superFlipped) {
        ctx.translate(0, f.height());
        ctx.scale(1, -1);
    }
    if (ls) {
        applyScale(ctx, *ls, r);
    }
    if (alpha < 1) {
        ctx.setAlpha(alpha);
    }
    if (ls) {
        drawShadow(ctx, *ls, r, view.isFlipped());
        if (ls->backgroundColor) {
            ctx.fill(layerShape(*ls, r), *ls->backgroundColor);
        }
    }
    ctx.save();
    if (ls && ls->masksToBounds) {
        ctx.clip(layerShape(*ls, r));
    }
    if (ls) {
        drawContents(ctx, *ls, r);
    }
    Rect b = view.bounds();
    ctx.translate(-b.minX(), -b.minY());
    ctx.save();
    view.draw(ctx, b);
    ctx.restore();
    view.clearNeedsDisplay();
    if (Layer* layer = view.layer()) {
        for (const auto& sub : layer->sublayers()) {
            renderLayer(*sub, ctx, now, view.isFlipped());
        }
    }
    for (const auto& sub : view.subviews()) {
        renderView(*sub, ctx, now, view.isFlipped());
    }
    ctx.restore();
    if (ls) {
        drawBorder(ctx, *ls, r);
    }
    ctx.restore();
}

bool layerAnimating(const Layer& layer, Duration now) {
    if (layer.isAnimating(now)) {
        return true;
    }
    return std::any_of(layer.sublayers().begin(), layer.sublayers().end(),
                       [now](const auto& l) { return layerAnimating(*l, now); });
}

}  // namespace

void renderViewTree(View& root, GraphicsContext& context, Duration now) {
    root.layoutSubtreeIfNeeded();
    renderView(root, context, now, false);
}

void renderLayerTree(const Layer& layer, GraphicsContext& context, Duration now) {
    renderLayer(layer, context, now, false);
}

bool viewTreeIsAnimating(const View& root, Duration now) {
    if (root.layer() && layerAnimating(*root.layer(), now)) {
        return true;
    }
    return std::any_of(root.subviews().begin(), root.subviews().end(),
                       [now](const auto& v) { return viewTreeIsAnimating(*v, now); });
}

}  // namespace corvix
