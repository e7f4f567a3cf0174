#pragma once

#include <QWidget>
#include <memory>

#include "platform/ui/EventRouter.h"
#include "platform/ui/View.h"

namespace corvix {

class Window;

/// Shows a model view tree in a QWidget: paints it through the shared renderer (flipping to
/// Qt's y-down device), keeps redrawing while layers animate, and feeds mouse, hover, wheel
/// and key events to the tree's event router. The widget's size follows the root's frame.
class ViewHostWidget : public QWidget {
  public:
    /// Hosts `root`; `window` is the model window the tree belongs to (it owns the router when
    /// the root is its content view), or null.
    ViewHostWidget(std::shared_ptr<View> root, Window* window, QWidget* parent = nullptr);
    ~ViewHostWidget() override;

    const std::shared_ptr<View>& root() const { return root_; }
    EventRouter& router() { return *router_; }
    /// Matches the widget's size to the root's frame.
    void syncSize();
    /// Hands a key to the tree's first responder; false when no view took it.
    bool sendKey(QKeyEvent* event);
    /// Hands a wheel turn to the view under the pointer; false when no view took it.
    bool sendWheel(QWheelEvent* event);
    /// Draws a menu's standard row highlight behind the tree (for rows whose views have no
    /// hover look of their own).
    void setMenuHighlight(bool highlighted);
    bool showsMenuHighlight() const { return menuHighlight_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    Point toModel(QPointF p) const { return {p.x(), height() - p.y()}; }
    void sendMouse(EventType type, QMouseEvent* event);

    std::shared_ptr<View> root_;
    Window* window_;
    std::unique_ptr<EventRouter> ownRouter_;
    EventRouter* router_;
    bool menuHighlight_ = false;
};

}  // namespace corvix
