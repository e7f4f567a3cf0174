#pragma once

#include "platform/ui/View.h"

namespace corvix {

/// A plain view whose coordinates start at the top left: the document of a scrolling list,
/// which grows downwards.
class FlippedDocumentView : public View {
  public:
    using View::View;
    bool isFlipped() const override { return true; }
};

}  // namespace corvix
