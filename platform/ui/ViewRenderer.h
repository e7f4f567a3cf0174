#pragma once

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

namespace corvix {

/// Draws a view tree into `context`, which is in the coordinates of the root's superview (y up):
/// each view's backing layer (background, contents, border, opacity, scale, clipping, with
/// animations at `now`), its `draw`, its sublayers and then its subviews, flipping where views
/// are flipped. Backends and tests draw through this one routine.
void renderViewTree(View& root, GraphicsContext& context, Duration now);

/// Draws one layer tree (in its superlayer's coordinates).
void renderLayerTree(const Layer& layer, GraphicsContext& context, Duration now);

/// Whether any layer in the tree is still animating at `now` (the host keeps redrawing).
bool viewTreeIsAnimating(const View& root, Duration now);

}  // namespace corvix
