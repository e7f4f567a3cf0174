#pragma once

#include <memory>

#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace corvix {

/// Owns a view made on first use (`loadView`), then `viewDidLoad`.
class ViewController {
  public:
    virtual ~ViewController() = default;

    const std::shared_ptr<View>& view() {
        if (!view_) {
            loadView();
            if (!view_) {
                view_ = std::make_shared<View>();
            }
            viewDidLoad();
        }
        return view_;
    }
    bool isViewLoaded() const { return view_ != nullptr; }
    void setView(std::shared_ptr<View> view) { view_ = std::move(view); }
    /// The size the controller's view asks of a window that shows it; empty when it has none.
    Size preferredContentSize() const { return preferredContentSize_; }
    void setPreferredContentSize(Size size) { preferredContentSize_ = size; }

  protected:
    virtual void loadView() {}
    virtual void viewDidLoad() {}

  private:
    std::shared_ptr<View> view_;
    Size preferredContentSize_{0, 0};
};

/// Owns a window and shows it; the window's content is the controller's view controller.
class WindowController {
  public:
    explicit WindowController(std::shared_ptr<Window> window) : window_(std::move(window)) {}
    virtual ~WindowController() = default;

    const std::shared_ptr<Window>& window() const { return window_; }
    /// Shows the controller's view as the window's content; the window takes the controller's
    /// preferred content size when it has one.
    void setContentViewController(std::shared_ptr<ViewController> controller) {
        content_ = std::move(controller);
        if (window_ && content_) {
            if (Size size = content_->preferredContentSize(); size.width > 0 && size.height > 0) {
                const Rect frame = window_->frame();
                window_->setFrame({frame.minX(), frame.minY(), size.width, size.height});
            }
            window_->setContentView(content_->view());
        }
    }
    const std::shared_ptr<ViewController>& contentViewController() const { return content_; }
    /// Brings the window to the front and makes it key.
    virtual void showWindow() {
        if (window_) {
            window_->makeKeyAndOrderFront();
        }
    }

  private:
    std::shared_ptr<Window> window_;
    std::shared_ptr<ViewController> content_;
};

}  // namespace corvix
