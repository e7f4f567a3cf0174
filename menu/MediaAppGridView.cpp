#include "menu/MediaAppGridView.h"

#include <algorithm>
#include <optional>
#include <utility>

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
        tile->onMoveFocus = [this](const std::string& appId, TileFocusMove move) {
            return moveFocus(appId, move);
        };
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

bool MediaAppGridView::acceptKeyboardEntry(bool forward) {
    if (appIds_.empty() || !window() || isHiddenOrHasHiddenAncestor()) {
        return false;
    }
    std::size_t index = forward ? 0 : appIds_.size() - 1;
    // An app without an id has the empty id: "no app kept" must not find it.
    if (std::optional<std::string> kept = std::exchange(entryAppId_, std::nullopt)) {
        if (auto at = std::find(appIds_.begin(), appIds_.end(), *kept); at != appIds_.end()) {
            index = static_cast<std::size_t>(at - appIds_.begin());
        }
    }
    return focusTile(index);
}

std::optional<std::string> MediaAppGridView::focusedAppId() const {
    Window* host = window();
    View* responder = host ? host->firstResponder() : nullptr;
    for (const auto& [id, tileView] : tiles_) {
        if (responder && tileView.get() == responder) {
            return id;
        }
    }
    return std::nullopt;
}

bool MediaAppGridView::moveFocus(const std::string& appId, TileFocusMove move) {
    auto at = std::find(appIds_.begin(), appIds_.end(), appId);
    Window* host = window();
    if (at == appIds_.end() || !host) {
        return false;
    }
    const auto index = static_cast<std::size_t>(at - appIds_.begin());
    const std::size_t count = appIds_.size();
    const std::size_t columns = MediaAppTileLayout::kColumns;
    // None: the focus leaves the grid.
    std::optional<std::size_t> target;
    switch (move) {
        case TileFocusMove::Next:
            if (index + 1 < count) {
                target = index + 1;
            }
            break;
        case TileFocusMove::Previous:
            if (index > 0) {
                target = index - 1;
            }
            break;
        case TileFocusMove::Right:
            target = std::min(index + 1, count - 1);
            break;
        case TileFocusMove::Left:
            target = index > 0 ? index - 1 : 0;
            break;
        case TileFocusMove::Down:
            // Into a short last row: its last tile, below the columns the row does not reach.
            if (index / columns + 1 < (count + columns - 1) / columns) {
                target = std::min(index + columns, count - 1);
            }
            break;
        case TileFocusMove::Up:
            if (index >= columns) {
                target = index - columns;
            }
            break;
    }
    if (!target) {
        host->makeFirstResponder(nullptr);
        return false;
    }
    focusTile(*target);
    return true;
}

bool MediaAppGridView::focusTile(std::size_t index) {
    Window* host = window();
    if (!host || index >= appIds_.size()) {
        return false;
    }
    MediaAppTileView& next = *tiles_.at(appIds_[index]);
    if (!host->makeFirstResponder(&next)) {
        return false;
    }
    // Keep the focused tile on screen in a grid that scrolls.
    const Rect visible = scrollView_->documentVisibleRect();
    const Rect target = next.frame();
    if (target.minY() < visible.minY()) {
        scrollView_->scrollToPoint({0, target.minY()});
    } else if (target.maxY() > visible.maxY()) {
        scrollView_->scrollToPoint({0, target.maxY() - visible.size.height});
    }
    return true;
}

void MediaAppGridView::updateImage(const std::string& appId, const std::string& iconKey,
                                   ImagePtr image) {
    MediaAppTileView* tileView = tile(appId);
    if (tileView && tileView->model().iconKey == iconKey) {
        tileView->setImage(std::move(image));
    }
}

}  // namespace corvix
