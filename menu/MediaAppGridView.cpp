#include "menu/MediaAppGridView.h"

#include <algorithm>

#include "menu/FlippedDocumentView.h"
#include "platform/ui/Window.h"

namespace corvix {

MediaAppGridView::MediaAppGridView(double width, const std::vector<MediaAppTileModel>& models,
                                   std::function<void(const std::string& appId)> onLaunch)
    : View(Rect(0, 0, width, kMaximumHeight)) {
    scrollView_ = std::make_shared<ScrollView>(bounds());
    scrollView_->setDrawsBackground(false);
    scrollView_->setHasBorder(false);
    scrollView_->setHasVerticalScroller(true);
    scrollView_->setHasHorizontalScroller(false);
    scrollView_->setAutohidesScrollers(true);
    document_ = std::make_shared<FlippedDocumentView>(Rect(0, 0, width, 0));
    scrollView_->setDocumentView(document_);
    addSubview(scrollView_);

    const MediaAppTileLayout tileLayout(scrollView_->contentView().bounds().size.width);
    for (const MediaAppTileModel& model : models) {
        if (tiles_.contains(model.id)) {
            continue;
        }
        appIds_.push_back(model.id);
        auto tile = std::make_shared<MediaAppTileView>(model, tileLayout, onLaunch);
        tile->onMoveFocus = [this](const std::string& appId, int step) { moveFocus(appId, step); };
        tiles_.emplace(model.id, tile);
        document_->addSubview(tile);
    }
    layoutGrid();
}

MediaAppTileView* MediaAppGridView::tile(const std::string& appId) const {
    auto found = tiles_.find(appId);
    return found == tiles_.end() ? nullptr : found->second.get();
}

void MediaAppGridView::layoutGrid() {
    const double contentWidth = scrollView_->contentView().bounds().size.width;
    const MediaAppTileLayout tileLayout(contentWidth);
    const double documentHeight = tileLayout.documentHeight(appIds_.size());
    const double height = std::min(documentHeight, kMaximumHeight);
    if (frame().size.height != height) {
        setFrameSize(Size{frame().size.width, height});
        scrollView_->setFrame(bounds());
    }
    document_->setFrameSize(Size{contentWidth, documentHeight});
    for (std::size_t i = 0; i < appIds_.size(); ++i) {
        MediaAppTileView& tileView = *tiles_.at(appIds_[i]);
        tileView.setFrame(tileLayout.tileFrame(i));
        tileView.applyLayout(tileLayout);
    }
}

void MediaAppGridView::layout() {
    layoutGrid();
}

void MediaAppGridView::moveFocus(const std::string& appId, int step) {
    auto at = std::find(appIds_.begin(), appIds_.end(), appId);
    Window* host = window();
    if (at == appIds_.end() || !host) {
        return;
    }
    const auto index = static_cast<long>(at - appIds_.begin()) + step;
    if (index < 0 || index >= static_cast<long>(appIds_.size())) {
        return;
    }
    MediaAppTileView& next = *tiles_.at(appIds_[static_cast<std::size_t>(index)]);
    host->makeFirstResponder(&next);
    // Keep the focused tile on screen in a grid that scrolls.
    const Rect visible = scrollView_->documentVisibleRect();
    const Rect target = next.frame();
    if (target.minY() < visible.minY()) {
        scrollView_->scrollToPoint({0, target.minY()});
    } else if (target.maxY() > visible.maxY()) {
        scrollView_->scrollToPoint({0, target.maxY() - visible.size.height});
    }
}

void MediaAppGridView::updateImage(const std::string& appId, const std::string& iconKey,
                                   ImagePtr image) {
    MediaAppTileView* tileView = tile(appId);
    if (tileView && tileView->model().iconKey == iconKey) {
        tileView->setImage(std::move(image));
    }
}

}  // namespace corvix
