#pragma once

#include <QMenu>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/Menu.h"
#include "platform/ui/Window.h"

namespace corvix {

class ViewHostWidget;

/// A model menu shown as a Qt popup. Rows with custom views are QWidgetActions hosting the
/// view; submenus are nested popups. Closing requests from Qt (a click outside, Escape) go
/// through the model's `cancelTracking`, which may keep the menu open. The popup's model
/// window (frame, visibility) is what the row views see as their window.
class QtMenuPopup final : public QMenu, public MenuSession {
  public:
    explicit QtMenuPopup(std::shared_ptr<Menu> menu, QWidget* parent = nullptr);
    ~QtMenuPopup() override;

    /// Opens the menu at a global Qt position.
    void popupAt(const QPoint& globalPos);
    const std::shared_ptr<Menu>& model() const { return menu_; }
    Window& modelWindow() { return *window_; }

    void close(bool animated) override;
    void itemChanged(MenuItem& item) override;
    void itemsChanged() override;

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void build();
    void syncWindowFrame();
    /// Whether a global point is inside this popup or an open submenu popup.
    bool insideAnyPopup(const QPoint& global) const;

    std::shared_ptr<Menu> menu_;
    std::shared_ptr<Window> window_;
    struct Row {
        MenuItem* item;
        QAction* action;
        ViewHostWidget* host;
        QtMenuPopup* viewSubmenu;  // the submenu of a row drawn by its own view
    };
    /// Rows drawn by a view get no submenu handling from QMenu: open theirs on hover and click,
    /// and close it when the pointer moves to another row.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showViewSubmenu(const Row& row);
    void hideViewSubmenus(const QtMenuPopup* except);
    /// A submenu saw the pointer leave it over this menu: follow it to the row beneath.
    void pointerMovedTo(const QPoint& global);
    std::vector<Row> rows_;
    std::vector<QtMenuPopup*> submenus_;
    bool rebuildPending_ = false;
};

}  // namespace corvix
